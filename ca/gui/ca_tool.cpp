// The authority's runs of the external tool and the PIN check of its token.
#include "ca.h"

#include "message_box.h"
#include "pin_check.h"
#include "pin_entry.h"
#include "secret_bytes.h"
#include "token_text.h"
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
        QString line = mUserPin.text() + QLatin1Char('\n');
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
    mUserPin.forget();
    QString typed;
    const bool given = morvil::askPin(parent, tr("Podaj PIN"), tr("PIN do tokenu %1:").arg(mConf.mMorvilName), typed);
    if (given && checkPinOnToken(typed, false, parent)) {
        mUserPin.keep(typed);
        return true;
    }
    morvil::wipe(typed);
    return false;
}

bool CA::pinForSigning(QWidget* parent)
{
    if (!mUserPin.isKept()) {
        return getUserPin(parent);
    }
    return checkPinOnToken(mUserPin.text(), true, parent);
}

bool CA::checkPinOnToken(const QString& pin, bool kept, QWidget* parent)
{
    morvil::SecretBytes tokenName;
    tokenName.assignUtf8(mConf.mMorvilName);
    morvil::SecretBytes octets;
    octets.assignUtf8(pin);
    const PinCheck check = checkUserPin(tokenName.c_str(), octets.c_str());
    switch (check.outcome) {
    case PinCheckOutcome::Accepted:
        return true;
    case PinCheckOutcome::LibraryFailed:
        morvil::box::critical(morvil::box::errorTitle(),
                              tr("Nie można zainicjować biblioteki obsługującej tokeny!\n\n%1")
                                  .arg(QString::fromUtf8(DEV_ZR40NN_lib_error_desc(check.libraryCode))),
                              parent);
        mUserPin.forget();
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
    // The only boxes with markup: the token's name goes in escaped, the rest are numbers.
    QString text;
    if (kept) {
        mUserPin.forget();
        text = tr("Token %1 nie przyjął PIN-u podanego przy otwarciu urzędu: być może PIN został zmieniony. "
                  "Zapamiętany PIN został zapomniany, przy następnej operacji trzeba będzie podać go ponownie."
                  "<br>Liczba błędnych wprowadzeń numeru PIN: <b>%2</b> (limit %3).")
                   .arg(morvil::tokenHtml(mConf.mMorvilName), QString::number(check.tries),
                        QString::number(check.limit));
    } else {
        text = tr("Podany PIN nie jest prawidłowy.<br>Liczba błędnych wprowadzeń numeru PIN: <b>%1</b> "
                  "(limit %2).")
                   .arg(check.tries)
                   .arg(check.limit);
    }
    QMessageBox box(QMessageBox::Critical, morvil::box::errorTitle(), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::RichText);
    box.exec();
    return false;
}
