#include "message_box.h"

#include <QCoreApplication>

namespace morvil::box {

QString errorTitle()
{
    return QCoreApplication::translate("Morvil", "Błąd");
}
QString questionTitle()
{
    return QCoreApplication::translate("Morvil", "Pytanie");
}
QString noticeTitle()
{
    return QCoreApplication::translate("Morvil", "Informacja");
}

QMessageBox::StandardButton show(QMessageBox::Icon icon, const QString& title, const QString& text,
                                 QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                 QWidget* parent)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) {
        box.setDefaultButton(defaultButton);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void critical(const QString& title, const QString& text, QWidget* parent)
{
    show(QMessageBox::Critical, title, text, QMessageBox::Ok, QMessageBox::NoButton, parent);
}

void information(const QString& title, const QString& text, QWidget* parent)
{
    show(QMessageBox::Information, title, text, QMessageBox::Ok, QMessageBox::NoButton, parent);
}

bool question(const QString& title, const QString& text, QWidget* parent)
{
    return show(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No, parent)
        == QMessageBox::Yes;
}

} // namespace morvil::box
