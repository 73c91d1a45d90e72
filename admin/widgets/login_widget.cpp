#include "login_widget.h"

#include "page_parts.h"
#include "pin_entry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace morvil::admin;

LoginWidget::LoginWidget(QWidget* parent)
    : QStackedWidget(parent)
{
    mLoginWidget = new QWidget;
    auto* grid = new QGridLayout(mLoginWidget);
    auto* options = new QGroupBox(tr("Opcje logowania"));
    auto* optionsGrid = new QGridLayout(options);
    mChooseSoLogin = new QCheckBox;
    mChooseSoLogin->setObjectName(QStringLiteral("chooseSoLogin"));
    optionsGrid->addWidget(mChooseSoLogin, 0, 0);
    optionsGrid->addWidget(new QLabel(tr("Zaloguj jako administrator")), 0, 1);
    optionsGrid->setColumnStretch(1, 1);
    grid->addWidget(options, 0, 0);

    mUserInfo = richLabel();
    mUserPin = morvil::pinEdit(QStringLiteral("userPin"));
    mUserLogin = iconButton(QStringLiteral(":img/ok_green.png"), tr("Zaloguj"), QStringLiteral("userLogin"));
    mUserLoginBox = loginBox(mUserInfo, mUserPin, mUserLogin);
    mSoInfo = richLabel();
    mSoPin = morvil::pinEdit(QStringLiteral("soPin"));
    mSoLogin = iconButton(QStringLiteral(":img/ok_green.png"), tr("Zaloguj"), QStringLiteral("soLogin"));
    mSoLoginBox = loginBox(mSoInfo, mSoPin, mSoLogin);
    grid->addWidget(mUserLoginBox, 1, 0);
    grid->addWidget(mSoLoginBox, 2, 0);
    grid->setRowStretch(3, 1);
    mSoLoginBox->hide();

    mLogoutWidget = new QWidget;
    auto* centre = new QGridLayout(mLogoutWidget);
    mLoginInfo = richLabel();
    mLoginInfo->setObjectName(QStringLiteral("loginInfo"));
    mLogout = new QPushButton(tr("Wyloguj"));
    mLogout->setObjectName(QStringLiteral("logout"));
    centre->addWidget(mLoginInfo, 1, 0, 1, 3);
    centre->addWidget(mLogout, 2, 1);
    for (int i : { 0, 2 }) {
        centre->setColumnStretch(i, 1);
    }
    for (int i : { 0, 3 }) {
        centre->setRowStretch(i, 1);
    }

    addWidget(mLoginWidget);
    addWidget(mLogoutWidget);
    setCurrentIndex(kLoginPage);

    connect(mChooseSoLogin, &QCheckBox::stateChanged, this, &LoginWidget::chooseSoLoginSlot);
    connect(mUserLogin, &QPushButton::clicked, this, &LoginWidget::userLoginSlot);
    connect(mSoLogin, &QPushButton::clicked, this, &LoginWidget::soLoginSlot);
    connect(mLogout, &QPushButton::clicked, this, &LoginWidget::logoutSlot);
}

LoginWidget::~LoginWidget()
{
    clearInputs();
    clearFields();
}

QGroupBox* LoginWidget::loginBox(QLabel* info, QLineEdit* pin, QPushButton* login)
{
    auto* box = new QGroupBox(tr("Logowanie"));
    auto* grid = new QGridLayout(box);
    grid->addWidget(info, 0, 0, 1, 3);
    addFormRow(grid, 1, tr("PIN:"), pin);
    grid->addWidget(login, 2, 2);
    grid->setColumnStretch(1, 1);
    return box;
}

void LoginWidget::setInfo(const DEV_ZR40NN_info_t* info)
{
    mSoInfo->setText(tr("Liczba błędnych wprowadzeń numeru PIN administratora: <b>%1</b><br>Limit błędnych "
                        "wprowadzeń numeru PIN administratora: <b>%2</b><br>")
                         .arg(info->so_pin_trys)
                         .arg(info->so_pin_limit));
    mUserInfo->setText(tr("Liczba błędnych wprowadzeń numeru PIN użytkownika: <b>%1</b><br>Limit błędnych "
                          "wprowadzeń numeru PIN użytkownika: <b>%2</b><br>")
                           .arg(info->user_pin_trys)
                           .arg(info->user_pin_limit));
}

void LoginWidget::chooseSoLoginSlot(int state)
{
    clearInputs();
    const bool so = state == Qt::Checked;
    mSoLoginBox->setVisible(so);
    mUserLoginBox->setVisible(!so);
}

void LoginWidget::login(morvil::SecretBytes& buffer, QLineEdit* edit, bool so)
{
    buffer.assignUtf8(edit->text());
    clearInputs();
    bool success = false;
    if (so) {
        emit soLoginSig(buffer.c_str(), success);
    } else {
        emit userLoginSig(buffer.c_str(), success);
    }
    if (!success) {
        clearFields();
        return;
    }
    // The buffer now holds the logged-in PIN, used by the token node until logout.
    mLoginInfo->setText(so ? tr("<h2 align=center><font color=red>Jesteś zalogowany jako Administrator</font></h2>")
                           : tr("<h2 align=center><font color=green>Jesteś zalogowany jako Użytkownik</font></h2>"));
    setCurrentIndex(kLogoutPage);
}

void LoginWidget::soLoginSlot()
{
    login(mSoPinBuf, mSoPin, true);
}

void LoginWidget::userLoginSlot()
{
    login(mUserPinBuf, mUserPin, false);
}

void LoginWidget::logoutSlot()
{
    clearInputs();
    clearFields();
    setCurrentIndex(kLoginPage);
    emit logoutSig();
}

void LoginWidget::clearInputs()
{
    morvil::clearPinEdit(mSoPin);
    morvil::clearPinEdit(mUserPin);
}

void LoginWidget::clearFields()
{
    mSoPinBuf.clear();
    mUserPinBuf.clear();
}
