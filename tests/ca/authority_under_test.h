// An authority with its inner steps open to tests, and the answer to its PIN dialog.
#pragma once

#include "ca.h"
#include "held_text.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QTimer>

#include <optional>

namespace morvil::test {

class AuthorityUnderTest : public CA
{
public:
    AuthorityUnderTest() = default;
    explicit AuthorityUnderTest(const CA& ca)
        : CA(ca)
    {
    }

    using CA::create;
    using CA::createConfDir;
    using CA::deleteConfDir;
    using CA::engineArguments;
    using CA::getUserPin;
    using CA::importRequests;
    using CA::pinForSigning;
    using CA::readCaCrl;
    using CA::readCertificateDb;
    using CA::readConfiguration;
    using CA::readNewRequests;
    using CA::runOpenssl;
    using CA::writeConfiguration;

    void setTool(const QString& path) { mOpensslCmd = path; }
    void setArgs(const QStringList& args) { mOpensslArgs = args; }
    void setTokenName(const QString& name) { mConf.mMorvilName = name; }
    void setKeyReference(const QString& reference) { mConf.mCaKeyName = reference; }
    // As if the token had accepted pin.
    void setUserPin(QString pin) { mUserPin.keep(pin); }
    QString userPin() const { return mUserPin.text(); }
    bool pinKept() const { return mUserPin.isKept(); }
    QString out() const { return mOpensslOut; }
    QString err() const { return mOpensslError; }
    const ItemList<Certificate>& certificates() const { return mCertList; }
    const ItemList<Request>& requests() const { return mReqList; }
    bool hasViews() const
    {
        return mCertTreeWidget != nullptr || mCertInfoTextEdit != nullptr || mReqTreeWidget != nullptr
            || mReqInfoTextEdit != nullptr;
    }
    bool crlIsActual() const { return mCrlIsActual; }
};

// Answers the next PIN dialog with pin, or cancels it when there is none; records the label it
// showed. Lives until the test drops it.
class PinDialogAnswer
{
public:
    explicit PinDialogAnswer(std::optional<QString> pin)
        : mPin(std::move(pin))
    {
        QObject::connect(&mTimer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            mTimer.stop();
            mTitle = dialog->windowTitle();
            mLabel = dialog->labelText();
            mLabelFormat = dialog->findChild<QLabel*>()->textFormat();
            mEchoMode = dialog->textEchoMode();
            // Typed, as the user does, even when the answer is to cancel.
            auto* edit = dialog->findChild<QLineEdit*>();
            typeInto(edit, mPin.value_or(QStringLiteral("anulowany")));
            if (mPin) {
                dialog->accept();
            } else {
                dialog->reject();
            }
            mHeld = heldBy(edit);
        });
        mTimer.start(10);
    }

    bool shown() const { return !mLabel.isNull(); }
    QString title() const { return mTitle; }
    QString label() const { return mLabel; }
    QLineEdit::EchoMode echoMode() const { return mEchoMode; }
    Qt::TextFormat labelFormat() const { return mLabelFormat; }
    // What the dialog's edit still held once the dialog was closed.
    QString held() const { return mHeld; }

private:
    std::optional<QString> mPin;
    QTimer mTimer;
    QString mTitle;
    QString mLabel;
    QLineEdit::EchoMode mEchoMode = QLineEdit::Normal;
    Qt::TextFormat mLabelFormat = Qt::AutoText;
    QString mHeld;
};

} // namespace morvil::test
