#include "pin_entry.h"

#include "message_box.h"
#include "secret_bytes.h"

#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>

namespace morvil {
namespace {

// Takes the PIN out of its edit the moment the dialog is closed, by any button or key.
class PinDialog : public QInputDialog
{
public:
    explicit PinDialog(QWidget* parent)
        : QInputDialog(parent)
    {
    }

    QString taken; // what was accepted; the caller's to wipe

    void done(int result) override
    {
        const bool refused = result == QDialog::Accepted && !pinFits(textValue());
        if (result == QDialog::Accepted && !refused) {
            taken = textValue();
        }
        for (QLineEdit* edit : findChildren<QLineEdit*>()) {
            clearPinEdit(edit);
        }
        if (refused) {
            box::critical(box::errorTitle(), pinTooLongText(), this);
            return;
        }
        QInputDialog::done(result);
    }

private:
    static QString pinTooLongText()
    {
        return QInputDialog::tr("PIN jest za długi. Może on zawierać co najwyżej 8 znaków. Litery takie jak 'ą', "
                                "'ć', itd. kodowane są na 2 znakach.");
    }
};

} // namespace

bool pinFits(const QString& pin)
{
    // Counted through a wiped buffer: the encoding is a copy of the PIN.
    SecretBytes octets;
    octets.assignUtf8(pin);
    return octets.size() <= kMaxPinOctets;
}

QLineEdit* pinEdit(const QString& objectName)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    edit->setMaxLength(kPinEditLength);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

void clearPinEdit(QLineEdit* edit)
{
    // The copy shares the edit's characters; once the edit lets go of them they are this copy's
    // alone, and wiping it overwrites them in place.
    QString text = edit->text();
    edit->setText(QString());
    wipe(text);
}

bool askPin(QWidget* parent, const QString& title, const QString& label, QString& pin)
{
    PinDialog dialog(parent);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    for (QLabel* shown : dialog.findChildren<QLabel*>()) {
        shown->setTextFormat(Qt::PlainText);
    }
    const bool accepted = dialog.exec() == QDialog::Accepted;
    wipe(pin);
    pin = std::move(dialog.taken);
    return accepted;
}

} // namespace morvil
