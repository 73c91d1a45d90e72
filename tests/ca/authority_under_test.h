// An authority with its inner steps open to tests, and the answer to its PIN dialog.
#pragma once

#include "ca.h"

#include <QApplication>
#include <QInputDialog>
#include <QTimer>

#include <optional>

namespace morvil::test {

class AuthorityUnderTest : public CA
{
public:
    using CA::createConfDir;
    using CA::deleteConfDir;
    using CA::engineArguments;
    using CA::getUserPin;
    using CA::readCaCrl;
    using CA::readCertificateDb;
    using CA::readConfiguration;
    using CA::runOpenssl;
    using CA::writeConfiguration;

    void setTool(const QString& path) { mOpensslCmd = path; }
    void setArgs(const QStringList& args) { mOpensslArgs = args; }
    void setTokenName(const QString& name) { mConf.mMorvilName = name; }
    void setUserPin(const QString& pin) { mUserPin = pin; }
    QString userPin() const { return mUserPin; }
    QString out() const { return mOpensslOut; }
    QString err() const { return mOpensslError; }
    const ItemList<Certificate>& certificates() const { return mCertList; }
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
            mEchoMode = dialog->textEchoMode();
            if (mPin) {
                dialog->setTextValue(*mPin);
                dialog->accept();
            } else {
                dialog->reject();
            }
        });
        mTimer.start(10);
    }

    bool shown() const { return !mLabel.isNull(); }
    QString title() const { return mTitle; }
    QString label() const { return mLabel; }
    QLineEdit::EchoMode echoMode() const { return mEchoMode; }

private:
    std::optional<QString> mPin;
    QTimer mTimer;
    QString mTitle;
    QString mLabel;
    QLineEdit::EchoMode mEchoMode = QLineEdit::Normal;
};

} // namespace morvil::test
