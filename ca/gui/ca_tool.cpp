// The authority's runs of the external tool and the PIN check of its token.
#include "ca.h"

#include "message_box.h"
#include "pin_check.h"
#include "pin_entry.h"
#include "secret_bytes.h"
#include "tool_runner.h"

#include "dev_zr40nn.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

QStringList CA::engineArguments()
{
    return { QStringLiteral("-engine"), QStringLiteral("dev_zr40nn"), QStringLiteral("-passin"),
             QStringLiteral("stdin"),   QStringLiteral("-keyform"),   QStringLiteral("ENGINE") };
}

bool CA::runOpenssl(bool withPin)
{
    morvil::SecretBytes input;
    if (withPin) {
        QString line = mUserPin + QLatin1Char('\n');
        input.assignUtf8(line);
        morvil::wipe(line);
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const ToolRun run
        = runTool(mOpensslCmd, mOpensslArgs, mConf.mConfDirPath, QByteArrayView(input.c_str(), input.size()));
    QGuiApplication::restoreOverrideCursor();
    mOpensslOut = run.out;
    mOpensslError = run.err;
    return run.succeeded();
}

bool CA::runCaWithKey(const QStringList& before, const QStringList& after, const QString& message, QWidget* parent)
{
    mOpensslArgs = QStringList { QStringLiteral("ca"), QStringLiteral("-config"), mConf.mConfFileName } + before
        + engineArguments() + after;
    if (!runOpenssl(true)) {
        reportToolFailure(message, parent);
        return false;
    }
    return true;
}

bool CA::getUserPin(QWidget* parent)
{
    if (!morvil::askPin(parent, tr("Podaj PIN"), tr("PIN do tokenu %1:").arg(mConf.mMorvilName), mUserPin)) {
        morvil::wipe(mUserPin);
        return false;
    }
    morvil::SecretBytes tokenName;
    tokenName.assignUtf8(mConf.mMorvilName);
    morvil::SecretBytes pin;
    pin.assignUtf8(mUserPin);
    const PinCheck check = checkUserPin(tokenName.c_str(), pin.c_str());
    switch (check.outcome) {
    case PinCheckOutcome::Accepted:
        return true;
    case PinCheckOutcome::LibraryFailed:
        morvil::box::critical(morvil::box::errorTitle(),
                              tr("Nie można zainicjować biblioteki obsługującej tokeny!\n\n%1")
                                  .arg(QString::fromUtf8(DEV_ZR40NN_lib_error_desc(check.libraryCode))),
                              parent);
        morvil::wipe(mUserPin);
        QCoreApplication::quit();
        return false;
    case PinCheckOutcome::NoToken:
        morvil::box::critical(tr("Brak tokenu"),
                              tr("Nie można odnaleźć tokenu %1. Być może został odłączony.").arg(mConf.mMorvilName),
                              parent);
        return false;
    case PinCheckOutcome::Locked:
        morvil::box::critical(morvil::box::errorTitle(), tr("Token %1 jest zablokowany.").arg(mConf.mMorvilName),
                              parent);
        return false;
    case PinCheckOutcome::NotConfigured:
        morvil::box::critical(morvil::box::errorTitle(), tr("Token %1 nie jest skonfigurowany.").arg(mConf.mMorvilName),
                              parent);
        return false;
    case PinCheckOutcome::WrongPin:
        break;
    }
    // The only box with markup: its values are numbers.
    QMessageBox box(QMessageBox::Critical, morvil::box::errorTitle(),
                    tr("Podany PIN nie jest prawidłowy.<br>Liczba błędnych wprowadzeń numeru PIN: <b>%1</b> "
                       "(limit %2).")
                        .arg(check.tries)
                        .arg(check.limit),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::RichText);
    box.exec();
    return false;
}
