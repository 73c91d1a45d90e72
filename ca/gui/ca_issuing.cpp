// What an open authority issues with its key: certificates from requests, revocations, revocation
// lists, and copies of its certificates and list for the user.
#include "ca.h"

#include "file_dialog_wpr.h"
#include "message_box.h"
#include "whole_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTreeWidget>

namespace {

const QByteArray kCertificateHeader = QByteArrayLiteral("-----BEGIN CERTIFICATE-----");
const QByteArray kCrlHeader = QByteArrayLiteral("-----BEGIN X509 CRL-----");
const QByteArray kStaleLine = QByteArrayLiteral("#IsNotActual\n");

// A list number as the tool keeps it: hexadecimal digits, at most the 20 octets of a serial. It
// names the archive copy, so nothing else may pass into that name.
bool isCrlNumber(const QString& number)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-Fa-f]{1,40}$"));
    return form.match(number).hasMatch();
}

} // namespace

Certificate* CA::currentCertificate() const
{
    return mCertTreeWidget == nullptr ? nullptr : static_cast<Certificate*>(mCertTreeWidget->currentItem());
}

Request* CA::currentRequest() const
{
    return mReqTreeWidget == nullptr ? nullptr : static_cast<Request*>(mReqTreeWidget->currentItem());
}

bool CA::signReq(QWidget* parent)
{
    const Request* request = currentRequest();
    if (request == nullptr) {
        morvil::box::information(morvil::box::noticeTitle(),
                                 tr("Zaznacz zgłoszenie, które ma być zmienione w certyfikat i podpisane."), parent);
        return false;
    }
    const QString fileName = request->fileName();
    if (!pinForSigning(parent)
        || !runCaWithKey(
            {}, { QStringLiteral("-batch"), QStringLiteral("-in"), mConf.mNewReqDirName + QLatin1Char('/') + fileName },
            tr("Nie można podpisać tego zgłoszenia.\n\n"), parent)) {
        return false;
    }
    QFile::remove(mConf.mConfDirPath + QLatin1Char('/') + mConf.mNewReqDirName + QLatin1Char('/') + fileName);
    readNewRequests(parent);
    update(nullptr);
    return true;
}

bool CA::signReqAll(QWidget* parent)
{
    QStringList paths;
    for (int i = 0; i < mReqList.size(); ++i) {
        paths << mConf.mNewReqDirName + QLatin1Char('/') + mReqList[i].fileName();
    }
    if (!pinForSigning(parent)
        || !runCaWithKey({}, QStringList { QStringLiteral("-batch"), QStringLiteral("-infiles") } + paths,
                         tr("Nie można podpisać zgłoszenia.\n\n"), parent)) {
        return false;
    }
    for (const QString& path : paths) {
        QFile::remove(mConf.mConfDirPath + QLatin1Char('/') + path);
    }
    readNewRequests(parent);
    update(nullptr);
    return true;
}

bool CA::certRevoke(QWidget* parent)
{
    const Certificate* certificate = currentCertificate();
    if (certificate == nullptr) {
        morvil::box::information(morvil::box::noticeTitle(), tr("Zaznacz certyfikat, który ma być unieważniony."),
                                 parent);
        return false;
    }
    if (certificate->state() != QLatin1String("V") || certificate->serial() == 0) {
        morvil::box::information(morvil::box::noticeTitle(), tr("Ten certyfikat nie może być unieważniony."), parent);
        return false;
    }
    if (!pinForSigning(parent)
        || !runCaWithKey({}, { QStringLiteral("-revoke"), certificate->fileName() },
                         tr("Nie można unieważnić certyfikatu.\n\n"), parent)) {
        return false;
    }
    if (mCrlIsActual) {
        QFile crl(mConf.mConfDirPath + QLatin1Char('/') + mConf.mCrlFileName);
        if (!crl.open(QIODevice::ReadOnly)) {
            morvil::box::critical(morvil::box::errorTitle(), tr("Nie można wczytać listy CRL."), parent);
            update(nullptr);
            return false;
        }
        const QByteArray old = crl.readAll();
        crl.close();
        // The marked list replaces the old one whole: the file holds either, never a part.
        if (!old.startsWith(kStaleLine) && !morvil::writeWholeFile(crl.fileName(), kStaleLine + old)) {
            morvil::box::critical(morvil::box::errorTitle(),
                                  tr("Nie można zapisać nowych danych do pliku z listą CRL."), parent);
            update(nullptr);
            return false;
        }
        mCrlIsActual = false;
    }
    update(nullptr);
    return true;
}

bool CA::crlNew(QWidget* parent)
{
    QFile serial(mConf.mConfDirPath + QLatin1Char('/') + mConf.mCrlSerialFileName);
    if (!serial.open(QIODevice::ReadOnly | QIODevice::Text)) {
        morvil::box::critical(morvil::box::errorTitle(),
                              tr("Nie można otworzyć pliku %1.").arg(mConf.mCrlSerialFileName), parent);
        return false;
    }
    const QString number = QString::fromUtf8(serial.readLine()).remove(QLatin1Char('\n'));
    serial.close();
    if (!isCrlNumber(number)) {
        morvil::box::critical(morvil::box::errorTitle(),
                              tr("Plik %1 nie zawiera poprawnego numeru listy CRL, więc nowa lista nie zostanie "
                                 "wygenerowana.")
                                  .arg(mConf.mCrlSerialFileName),
                              parent);
        return false;
    }
    const QString archive = mConf.mCrlDirName + QLatin1Char('/') + number + QStringLiteral(".crl");
    // The tool writes the list where its name leads, and the copy goes into the archive folder:
    // neither may lead out of the store through a link.
    for (const QString& written : { mConf.mCrlFileName, mConf.mCrlDirName, archive }) {
        if (QFileInfo(mConf.mConfDirPath + QLatin1Char('/') + written).isSymbolicLink()) {
            morvil::box::critical(morvil::box::errorTitle(),
                                  tr("Nowa lista CRL nie zostanie wygenerowana: %1 jest dowiązaniem symbolicznym, a "
                                     "przez dowiązanie program niczego nie zapisuje.")
                                      .arg(written),
                                  parent);
            return false;
        }
    }
    if (!pinForSigning(parent)
        || !runCaWithKey({ QStringLiteral("-gencrl") }, { QStringLiteral("-out"), mConf.mCrlFileName },
                         tr("Nie można wygenerować nowej listy CRL.\n\n"), parent)) {
        return false;
    }
    QFile crl(mConf.mConfDirPath + QLatin1Char('/') + mConf.mCrlFileName);
    if (!crl.open(QIODevice::ReadOnly)
        || !morvil::writeWholeFile(mConf.mConfDirPath + QLatin1Char('/') + archive, crl.readAll())) {
        morvil::box::critical(morvil::box::errorTitle(), tr("Nie można zapisać kopii listy CRL %1.").arg(archive),
                              parent);
        return false;
    }
    return true;
}

bool CA::savePemAs(const QString& sourceName, const QString& target, const QString& header, QWidget* parent)
{
    QFile source(mConf.mConfDirPath + QLatin1Char('/') + sourceName);
    if (!source.open(QIODevice::ReadOnly)) {
        morvil::box::critical(morvil::box::errorTitle(), tr("Nie można otworzyć pliku %1.").arg(sourceName), parent);
        return false;
    }
    QByteArray contents = source.readAll();
    const qsizetype start = contents.indexOf(header.toLatin1());
    if (start > 0) {
        contents.remove(0, start);
    }
    if (!morvil::writeWholeFile(target, contents)) {
        morvil::box::critical(morvil::box::errorTitle(), tr("Nie można zapisać pliku %1.").arg(target), parent);
        return false;
    }
    return true;
}

bool CA::certSaveAs(QWidget* parent)
{
    const Certificate* certificate = currentCertificate();
    if (certificate == nullptr) {
        morvil::box::information(morvil::box::noticeTitle(), tr("Zaznacz certyfikat, który ma być zapisany."), parent);
        return false;
    }
    const QString proposal = QDir::homePath() + QLatin1Char('/')
        + certificate->commonName().toLower().replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral("_"))
        + QStringLiteral(".cert");
    const QString target = FileDialogWPR::getSaveFileName(parent, tr("Zapisz certyfikat jako"), proposal);
    if (target.isEmpty()) {
        return false;
    }
    return savePemAs(certificate->fileName(), target, QString::fromLatin1(kCertificateHeader), parent);
}

bool CA::crlSaveAs(QWidget* parent)
{
    const QString target = FileDialogWPR::getSaveFileName(parent, tr("Zapisz listę CRL jako"),
                                                          QDir::homePath() + QLatin1Char('/') + mConf.mCrlFileName);
    if (target.isEmpty()) {
        return false;
    }
    return savePemAs(mConf.mCrlFileName, target, QString::fromLatin1(kCrlHeader), parent);
}
