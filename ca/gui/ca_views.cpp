// Reading the authority's state back from its directory, and showing it in the main window's
// trees, panes and authority page.
#include "ca_views.h"

#include "ca.h"
#include "cert_index.h"
#include "message_box.h"
#include "openssl_time.h"
#include "plain_text_pane.h"

#include <QFile>
#include <QFileInfo>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

// How the program shows every date the tool gives.
const QString kDateForm = QStringLiteral("yyyy-MM-dd (hh:mm:ss)");
// The index's own time form, in which the authority's own certificate is recorded too.
const QString kIndexTimeForm = QStringLiteral("yyMMddhhmmss");
const QString kStaleMarker = QStringLiteral("#IsNotActual");
const QString kIndent = QStringLiteral("        ");

} // namespace

void detachRows(QTreeWidget* tree)
{
    tree->invisibleRootItem()->takeChildren();
}

bool CA::readCertificateDb()
{
    // Read whole before it replaces what the views show: a list that failed to load is never shown.
    ItemList<Certificate> read;
    const QFileInfo file(mConf.mConfDirPath + QLatin1Char('/') + mConf.mCaCertFileName);
    if (!file.exists() || file.lastModified() != mOwnCertificate.modified || file.size() != mOwnCertificate.size) {
        mOpensslArgs
            = QStringList { QStringLiteral("x509"),    QStringLiteral("-in"),        mConf.mCaCertFileName,
                            QStringLiteral("-noout"),  QStringLiteral("-startdate"), QStringLiteral("-enddate"),
                            QStringLiteral("-subject") };
        if (!runOpenssl()) {
            mOwnCertificate = {};
            return false;
        }
        mOwnCertificate = { file.lastModified(), file.size(), mOpensslOut };
    }
    const QStringList lines = mOwnCertificate.out.split(QLatin1Char('\n'));
    Certificate& own = read.appendNew();
    own.setSerial(QStringLiteral("0"));
    own.setFileName(mConf.mCaCertFileName);
    own.setNotBefore(readOpensslDateTime(lines.value(0)).toString(kIndexTimeForm));
    own.setNotAfter(readOpensslDateTime(lines.value(1)).toString(kIndexTimeForm));
    own.setSubject(fromOpensslOneline(lines.value(2)));
    own.setState(QStringLiteral("V"));
    own.setIcon(0, QIcon(QStringLiteral(":img/cacert.png")));

    QFile db(mConf.mConfDirPath + QLatin1Char('/') + mConf.mDbFileName);
    if (!db.open(QIODevice::ReadOnly)) {
        return false;
    }
    // Lines with fewer fields than their state needs come only from a damaged index: skipped.
    IndexReading reading { db.readAll(), mConf.mNewCertsDirName, {} };
    const bool sameFiles = reading.certsDir == mIndexReading.certsDir;
    forEachIndexEntry(reading.text, [&](const IndexEntry& entry) {
        const std::size_t row = reading.lines.size();
        reading.lines.push_back(entry.line);
        if (sameFiles && row < mIndexReading.lines.size() && mIndexReading.lines[row] == entry.line) {
            read.adopt(mCertList, static_cast<int>(row) + 1);
        } else {
            read.appendNew().setFromIndex(entry, reading.certsDir);
        }
    });
    // The rows go back from the tree first: a row destroyed while shown leaves the tree one by one.
    if (mCertTreeWidget != nullptr) {
        detachRows(mCertTreeWidget);
    }
    mCertList = std::move(read);
    mIndexReading = std::move(reading);
    return true;
}

bool CA::readCaCrl()
{
    mOpensslArgs
        = QStringList { QStringLiteral("crl"),    QStringLiteral("-in"),         mConf.mCrlFileName,
                        QStringLiteral("-noout"), QStringLiteral("-lastupdate"), QStringLiteral("-nextupdate") };
    if (!runOpenssl()) {
        return false;
    }
    const QStringList lines = mOpensslOut.split(QLatin1Char('\n'));
    mCrlLastUpdate = readOpensslDateTime(lines.value(0));
    mCrlNextUpdate = readOpensslDateTime(lines.value(1));
    QFile crl(mConf.mConfDirPath + QLatin1Char('/') + mConf.mCrlFileName);
    if (!crl.open(QIODevice::ReadOnly)) {
        return false;
    }
    mCrlIsActual = !crl.readAll().contains(kStaleMarker.toLatin1());
    if (mCrlNextUpdate < QDateTime::currentDateTimeUtc()) {
        mCrlIsActual = false;
    }
    return true;
}

bool CA::update(QWidget* parent)
{
    if (!readCertificateDb()) {
        morvil::box::critical(morvil::box::errorTitle(), tr("Nie można wczytać bazy danych certyfikatów."), parent);
        return false;
    }
    updateCertificateTree();
    updateCertificateInfo();
    return true;
}

void CA::setCertOnlyValidDisplay(bool onlyValid)
{
    mCertOnlyValidDisplay = onlyValid;
    update(nullptr);
}

namespace {

// Puts the rows of a list that pass `shown` into a tree, in list order, in place of its rows.
template <typename Item, typename Shown> void showRows(QTreeWidget* tree, ItemList<Item>& list, Shown shown)
{
    if (tree == nullptr) {
        return;
    }
    detachRows(tree);
    QList<QTreeWidgetItem*> rows;
    rows.reserve(list.size());
    for (int i = 0; i < list.size(); ++i) {
        if (shown(list[i])) {
            rows.append(&list[i]);
        }
    }
    // A sorting tree takes added rows one at a time, each sorted later; without sorting it takes
    // them at once, and sorts them once when sorting comes back on.
    const bool sorting = tree->isSortingEnabled();
    tree->setSortingEnabled(false);
    tree->addTopLevelItems(rows);
    tree->setSortingEnabled(sorting);
}

} // namespace

void CA::updateCertificateTree()
{
    showRows(mCertTreeWidget, mCertList, [this](const Certificate& certificate) {
        return !mCertOnlyValidDisplay || certificate.state() == QLatin1String("V");
    });
}

void CA::updateRequestTree()
{
    showRows(mReqTreeWidget, mReqList, [](const Request&) { return true; });
}

namespace {

// Starts a read-only, unwrapped pane afresh.
void resetPane(QTextEdit* pane)
{
    pane->clear();
    pane->setReadOnly(true);
    pane->setLineWrapMode(QTextEdit::NoWrap);
}

QString shownDate(const QDateTime& dateTime)
{
    return dateTime.toString(kDateForm) + QStringLiteral(" GMT");
}

} // namespace

void CA::appendSubjectLines(QTextEdit* pane, const Subject& subject)
{
    morvil::appendPlainText(pane, tr("Dane podmiotu:"));
    morvil::appendPlainText(pane, tr("        Kraj: %1").arg(subject.countryName()));
    morvil::appendPlainText(pane, tr("        Region: %1").arg(subject.stateOrProvinceName()));
    morvil::appendPlainText(pane, tr("        Miejscowość: %1").arg(subject.localityName()));
    morvil::appendPlainText(pane, tr("        Organizacja: %1").arg(subject.organizationName()));
    morvil::appendPlainText(pane, tr("        Dział: %1").arg(subject.organizationalUnitName()));
    morvil::appendPlainText(pane, tr("        Nazwa: %1").arg(subject.commonName()));
    morvil::appendPlainText(pane, tr("        E-mail: %1").arg(subject.emailAddress()));
}

void CA::updateCertificateInfo()
{
    if (mCertTreeWidget == nullptr || mCertInfoTextEdit == nullptr) {
        return;
    }
    resetPane(mCertInfoTextEdit);
    const auto* certificate = dynamic_cast<const Certificate*>(mCertTreeWidget->currentItem());
    if (certificate == nullptr) {
        return;
    }
    if (!certificate->revocationDate().isNull()) {
        morvil::appendPlainText(mCertInfoTextEdit, tr("Data unieważnienia:"));
        morvil::appendPlainText(mCertInfoTextEdit, tr("        %1").arg(shownDate(certificate->revocationDate())));
    }
    morvil::appendPlainText(mCertInfoTextEdit, tr("Data ważności:"));
    morvil::appendPlainText(mCertInfoTextEdit, tr("        %1").arg(shownDate(certificate->notAfter())));
    appendSubjectLines(mCertInfoTextEdit, *certificate);
}

void CA::updateRequestInfo()
{
    if (mReqTreeWidget == nullptr || mReqInfoTextEdit == nullptr) {
        return;
    }
    resetPane(mReqInfoTextEdit);
    const auto* request = dynamic_cast<const Request*>(mReqTreeWidget->currentItem());
    if (request != nullptr) {
        appendSubjectLines(mReqInfoTextEdit, *request);
    }
}
