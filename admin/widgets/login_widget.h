// The "Logowanie" tab of a usable token: log in as user or administrator, and log out. The page
// asks its token node to check the PIN through a signal carrying a bool&; after a successful
// login it keeps the PIN's UTF-8 copy, which the node uses for every command until logout.
#pragma once

#include "dev_zr40nn.h"
#include "secret_bytes.h"

#include <QStackedWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class LoginWidget : public QStackedWidget
{
    Q_OBJECT
public:
    enum Page
    {
        kLoginPage = 0,
        kLogoutPage = 1,
    };

    explicit LoginWidget(QWidget* parent = nullptr);
    ~LoginWidget() override;

    void clearInputs();
    void clearFields();

signals:
    // `pin` points into the page's buffer; the receiver writes `success`.
    void soLoginSig(const char* pin, bool& success);
    void userLoginSig(const char* pin, bool& success);
    void logoutSig();

public slots:
    void setInfo(const DEV_ZR40NN_info_t* info);
    void logoutSlot();

private slots:
    void chooseSoLoginSlot(int state);
    void soLoginSlot();
    void userLoginSlot();

private:
    QGroupBox* loginBox(QLabel* info, QLineEdit* pin, QPushButton* login);
    // One login of either role: returns whether the token accepted the PIN.
    void login(morvil::SecretBytes& buffer, QLineEdit* edit, bool so);

    morvil::SecretBytes mSoPinBuf;
    morvil::SecretBytes mUserPinBuf;
    QWidget* mLoginWidget;
    QCheckBox* mChooseSoLogin;
    QGroupBox* mSoLoginBox;
    QGroupBox* mUserLoginBox;
    QLabel* mSoInfo;
    QLabel* mUserInfo;
    QLineEdit* mSoPin;
    QLineEdit* mUserPin;
    QPushButton* mSoLogin;
    QPushButton* mUserLogin;
    QWidget* mLogoutWidget;
    QLabel* mLoginInfo;
    QPushButton* mLogout;
};
