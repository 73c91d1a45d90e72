// The "Ustawienia" tab of a usable token: change the user PIN, change the administrator PIN,
// erase the token. Which boxes are usable follows who is logged in; the token node runs the
// commands with the PIN of that login.
#pragma once

#include "secret_bytes.h"

#include <QWidget>

class QGridLayout;
class QGroupBox;
class QLineEdit;
class QPushButton;

class AdminWidget : public QWidget
{
    Q_OBJECT
public:
    explicit AdminWidget(QWidget* parent = nullptr);
    ~AdminWidget() override;

    void clearInputs();
    void clearFields();

signals:
    // `newPin` points into the page's byte copy and is valid while the receiver runs.
    void userPinChangeSig(const char* newPin);
    void soPinChangeSig(const char* newPin);
    void eraseSig();

public slots:
    void enableSoMenu();
    void enableUserMenu();
    void disableMenu();

private slots:
    void userPinChangeSlot();
    void soPinChangeSlot();
    void eraseSlot();

private:
    QGroupBox* pinChangeBox(const QString& title, const QString& newLabel, const QString& checkLabel, QLineEdit* pin,
                            QLineEdit* check, QPushButton* change);
    void pinChange(bool so, morvil::SecretBytes& buffer, QLineEdit* pin, QLineEdit* check);

    morvil::SecretBytes mNewSoPinBuf;
    morvil::SecretBytes mNewUserPinBuf;
    QGridLayout* mLayout;
    QGroupBox* mUserPinChangeBox;
    QLineEdit* mNewUserPin;
    QLineEdit* mNewUserPinCheck;
    QPushButton* mUserPinChange;
    QGroupBox* mSoPinChangeBox;
    QLineEdit* mNewSoPin;
    QLineEdit* mNewSoPinCheck;
    QPushButton* mSoPinChange;
    QGroupBox* mEraseBox;
    QPushButton* mErase;
};
