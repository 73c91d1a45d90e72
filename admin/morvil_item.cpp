#include "morvil_item.h"

#include "admin_texts.h"
#include "box_report.h"
#include "file_items.h"
#include "file_transactions.h"
#include "key_items.h"
#include "key_transactions.h"
#include "message_box.h"
#include "morvil_state.h"
#include "token_text.h"
#include "token_transactions.h"
#include "tree_model.h"
#include "widgets/admin_widget.h"
#include "widgets/gen_info_widget.h"
#include "widgets/login_widget.h"

#include <QIcon>
#include <QTabWidget>

using namespace morvil::admin;

namespace {

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
    , mSerial(ut->serial_number)
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
    forgetTypedPins();
}

void MorvilItem::forgetTypedPins()
{
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
    setData(morvil::tokenTitle(mUt->info.name, mUt->serial_number), Qt::DisplayRole);
    setData(stateIcon(state, mSoPin != nullptr, mUserPin != nullptr), Qt::DecorationRole);
    // The key and file folders exist while the token is usable; a token that leaves that state
    // loses them with their subtrees.
    if (state != kMorvilConfigured && childCount() > 0) {
        model()->deleteAllChilds(this);
    }
    if (state == kMorvilConfigured && childCount() == 0) {
        addFolders();
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
    // Typed and never sent counts too: the next person must not find, and send with a button, a
    // PIN the previous one left in a form.
    forgetTypedPins();
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

void MorvilItem::addFolders()
{
    auto keys = std::make_unique<MorvilKeysFolderItem>(mUt, nullptr);
    connect(keys.get(), &MorvilKeysFolderItem::generateKeySig, this, &MorvilItem::generateKeySlot,
            Qt::DirectConnection);
    connect(keys.get(), &MorvilKeysFolderItem::deleteKeySig, this, &MorvilItem::deleteKeySlot, Qt::DirectConnection);
    connect(keys.get(), &MorvilKeysFolderItem::generateCertReqSig, this, &MorvilItem::generateCertReqSlot,
            Qt::DirectConnection);
    connect(this, &MorvilItem::soLoginSig, keys.get(), &MorvilKeysFolderItem::soLoginSlot);
    connect(this, &MorvilItem::userLoginSig, keys.get(), &MorvilKeysFolderItem::userLoginSlot);
    connect(this, &MorvilItem::logoutSig, keys.get(), &MorvilKeysFolderItem::logoutSlot);
    model()->appendChild(this, std::move(keys));

    auto files = std::make_unique<MorvilFilesFolderItem>(mUt, nullptr);
    connect(files.get(), &MorvilFilesFolderItem::addFileSig, this, &MorvilItem::addFileSlot, Qt::DirectConnection);
    connect(files.get(), &MorvilFilesFolderItem::deleteFileSig, this, &MorvilItem::deleteFileSlot,
            Qt::DirectConnection);
    connect(files.get(), &MorvilFilesFolderItem::saveFileSig, this, &MorvilItem::saveFileSlot, Qt::DirectConnection);
    connect(this, &MorvilItem::soLoginSig, files.get(), &MorvilFilesFolderItem::soLoginSlot);
    connect(this, &MorvilItem::userLoginSig, files.get(), &MorvilFilesFolderItem::userLoginSlot);
    connect(this, &MorvilItem::logoutSig, files.get(), &MorvilFilesFolderItem::logoutSlot);
    model()->appendChild(this, std::move(files));
}

bool MorvilItem::holdsSameToken() const
{
    return libIndex() >= 0 && mSerial == QByteArray(mUt->serial_number);
}

// Commands that change the token need the PIN of a login; without one nothing is sent, so no PIN
// try is spent.
void MorvilItem::generateKeySlot(const char* name, int id)
{
    if (mPin == nullptr) {
        return;
    }
    BoxReport report;
    generateKey(mUt, mPin, mPinId, name, id, report);
    refresh();
}

void MorvilItem::deleteKeySlot(int id)
{
    if (mPin == nullptr) {
        return;
    }
    BoxReport report;
    deleteKey(mUt, mPin, mPinId, id, report);
    refresh();
}

void MorvilItem::generateCertReqSlot(int keyId, QString& fileName, QStringList& dn)
{
    if (mUserPin == nullptr) {
        return;
    }
    BoxReport report;
    writeCertRequest(mUt, mUserPin, keyId, QString(fileName), QStringList(dn), report);
    // The engine enumerated the tokens on its own: records may have gone or changed hands.
    repaintAndEnumerate();
}

void MorvilItem::addFileSlot(QString& srcFileName, QString& dstFileName)
{
    if (mPin == nullptr) {
        return;
    }
    BoxReport report;
    addFile(mUt, mPin, mPinId, srcFileName, dstFileName, report);
    refresh();
}

void MorvilItem::deleteFileSlot(QString& fileName)
{
    if (mPin == nullptr) {
        return;
    }
    BoxReport report;
    deleteFile(mUt, mPin, mPinId, fileName, report);
    refresh();
}

void MorvilItem::saveFileSlot(QString& srcFileName, QString& dstFileName)
{
    BoxReport report;
    saveFile(mUt, srcFileName, dstFileName, report);
}
