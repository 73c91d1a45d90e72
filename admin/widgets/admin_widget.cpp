#include "admin_widget.h"

#include "admin_texts.h"
#include "form_checks.h"
#include "message_box.h"
#include "page_parts.h"
#include "pin_entry.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

using namespace morvil::admin;

AdminWidget::AdminWidget(QWidget* parent)
    : QWidget(parent)
{
    mLayout = new QGridLayout(this);
    mNewUserPin = morvil::pinEdit(QStringLiteral("newUserPin"));
    mNewUserPinCheck = morvil::pinEdit(QStringLiteral("newUserPinCheck"));
    mUserPinChange = iconButton(QStringLiteral(":img/ok_green.png"), tr("Zmień PIN"), QStringLiteral("userPinChange"));
    mUserPinChangeBox
        = pinChangeBox(tr("Zmiana PINu użytkownika"), tr("Nowy PIN użytkownika:"),
                       tr("Powtórzony nowy PIN<br>użytkownika:"), mNewUserPin, mNewUserPinCheck, mUserPinChange);
    mNewSoPin = morvil::pinEdit(QStringLiteral("newSoPin"));
    mNewSoPinCheck = morvil::pinEdit(QStringLiteral("newSoPinCheck"));
    mSoPinChange = iconButton(QStringLiteral(":img/ok_green.png"), tr("Zmień PIN"), QStringLiteral("soPinChange"));
    mSoPinChangeBox
        = pinChangeBox(tr("Zmiana PINu administratora"), tr("Nowy PIN administratora:"),
                       tr("Powtórzony nowy PIN<br>administratora:"), mNewSoPin, mNewSoPinCheck, mSoPinChange);

    mEraseBox = new QGroupBox(tr("Kasowanie konfiguracji i pamięci prywatnej tokenu"));
    mEraseBox->setObjectName(QStringLiteral("eraseBox"));
    auto* erase = new QGridLayout(mEraseBox);
    auto* warning = new QLabel;
    warning->setPixmap(QPixmap(QStringLiteral(":img/messagebox_warning.png")));
    erase->addWidget(warning, 0, 0);
    erase->addWidget(richLabel(tr("<b>Wykonanie polecenia spowoduje<br>utratę wszystkich danych!</b>")), 0, 1);
    erase->setColumnStretch(1, 1);
    mErase = iconButton(QStringLiteral(":img/cancel.png"), tr("Kasuj dane"), QStringLiteral("erase"));
    erase->addWidget(mErase, 1, 2);

    mLayout->addWidget(mUserPinChangeBox, 0, 0);
    mLayout->addWidget(mSoPinChangeBox, 1, 0);
    mLayout->addWidget(mEraseBox, 2, 0);
    mLayout->setRowStretch(3, 1);
    disableMenu();

    connect(mUserPinChange, &QPushButton::clicked, this, &AdminWidget::userPinChangeSlot);
    connect(mSoPinChange, &QPushButton::clicked, this, &AdminWidget::soPinChangeSlot);
    connect(mErase, &QPushButton::clicked, this, &AdminWidget::eraseSlot);
}

AdminWidget::~AdminWidget()
{
    clearInputs();
    clearFields();
}

QGroupBox* AdminWidget::pinChangeBox(const QString& title, const QString& newLabel, const QString& checkLabel,
                                     QLineEdit* pin, QLineEdit* check, QPushButton* change)
{
    auto* box = new QGroupBox(title);
    box->setObjectName(change->objectName() + QStringLiteral("Box"));
    auto* grid = new QGridLayout(box);
    addFormRow(grid, 0, newLabel, pin);
    addFormRow(grid, 1, checkLabel, check);
    grid->addWidget(change, 2, 2);
    grid->setColumnStretch(1, 1);
    return box;
}

void AdminWidget::enableSoMenu()
{
    mUserPinChangeBox->setEnabled(true);
    mSoPinChangeBox->setEnabled(true);
    mEraseBox->setEnabled(true);
}

void AdminWidget::enableUserMenu()
{
    mUserPinChangeBox->setEnabled(true);
}

void AdminWidget::disableMenu()
{
    mUserPinChangeBox->setEnabled(false);
    mSoPinChangeBox->setEnabled(false);
    mEraseBox->setEnabled(false);
}

void AdminWidget::pinChange(bool so, morvil::SecretBytes& buffer, QLineEdit* pin, QLineEdit* check)
{
    const QString problem = checkNewPin(so, pin->text(), check->text());
    if (!problem.isEmpty()) {
        morvil::box::critical(morvil::box::errorTitle(), problem);
        clearInputs();
        clearFields();
        return;
    }
    buffer.assignUtf8(pin->text());
    // The PIN leaves the screen before the question is asked.
    clearInputs();
    if (morvil::box::question(morvil::box::questionTitle(), text::confirmPinChange(so))) {
        if (so) {
            emit soPinChangeSig(buffer.c_str());
        } else {
            emit userPinChangeSig(buffer.c_str());
        }
    }
    clearFields();
}

void AdminWidget::userPinChangeSlot()
{
    pinChange(false, mNewUserPinBuf, mNewUserPin, mNewUserPinCheck);
}

void AdminWidget::soPinChangeSlot()
{
    pinChange(true, mNewSoPinBuf, mNewSoPin, mNewSoPinCheck);
}

void AdminWidget::eraseSlot()
{
    if (morvil::box::question(morvil::box::questionTitle(), text::confirmErase())) {
        emit eraseSig();
    }
}

void AdminWidget::clearInputs()
{
    for (QLineEdit* edit : { mNewSoPin, mNewSoPinCheck, mNewUserPin, mNewUserPinCheck }) {
        morvil::clearPinEdit(edit);
    }
}

void AdminWidget::clearFields()
{
    mNewSoPinBuf.clear();
    mNewUserPinBuf.clear();
}
