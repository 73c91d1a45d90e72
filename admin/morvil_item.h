// The tree node of one token: its page (tabs "Ogólne", "Logowanie", "Ustawienia"), its state, the
// PIN of the current login, and every device transaction on the token.
#pragma once

#include "dev_zr40nn.h"
#include "tree_item.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class AdminWidget;
class GenInfoWidget;
class LoginWidget;
class QTabWidget;
class QWidget;

// Pages may be deleted while one of their own slots is still on the stack (a transaction's
// refresh can remove its node): they go once control is back in the event loop.
struct DeleteLater
{
    void operator()(QWidget* widget) const;
};
template <typename T> using PagePtr = std::unique_ptr<T, DeleteLater>;

class MorvilItem : public TreeItem
{
    Q_OBJECT
public:
    MorvilItem(DEV_ZR40NN_t* ut, TreeItem* parent);
    ~MorvilItem() override;

    // Position in the library's device list; negative when the token is gone.
    int libIndex() const;
    // Whether the record is still in the library's list and still this token's: an enumeration
    // made elsewhere (the engine's) may have freed it and given the place to another token.
    bool holdsSameToken() const;
    int MorvilState() const;

    // Who is logged in: 0 administrator, 1 user, -1 nobody.
    int pinId() const { return mPinId; }
    DEV_ZR40NN_t* device() const { return mUt; }
    QTabWidget* tabs() const { return mMainTabWidget.get(); }
    GenInfoWidget* genInfoWidget() const { return mGenInfoWidget.get(); }
    LoginWidget* loginWidget() const { return mLoginWidget.get(); }
    AdminWidget* adminWidget() const { return mAdminWidget.get(); }

signals:
    void soLoginSig();
    void userLoginSig();
    void logoutSig();

public slots:
    void refresh() override;

private slots:
    void confSlot(const char* name, int soPinLim, const char* soPin, int userPinLim, const char* userPin, bool upcna);
    void unLockSlot(const char* soPin);
    void soLoginSlot(const char* pin, bool& correct);
    void userLoginSlot(const char* pin, bool& correct);
    void logoutSlot();
    void userPinChangeSlot(const char* newPin);
    void soPinChangeSlot(const char* newPin);
    void eraseSlot();
    void generateKeySlot(const char* name, int id);
    void deleteKeySlot(int id);
    void generateCertReqSlot(int keyId, QString& fileName, QStringList& dn);
    void addFileSlot(QString& srcFileName, QString& dstFileName);
    void deleteFileSlot(QString& fileName);
    void saveFileSlot(QString& srcFileName, QString& dstFileName);

private:
    void login(const char* pin, int pinId, bool& correct);
    // Empties every PIN field and PIN copy of the token's pages: at logout and when the node goes.
    void forgetTypedPins();
    void refreshTabs(int state);
    void repaintAndEnumerate();
    void addFolders();

    // Pointers into the login page's buffer, never owned.
    const char* mPin = nullptr;
    const char* mSoPin = nullptr;
    const char* mUserPin = nullptr;
    int mPinId = -1;
    DEV_ZR40NN_t* mUt; // the library's record
    QByteArray mSerial; // the token's serial number when the node was made
    // The tab widget is declared first so the pages go before it.
    PagePtr<QTabWidget> mMainTabWidget;
    PagePtr<GenInfoWidget> mGenInfoWidget;
    PagePtr<AdminWidget> mAdminWidget;
    PagePtr<LoginWidget> mLoginWidget;
};
