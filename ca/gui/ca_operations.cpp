// The authority's life: creation, opening, removal, and the requests that wait for signing.
#include "ca.h"

#include "authority_store.h"
#include "ca_new_dialog.h"
#include "ca_views.h"
#include "file_dialog_wpr.h"
#include "message_box.h"
#include "new_authority.h"
#include "secret_bytes.h"
#include "whole_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTreeWidget>

namespace {

// What the tool prints before a request's subject.
const QString kSubjectPrefix = QStringLiteral("subject=");
// What the tool says when it read the file and found it is no valid request.
const QStringList kBadRequestVerdicts
    = { QStringLiteral("verify failure"), QStringLiteral("Unable to load X509 request") };

} // namespace

void CA::reportToolFailure(const QString& message, QWidget* parent) const
{
    morvil::box::critical(morvil::box::errorTitle(), message + mOpensslError, parent);
}

bool CA::create(const QString& title, QWidget* parent)
{
    CaNewDialog dialog(parent);
    dialog.setWindowTitle(title);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    return create(dialog.values(), parent);
}

bool CA::create(const NewAuthority& values, QWidget* parent)
{
    setName(values.name);
    setCaKeyName(values.caKeyName);
    setDefaultCertDays(values.defaultCertDays);
    setDefaultCrlDays(values.defaultCrlDays);
    setDefaultMD(values.defaultMD);
    setPolicy(values.policyCountryName, values.policyStateOrProvinceName, values.policyLocalityName,
              values.policyOrganizationName, values.policyOrganizationalUnitName, values.policyCommonName,
              values.policyEmailAddress);
    mConf.mMorvilName = values.caKeyName.section(QLatin1Char('/'), 0, 0);
    if (!getUserPin(parent)) {
        return false;
    }
    if (!createConfDir() || !writeConfiguration()) {
        morvil::box::critical(morvil::box::errorTitle(),
                              tr("Nie można utworzyć katalogu urzędu %1.").arg(mConf.mConfDirPath), parent);
        deleteConfDir();
        return false;
    }
    mOpensslArgs = QStringList { QStringLiteral("req"),         QStringLiteral("-new"),    QStringLiteral("-x509"),
                                 QStringLiteral("-utf8"),       QStringLiteral("-config"), mConf.mConfFileName,
                                 QStringLiteral("-set_serial"), QStringLiteral("0") }
        + engineArguments() + QStringList { QStringLiteral("-key"),  mConf.mCaKeyName,
                                            QStringLiteral("-days"), QString::number(values.caCertDays),
                                            QStringLiteral("-md"),   mConf.mDefaultMD,
                                            QStringLiteral("-out"),  mConf.mCaCertFileName,
                                            QStringLiteral("-subj"), subjectArgument(values.caSubject) };
    if (!runOpenssl(true)) {
        morvil::box::critical(morvil::box::errorTitle(),
                              tr("Generowanie autocertyfikatu urzędu zakończyło się niepowodzeniem.\n\n") + mOpensslOut
                                  + QStringLiteral("\n\n") + mOpensslError,
                              parent);
        deleteConfDir();
        return false;
    }
    morvil::box::information(morvil::box::noticeTitle(), tr("Urząd utworzony poprawnie i gotowy do pracy."), parent);
    return true;
}

bool CA::open(QWidget* parent)
{
    if (!readConfiguration()) {
        morvil::box::critical(morvil::box::errorTitle(), tr("Nie można wczytać pliku konfiguracyjnego urzędu."),
                              parent);
        close(parent);
        return false;
    }
    if (!getUserPin(parent)) {
        close(parent);
        return false;
    }
    if (!runCaWithKey({ QStringLiteral("-updatedb") }, {}, tr("Nie można zaktualizować bazy danych certyfikatów.\n\n"),
                      parent)) {
        close(parent);
        return false;
    }
    readNewRequests(parent);
    return true;
}

bool CA::remove(QWidget* parent)
{
    if (!morvil::box::question(morvil::box::questionTitle(), tr("Czy jesteś pewien, że chcesz usunąć ten urząd?"),
                               parent)) {
        return false;
    }
    close(parent);
    deleteConfDir();
    return true;
}

CA::RequestCheck CA::checkRequest(const QString& fileName, QString& subject)
{
    mOpensslArgs = { QStringLiteral("req"),
                     QStringLiteral("-config"),
                     mConf.mConfFileName,
                     QStringLiteral("-in"),
                     mConf.mNewReqDirName + QLatin1Char('/') + fileName,
                     QStringLiteral("-noout"),
                     QStringLiteral("-verify"),
                     QStringLiteral("-subject") };
    const bool ran = runOpenssl();
    for (const QString& verdict : kBadRequestVerdicts) {
        if (mOpensslError.contains(verdict)) {
            return RequestCheck::Bad;
        }
    }
    if (!ran) {
        return RequestCheck::NotChecked;
    }
    QString line = mOpensslOut;
    line.remove(QLatin1Char('\n'));
    if (!line.startsWith(kSubjectPrefix)) {
        return RequestCheck::Bad;
    }
    subject = fromOpensslOneline(line.mid(kSubjectPrefix.size()));
    return RequestCheck::Good;
}

bool CA::readNewRequests(QWidget* parent)
{
    if (mReqTreeWidget != nullptr) {
        detachRows(mReqTreeWidget);
    }
    mReqList.clear();
    const QDir pending(mConf.mConfDirPath + QLatin1Char('/') + mConf.mNewReqDirName);
    for (const QString& fileName : pendingRequestNames(pending.path())) {
        QString subject;
        switch (checkRequest(fileName, subject)) {
        case RequestCheck::Good: {
            Request& request = mReqList.appendNew();
            request.setSubject(subject);
            request.setFileName(fileName);
            break;
        }
        case RequestCheck::Bad:
            morvil::box::critical(morvil::box::errorTitle(),
                                  tr("Zgłoszenie %1 ma błędny format lub niepoprawny podpis i zostanie usunięte z "
                                     "bazy urzędu.\n\n")
                                          .arg(fileName)
                                      + mOpensslError,
                                  parent);
            QFile::remove(pending.filePath(fileName));
            break;
        case RequestCheck::NotChecked:
            reportToolFailure(tr("Nie można sprawdzić zgłoszenia %1.\n\n").arg(fileName), parent);
            break;
        }
    }
    updateRequestTree();
    updateRequestInfo();
    return true;
}

bool CA::getReq(QWidget* parent)
{
    const QStringList files = FileDialogWPR::getOpenFileNames(parent, tr("Wybierz zgłoszenia"), QDir::homePath(),
                                                              tr("Zgłoszenia (*.req);;Wszystkie pliki (*)"));
    return importRequests(files, parent);
}

bool CA::importRequests(const QStringList& files, QWidget* parent)
{
    const QDir pending(mConf.mConfDirPath + QLatin1Char('/') + mConf.mNewReqDirName);
    for (const QString& path : files) {
        const QString fileName = QFileInfo(path).fileName();
        if (!isListedRequestName(fileName)) {
            morvil::box::critical(morvil::box::errorTitle(),
                                  tr("Zgłoszenie %1 nie zostanie dodane: nazwa pliku zaczyna się od kropki, a takich "
                                     "plików lista zgłoszeń nie pokazuje. Zmień nazwę pliku.")
                                      .arg(fileName),
                                  parent);
            continue;
        }
        QFile source(path);
        if (!source.open(QIODevice::ReadOnly)) {
            morvil::box::critical(morvil::box::errorTitle(), tr("Nie można otworzyć pliku %1.").arg(fileName), parent);
            continue;
        }
        if (QFileInfo::exists(pending.filePath(fileName))) {
            morvil::box::critical(
                morvil::box::errorTitle(),
                tr("Zgłoszenie o nazwie %1 czeka już na podpisanie. Zmień nazwę pliku.").arg(fileName), parent);
            continue;
        }
        // A hidden name: the pending list never shows it, and nothing pending is touched.
        QTemporaryFile copy(pending.filePath(QStringLiteral(".import-XXXXXX")));
        if (!copy.open() || !morvil::writeAllAndClose(copy, source.readAll())) {
            morvil::box::critical(morvil::box::errorTitle(),
                                  tr("Nie można zapisać zgłoszenia %1 w bazie urzędu.").arg(fileName), parent);
            continue;
        }
        QString subject;
        const RequestCheck check = checkRequest(QFileInfo(copy.fileName()).fileName(), subject);
        if (check == RequestCheck::NotChecked) {
            reportToolFailure(tr("Nie można sprawdzić zgłoszenia %1, więc nie zostanie ono dodane.\n\n").arg(fileName),
                              parent);
            continue;
        }
        if (check == RequestCheck::Bad) {
            reportToolFailure(
                tr("Zgłoszenie %1 ma błędny format lub niepoprawny podpis i nie zostanie dodane.\n\n").arg(fileName),
                parent);
            continue;
        }
        if (!copy.rename(pending.filePath(fileName))) {
            morvil::box::critical(morvil::box::errorTitle(),
                                  tr("Nie można zapisać zgłoszenia %1 w bazie urzędu.").arg(fileName), parent);
            continue;
        }
        copy.setAutoRemove(false);
    }
    readNewRequests(parent);
    return true;
}
