// The "Ogólne" tab of a token: its technical data and, by its state, its configuration, the form
// that configures it, or the form that unlocks it. The page never calls the library: it checks
// what was typed and asks its token node through confSig and unLockSig.
#pragma once

#include "dev_zr40nn.h"
#include "secret_bytes.h"

#include <QStackedWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class GenInfoWidget : public QStackedWidget
{
    Q_OBJECT
public:
    // The three pages, in stack order.
    enum Page
    {
        kConfiguredPage = 0,
        kNotConfiguredPage = 1,
        kLockedPage = 2,
    };

    explicit GenInfoWidget(QWidget* parent = nullptr);
    ~GenInfoWidget() override;

    void clearInputs();
    void clearFields();

    // The technical data of a record, as rich text with the token's own texts escaped.
    static QString techText(const DEV_ZR40NN_t* ut);

signals:
    // The texts point into the page's byte copies and are valid while the receiver runs.
    void confSig(const char* name, int soPinLim, const char* soPin, int userPinLim, const char* userPin, bool upcna);
    void unLockSig(const char* soPin);

public slots:
    void setInfo(const DEV_ZR40NN_t* ut);

private slots:
    void confSlot();
    void unLockSlot();

private:
    QWidget* buildConfiguredPage();
    QWidget* buildNotConfiguredPage();
    QWidget* buildLockedPage();
    void refuse(const QString& text);

    morvil::SecretBytes mName;
    int mSoPinLim = 0;
    morvil::SecretBytes mSoPinBuf;
    int mUserPinLim = 0;
    morvil::SecretBytes mUserPinBuf;
    bool mUpcna = false;

    QWidget* mConfWidget;
    QLabel* mConfTechInfo;
    QLabel* mConfInfo;
    QWidget* mNotConfWidget;
    QLabel* mNotConfTechInfo;
    QLabel* mNotConfInfo;
    QLineEdit* mTokenName;
    QSpinBox* mSoPinLimit;
    QSpinBox* mUserPinLimit;
    QLineEdit* mSoPin;
    QLineEdit* mSoPinCheck;
    QLineEdit* mUserPin;
    QLineEdit* mUserPinCheck;
    QPushButton* mConfigure;
    QWidget* mLockWidget;
    QLabel* mLockTechInfo;
    QLabel* mLockInfo;
    QLineEdit* mLockSoPin;
    QPushButton* mUnLock;
};
