#include "morvil_item.h"

#include "admin_texts.h"
#include "message_box.h"
#include "morvil_state.h"
#include "token_transactions.h"
#include "tree_model.h"
#include "widgets/admin_widget.h"
#include "widgets/gen_info_widget.h"
#include "widgets/login_widget.h"

#include <QIcon>
#include <QTabWidget>

using namespace morvil::admin;

namespace {

// Failed steps go to the user at once, one critical box each, with no parent window.
class BoxReport : public FailureReport
{
public:
    void failed(const QString& text) override { morvil::box::critical(morvil::box::errorTitle(), text); }
};

QIcon stateIcon(int state, bool soLoggedIn, bool userLoggedIn)
{
    if (state == kMorvilConfigured) {
        if (soLoggedIn) {
            return QIcon(QStringLiteral(":img/morvil_login_so.png"));
        }
        return QIcon(userLoggedIn ? QStringLiteral(":img/morvil_login_user.png") : QStringLiteral(":img/morvil.png"));
    }
    return QIcon(state == kMorvilLocked ? QStringLiteral(":img/morvil_lock.png")
                                        : QStringLiteral(":img/morvil_no.png"));
}

// The library takes a PIN as text: no login gives it an empty one.
const char* orEmpty(const char* pin)
{
    return pin != nullptr ? pin : "";
}

} // namespace

void DeleteLater::operator()(QWidget* widget) const
{
    if (widget != nullptr) {
        widget->deleteLater();
    }
}

MorvilItem::MorvilItem(DEV_ZR40NN_t* ut, TreeItem* parent)
    : TreeItem(parent)
    , mUt(ut)
    , mMainTabWidget(new QTabWidget)
    , mGenInfoWidget(new GenInfoWidget)
    , mAdminWidget(new AdminWidget)
    , mLoginWidget(new LoginWidget)
{
    connect(mGenInfoWidget.get(), &GenInfoWidget::confSig, this, &MorvilItem::confSlot);
    connect(mGenInfoWidget.get(), &GenInfoWidget::unLockSig, this, &MorvilItem::unLockSlot);
    connect(this, &MorvilItem::soLoginSig, mAdminWidget.get(), &AdminWidget::enableSoMenu);
    connect(this, &MorvilItem::userLoginSig, mAdminWidget.get(), &AdminWidget::enableUserMenu);
    connect(this, &MorvilItem::logoutSig, mAdminWidget.get(), &AdminWidget::disableMenu);
    connect(mAdminWidget.get(), &AdminWidget::userPinChangeSig, this, &MorvilItem::userPinChangeSlot);
    connect(mAdminWidget.get(), &AdminWidget::soPinChangeSig, this, &MorvilItem::soPinChangeSlot);
    connect(mAdminWidget.get(), &AdminWidget::eraseSig, this, &MorvilItem::eraseSlot);
    connect(mLoginWidget.get(), &LoginWidget::soLoginSig, this, &MorvilItem::soLoginSlot);
    connect(mLoginWidget.get(), &LoginWidget::userLoginSig, this, &MorvilItem::userLoginSlot);
    connect(mLoginWidget.get(), &LoginWidget::logoutSig, this, &MorvilItem::logoutSlot);
    setPage(mMainTabWidget.get());
}

MorvilItem::~MorvilItem()
{
    // A token that is gone takes its PINs with it now, not when its pages are finally deleted.
    mPin = mSoPin = mUserPin = nullptr;
    mLoginWidget->disconnect(this);
    mLoginWidget->clearInputs();
    mLoginWidget->clearFields();
    mGenInfoWidget->clearInputs();
    mGenInfoWidget->clearFields();
    mAdminWidget->clearInputs();
    mAdminWidget->clearFields();
}

int MorvilItem::libIndex() const
{
    return DEV_ZR40NN_find_index_of(mUt);
}

int MorvilItem::MorvilState() const
{
    return ::MorvilState(mUt);
}

void MorvilItem::refreshTabs(int state)
{
    static const QIcon cGenInfoIcon(QStringLiteral(":img/messagebox_info.png"));
    static const QIcon cAdminIcon(QStringLiteral(":img/utils.png"));
    static const QIcon cLoginIcon(QStringLiteral(":img/login.png"));
    QTabWidget* tabs = mMainTabWidget.get();
    mGenInfoWidget->setInfo(mUt);
    if (tabs->indexOf(mGenInfoWidget.get()) < 0) {
        tabs->addTab(mGenInfoWidget.get(), cGenInfoIcon, tr("Ogólne"));
    }
    if (state == kMorvilConfigured) {
        mLoginWidget->setInfo(&mUt->info);
        if (tabs->indexOf(mLoginWidget.get()) < 0) {
            tabs->insertTab(tabs->indexOf(mGenInfoWidget.get()) + 1, mLoginWidget.get(), cLoginIcon, tr("Logowanie"));
        }
        if (tabs->indexOf(mAdminWidget.get()) < 0) {
            tabs->insertTab(tabs->indexOf(mLoginWidget.get()) + 1, mAdminWidget.get(), cAdminIcon, tr("Ustawienia"));
        }
        return;
    }
    for (QWidget* page : { static_cast<QWidget*>(mLoginWidget.get()), static_cast<QWidget*>(mAdminWidget.get()) }) {
        const int index = tabs->indexOf(page);
        if (index >= 0) {
            tabs->removeTab(index);
        }
    }
}

void MorvilItem::refresh()
{
    const int state = MorvilState();
    refreshTabs(state);
    // The name is the token's own text; an unnamed token is told by its serial number.
    QString text = QString::fromUtf8(mUt->info.name);
    if (text.isEmpty()) {
        text = QStringLiteral("[") + QString::fromUtf8(mUt->serial_number) + QStringLiteral("]");
    }
    setData(text, Qt::DisplayRole);
    setData(stateIcon(state, mSoPin != nullptr, mUserPin != nullptr), Qt::DecorationRole);
    // The key and file folders exist while the token is usable; a token that leaves that state
    // loses them with their subtrees.
    if (state != kMorvilConfigured && childCount() > 0) {
        model()->deleteAllChilds(this);
    }
    for (int i = 0; i < childCount(); ++i) {
        child(i)->refresh();
    }
    if (mSoPin != nullptr) {
        emit soLoginSig();
    } else if (mUserPin != nullptr) {
        emit userLoginSig();
    }
}

void MorvilItem::repaintAndEnumerate()
{
    TreeModel* tree = model();
    tree->repaintItemData(this);
    // May delete this node: nothing may touch it afterwards.
    tree->refresh();
}

void MorvilItem::confSlot(const char* name, int soPinLim, const char* soPin, int userPinLim, const char* userPin,
                          bool upcna)
{
    fillConfiguration(mUt->conf, name, soPinLim, soPin, userPinLim, userPin, upcna);
    morvil::box::information(morvil::admin::text::configureNoticeTitle(), morvil::admin::text::configureNotice());
    BoxReport report;
    configureToken(mUt, report);
    repaintAndEnumerate();
}

void MorvilItem::unLockSlot(const char* soPin)
{
    BoxReport report;
    unlockToken(mUt, soPin, report);
    repaintAndEnumerate();
}

void MorvilItem::login(const char* pin, int pinId, bool& correct)
{
    BoxReport report;
    correct = loginToken(mUt, pin, pinId, report);
    if (correct) {
        mPin = pin;
        mPinId = pinId;
        mSoPin = pinId == kSoPinId ? pin : nullptr;
        mUserPin = pinId == kUserPinId ? pin : nullptr;
    }
    refresh();
    if (correct) {
        setData(stateIcon(kMorvilConfigured, pinId == kSoPinId, pinId == kUserPinId), Qt::DecorationRole);
    }
    model()->repaintItemData(this);
    if (correct) {
        if (pinId == kSoPinId) {
            emit soLoginSig();
        } else {
            emit userLoginSig();
        }
    }
}

void MorvilItem::soLoginSlot(const char* pin, bool& correct)
{
    login(pin, kSoPinId, correct);
}

void MorvilItem::userLoginSlot(const char* pin, bool& correct)
{
    login(pin, kUserPinId, correct);
}

void MorvilItem::logoutSlot()
{
    mPin = mSoPin = mUserPin = nullptr;
    mPinId = -1;
    refresh();
    model()->repaintItemData(this);
    emit logoutSig();
}

void MorvilItem::eraseSlot()
{
    BoxReport report;
    eraseToken(mUt, orEmpty(mSoPin), report);
    mLoginWidget->logoutSlot();
}

void MorvilItem::soPinChangeSlot(const char* newPin)
{
    BoxReport report;
    changeSoPin(mUt, orEmpty(mSoPin), newPin, report);
    mLoginWidget->logoutSlot();
}

void MorvilItem::userPinChangeSlot(const char* newPin)
{
    BoxReport report;
    const bool userLoggedIn = mUserPin != nullptr;
    changeUserPin(mUt, orEmpty(mPin), mPinId, newPin, report);
    // An administrator who sets the user PIN stays logged in.
    if (userLoggedIn) {
        mLoginWidget->logoutSlot();
    }
}
