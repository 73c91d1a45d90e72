#include "gen_info_widget.h"

#include "admin_texts.h"
#include "form_checks.h"
#include "message_box.h"
#include "morvil_state.h"
#include "page_parts.h"
#include "pin_entry.h"
#include "token_text.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

using namespace morvil::admin;

namespace {

constexpr int kMinPinLimit = 1;
constexpr int kMaxPinLimit = 20;

QSpinBox* limitBox(const QString& objectName)
{
    auto* box = new QSpinBox;
    box->setObjectName(objectName);
    box->setRange(kMinPinLimit, kMaxPinLimit);
    return box;
}

} // namespace

GenInfoWidget::GenInfoWidget(QWidget* parent)
    : QStackedWidget(parent)
{
    addWidget(buildConfiguredPage());
    addWidget(buildNotConfiguredPage());
    addWidget(buildLockedPage());
    setCurrentIndex(kConfiguredPage);
    connect(mConfigure, &QPushButton::clicked, this, &GenInfoWidget::confSlot);
    connect(mUnLock, &QPushButton::clicked, this, &GenInfoWidget::unLockSlot);
}

GenInfoWidget::~GenInfoWidget()
{
    clearInputs();
    clearFields();
}

QWidget* GenInfoWidget::buildConfiguredPage()
{
    mConfWidget = new QWidget;
    mConfTechInfo = richLabel();
    mConfInfo = richLabel();
    mConfInfo->setObjectName(QStringLiteral("confInfo"));
    QGroupBox* conf = twoBoxPage(mConfWidget, mConfTechInfo);
    (new QVBoxLayout(conf))->addWidget(mConfInfo);
    return mConfWidget;
}

QWidget* GenInfoWidget::buildNotConfiguredPage()
{
    mNotConfWidget = new QWidget;
    mNotConfTechInfo = richLabel();
    mNotConfTechInfo->setObjectName(QStringLiteral("notConfTechInfo"));
    auto* form = new QGridLayout(twoBoxPage(mNotConfWidget, mNotConfTechInfo));
    mNotConfInfo = richLabel(tr("<h3 align=center>Ten token nie jest jeszcze skonfigurowany</h3>"));
    form->addWidget(mNotConfInfo, 0, 0, 1, 3);
    mTokenName = new QLineEdit;
    mTokenName->setObjectName(QStringLiteral("tokenName"));
    mTokenName->setMaxLength(kMaxNameOctets);
    addFormRow(form, 1, tr("Nazwa: "), mTokenName);
    form->addWidget(new QLabel(QStringLiteral("<br>")), 2, 0, 1, 3);
    mSoPinLimit = limitBox(QStringLiteral("soPinLimit"));
    mSoPin = morvil::pinEdit(QStringLiteral("soPin"));
    mSoPinCheck = morvil::pinEdit(QStringLiteral("soPinCheck"));
    addFormRow(form, 3, tr("Limit błędnych wprowadzeń PINu administratora:"), mSoPinLimit);
    addFormRow(form, 4, tr("PIN administarora: "), mSoPin);
    addFormRow(form, 5, tr("Powtórzony PIN administarora: "), mSoPinCheck);
    form->addWidget(new QLabel(QStringLiteral("<br>")), 6, 0, 1, 3);
    mUserPinLimit = limitBox(QStringLiteral("userPinLimit"));
    mUserPin = morvil::pinEdit(QStringLiteral("userPin"));
    mUserPinCheck = morvil::pinEdit(QStringLiteral("userPinCheck"));
    addFormRow(form, 7, tr("Limit błędnych wprowadzeń PINu użytkownika:"), mUserPinLimit);
    addFormRow(form, 8, tr("PIN użytkownika: "), mUserPin);
    addFormRow(form, 9, tr("Powtórzony PIN użytkownika: "), mUserPinCheck);
    mConfigure = iconButton(QStringLiteral(":img/configure.png"), tr("Konfiguruj"), QStringLiteral("configure"));
    form->addWidget(mConfigure, 10, 2);
    form->setColumnStretch(1, 1);
    form->setRowStretch(11, 1);
    return mNotConfWidget;
}

QWidget* GenInfoWidget::buildLockedPage()
{
    mLockWidget = new QWidget;
    mLockTechInfo = richLabel();
    auto* form = new QGridLayout(twoBoxPage(mLockWidget, mLockTechInfo));
    mLockInfo = richLabel();
    mLockInfo->setObjectName(QStringLiteral("lockInfo"));
    form->addWidget(mLockInfo, 0, 0, 1, 3);
    mLockSoPin = morvil::pinEdit(QStringLiteral("lockSoPin"));
    addFormRow(form, 1, tr("PIN administarora: "), mLockSoPin);
    mUnLock = iconButton(QStringLiteral(":img/unlock.png"), tr("Odblokuj"), QStringLiteral("unlock"));
    form->addWidget(mUnLock, 2, 2);
    form->setColumnStretch(1, 1);
    return mLockWidget;
}

QString GenInfoWidget::techText(const DEV_ZR40NN_t* ut)
{
    const DEV_ZR40NN_info_t& info = ut->info;
    // A curve the library does not support leaves no curve record to name.
    const QString curve = info.ecc_params != nullptr ? QString::fromUtf8(info.ecc_params->name).toHtmlEscaped()
                                                     : QStringLiteral("<i>%1</i>").arg(text::unknownCurve());
    // One pass: a "%5" in the serial number stays what it is.
    return tr("Numer seryjny: <b>%1</b><br>Wersja oprogramowania: <b>%2.%3</b><br>Dostępna pamięć (bajty): "
              "<b>%4</b><br>Maksymalna liczba kluczy: <b>%5</b><br>Dziedzina ECC: <b>%6</b><br>")
        .arg(morvil::tokenHtml(ut->serial_number), QString::number(info.main_ver), QString::number(info.sub_ver),
             QString::number(info.public_mem), QString::number(info.keys_num), curve);
}

void GenInfoWidget::setInfo(const DEV_ZR40NN_t* ut)
{
    const DEV_ZR40NN_info_t& info = ut->info;
    const QString tech = techText(ut);
    if ((info.info & kMorvilInfoLocked) != 0) {
        mLockTechInfo->setText(tech);
        mLockInfo->setText(tr("<h3 align=center>Ten token jest zablokowany</h3><br>Liczba / Limit błędnych "
                              "wprowadzeń PINu administatora: <b>%1 / %2</b><br>")
                               .arg(info.so_pin_trys)
                               .arg(info.so_pin_limit));
        setCurrentIndex(kLockedPage);
    } else if ((info.info & kMorvilInfoConfigured) != 0) {
        mConfTechInfo->setText(tech);
        const bool userPinFixed = (info.info & kMorvilInfoSoMayNotChangeUserPin) != 0;
        mConfInfo->setText(tr("Nazwa tokenu: <b>%1</b><br>Limit błędnych wprowadzeń PINu użytkownika: "
                              "<b>%2</b><br>Limit błędnych wprowadzeń PINu administatora: <b>%3</b><br>Administrator "
                              "ma prawo zmienić PIN użytkownika: <b>%4</b><br>")
                               .arg(morvil::tokenHtml(info.name), QString::number(info.user_pin_limit),
                                    QString::number(info.so_pin_limit), userPinFixed ? tr("NIE") : tr("TAK")));
        setCurrentIndex(kConfiguredPage);
    } else {
        mNotConfTechInfo->setText(tech);
        setCurrentIndex(kNotConfiguredPage);
    }
}

void GenInfoWidget::refuse(const QString& text)
{
    morvil::box::critical(morvil::box::errorTitle(), text);
    clearInputs();
    clearFields();
}

void GenInfoWidget::confSlot()
{
    const QString problem = checkConfiguration(mTokenName->text(), mSoPin->text(), mSoPinCheck->text(),
                                               mUserPin->text(), mUserPinCheck->text());
    if (!problem.isEmpty()) {
        refuse(problem);
        return;
    }
    mName.assignUtf8(mTokenName->text());
    mSoPinLim = mSoPinLimit->value();
    mUserPinLim = mUserPinLimit->value();
    mSoPinBuf.assignUtf8(mSoPin->text());
    mUserPinBuf.assignUtf8(mUserPin->text());
    mUpcna = false;
    clearInputs();
    emit confSig(mName.c_str(), mSoPinLim, mSoPinBuf.c_str(), mUserPinLim, mUserPinBuf.c_str(), mUpcna);
    clearFields();
}

void GenInfoWidget::unLockSlot()
{
    mSoPinBuf.assignUtf8(mLockSoPin->text());
    clearInputs();
    emit unLockSig(mSoPinBuf.c_str());
    clearFields();
}

void GenInfoWidget::clearInputs()
{
    mTokenName->clear();
    // Back to what a new form shows: a box cleared by QSpinBox::clear() looks empty but keeps, and
    // would send, its last value.
    mSoPinLimit->setValue(kMinPinLimit);
    mUserPinLimit->setValue(kMinPinLimit);
    for (QLineEdit* edit : { mSoPin, mSoPinCheck, mUserPin, mUserPinCheck, mLockSoPin }) {
        morvil::clearPinEdit(edit);
    }
}

void GenInfoWidget::clearFields()
{
    mName.clear();
    mSoPinLim = 0;
    mSoPinBuf.clear();
    mUserPinLim = 0;
    mUserPinBuf.clear();
    mUpcna = false;
}
