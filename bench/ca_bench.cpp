// The authority's reading of a large store: 10 000 certificates in its index (a third revoked,
// some expired), read and shown in its certificate tree through CA, beside one stock
// "openssl ca -updatedb" on the same store. The index is synthetic (the tool only reads it here),
// the authority's own certificate and key are real. No token is involved: neither run signs.
#include "ca.h"
#include "tool_runner.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 7;
const QString kOpenSsl = QStringLiteral("/usr/bin/openssl");

// The store's set-up is the authority's own; the key lies in a file so the stock tool can load it.
class BenchAuthority : public CA
{
public:
    bool make(const QString& dataDir)
    {
        setName(QStringLiteral("Bench"));
        setCaKeyName(QStringLiteral("ca.key"));
        setDefaultMD(QStringLiteral("sha256"));
        createConfDir();
        if (!writeConfiguration()) {
            return false;
        }
        const ToolRun run = runTool(kOpenSsl,
                                    { "req", "-new", "-x509", "-config", "Bench.conf", "-newkey", "ec", "-pkeyopt",
                                      "ec_paramgen_curve:P-256", "-nodes", "-keyout", "ca.key", "-subj",
                                      "/C=PL/O=Morvil/CN=Bench CA", "-days", "3650", "-out", "Bench.cert" },
                                    dataDir + "/Bench", {});
        std::fprintf(stderr, "%s", qPrintable(run.err.contains("error") ? run.err : QString()));
        return run.succeeded();
    }

    int rows() const { return mCertList.size(); }
};

// 10 000 index lines: every third revoked, every tenth long expired (E), every 25th still "V"
// but past its end, which the update turns into "E".
QByteArray syntheticIndex(int count)
{
    QByteArray index;
    for (int i = 1; i <= count; ++i) {
        const QByteArray serial = QByteArray::number(i, 16).toUpper().rightJustified(4, '0');
        const QByteArray subject
            = "/C=PL/O=Firma " + QByteArray::number(i % 17) + "/CN=Użytkownik " + QByteArray::number(i);
        if (i % 3 == 0) {
            index += "R\t351231235959Z\t250101120000Z,keyCompromise\t" + serial + "\tunknown\t" + subject + "\n";
        } else if (i % 10 == 0) {
            index += "E\t200101000000Z\t\t" + serial + "\tunknown\t" + subject + "\n";
        } else if (i % 25 == 0) {
            index += "V\t210101000000Z\t\t" + serial + "\tunknown\t" + subject + "\n";
        } else {
            index += "V\t351231235959Z\t\t" + serial + "\tunknown\t" + subject + "\n";
        }
    }
    return index;
}

bool writeIndex(const QString& path, const QByteArray& index)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(index) == index.size();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;

    QTemporaryDir data;
    QDir::setCurrent(data.path());
    BenchAuthority authority;
    if (!authority.make(data.path())) {
        std::fprintf(stderr, "cannot make the authority\n");
        return 1;
    }
    const QString dir = data.path() + "/Bench";
    const QByteArray index = syntheticIndex(count);

    QTreeWidget tree;
    QTextEdit pane;
    authority.setCertificateTreeWidget(&tree);
    authority.setCertificateInfoWidget(&pane);

    // What one start of the tool costs here, for reading the first figure.
    QElapsedTimer toolClock;
    toolClock.start();
    runTool(QCoreApplication::applicationDirPath() + "/../bin/morvil_openssl",
            { "x509", "-in", "Bench.cert", "-noout", "-startdate", "-enddate", "-subject" }, dir, {});
    const double toolStart = static_cast<double>(toolClock.nsecsElapsed()) / 1e6;

    std::vector<double> openssl;
    std::vector<double> shown;
    for (int round = 0; round < kRounds; ++round) {
        // The same store for both: the index as it stands before an update.
        if (!writeIndex(dir + "/db_cert", index)) {
            return 1;
        }
        QElapsedTimer clock;
        clock.start();
        const ToolRun updated = runTool(kOpenSsl, { "ca", "-config", "Bench.conf", "-updatedb" }, dir, {});
        openssl.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (!updated.succeeded()) {
            std::fprintf(stderr, "openssl ca -updatedb failed: %s\n", qPrintable(updated.err));
            return 1;
        }
        if (!writeIndex(dir + "/db_cert", index)) {
            return 1;
        }
        clock.restart();
        const bool read = authority.update(nullptr);
        tree.setCurrentItem(tree.topLevelItem(tree.topLevelItemCount() - 1));
        authority.changeCertificateInfo();
        shown.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (!read || tree.topLevelItemCount() != count + 1) {
            std::fprintf(stderr, "the authority read %d rows\n", tree.topLevelItemCount());
            return 1;
        }
    }
    authority.close(nullptr); // the tree would delete the rows it holds
    // The first reading starts the tool for the authority's own certificate; later ones find it
    // unchanged.
    const double first = shown.front();
    const double ours = median(std::vector<double>(shown.begin() + 1, shown.end()));
    const double theirs = median(openssl);
    std::printf("certificates in the index:          %d (a third revoked, some expired)\n", count);
    std::printf("openssl ca -updatedb (median of %d): %8.1f ms\n", kRounds, theirs);
    std::printf("CA read and shown, first reading:    %8.1f ms  (%.2fx; it also runs the tool once)\n", first,
                first / theirs);
    std::printf("  (one morvil_openssl x509 run alone: %8.1f ms)\n", toolStart);
    std::printf("CA read and shown (median of %d):    %8.1f ms  (%.2fx the openssl run; target at most 2x)\n",
                kRounds - 1, ours, ours / theirs);
    return 0;
}
