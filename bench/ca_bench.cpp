// The authority's reading of a large store: 10 000 and 100 000 certificates in its index (a third
// revoked, some expired), read and shown in the main window's certificate tree through CA, side by
// side with one stock "openssl ca -updatedb" on the same store. The index is written directly (the
// tool only reads it here); the authority's own certificate and key are real. No token is involved:
// neither side signs, so no wire time is counted on either.
//
// Each size runs in a process of its own, so that its first reading is the first in its process,
// as when the program opens an authority after its start.
#include "ca.h"
#include "main_window.h"
#include "tool_runner.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

constexpr int kRounds = 7;
constexpr int kSizes[] = { 10000, 100000 };
const QString kOpenSsl = QStringLiteral("/usr/bin/openssl");
const QString kOneSize = QStringLiteral("--size");

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
};

// Every third line revoked, every tenth long expired (E), every 25th still "V" but past its end,
// which the update turns into "E". Serials are upper-case hexadecimal of an even length (the tool
// refuses others), so they grow from 4 to 6 digits over 100 000 lines.
QByteArray syntheticIndex(int count)
{
    QByteArray index;
    index.reserve(static_cast<qsizetype>(count) * 96);
    for (int i = 1; i <= count; ++i) {
        QByteArray serial = QByteArray::number(i, 16).toUpper();
        serial = serial.rightJustified(std::max<qsizetype>(4, serial.size() + serial.size() % 2), '0');
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

double milliseconds(const QElapsedTimer& clock)
{
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// Milliseconds of CPU time: this thread's, or that of the children waited for so far.
double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double childrenCpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Side
{
    std::vector<double> wall;
    std::vector<double> cpu;
};

// One size in this process: a fresh store whose own certificate the authority has read once, then
// rounds of the tool's update and the authority's reading of the same index, one after the other.
// Prints one row of the table.
int measureOneSize(int count)
{
    QTemporaryDir data;
    QDir::setCurrent(data.path());
    BenchAuthority authority;
    if (!authority.make(data.path())) {
        std::fprintf(stderr, "cannot make the authority\n");
        return 1;
    }
    const QString dir = data.path() + "/Bench";
    const QByteArray index = syntheticIndex(count);

    // The main window's own tree and pane, shown as the program shows them.
    morvil::ca::MainWindow window;
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("certTree"));
    auto* pane = qobject_cast<QTextEdit*>(qobject_cast<QSplitter*>(tree->parentWidget())->widget(1));
    window.show();
    QCoreApplication::processEvents();
    authority.setCertificateTreeWidget(tree);
    authority.setCertificateInfoWidget(pane);

    // The tool reads the authority's own certificate once per authority: on an empty index here,
    // so that the readings below are of the index alone.
    QElapsedTimer clock;
    clock.start();
    if (!writeIndex(dir + "/db_cert", {}) || !authority.update(nullptr)) {
        std::fprintf(stderr, "cannot read the new authority\n");
        return 1;
    }
    const double ownCertificate = milliseconds(clock);

    QByteArray updated; // the index as the tool's update leaves it
    Side openssl; // one "openssl ca -updatedb"
    Side shown; // the authority's reading, shown
    for (int round = 0; round < kRounds; ++round) {
        if (!writeIndex(dir + "/db_cert", index)) {
            return 1;
        }
        clock.restart();
        double cpu = childrenCpuMs();
        const ToolRun update = runTool(kOpenSsl, { "ca", "-config", "Bench.conf", "-updatedb" }, dir, {});
        openssl.wall.push_back(milliseconds(clock));
        openssl.cpu.push_back(childrenCpuMs() - cpu);
        if (!update.succeeded()) {
            std::fprintf(stderr, "openssl ca -updatedb failed: %s\n", qPrintable(update.err));
            return 1;
        }
        // The same store for the authority: the index as the update left it, and in turns as it
        // stood before. A refresh follows an operation such as this update, which changed the lines
        // of the certificates that expired since (the authority keeps the rows of unchanged lines):
        // every later reading has those lines changed, and the first has no rows to keep.
        if (round == 0) {
            QFile updatedFile(dir + "/db_cert");
            if (!updatedFile.open(QIODevice::ReadOnly) || (updated = updatedFile.readAll()) == index) {
                std::fprintf(stderr, "the update changed no line\n");
                return 1;
            }
        }
        if (!writeIndex(dir + "/db_cert", round % 2 == 0 ? index : updated)) {
            return 1;
        }
        clock.restart();
        cpu = threadCpuMs();
        const bool read = authority.update(nullptr);
        // Painting lays the sorted rows out, as the event loop would once open returns; then the
        // user clicks the first row.
        tree->viewport()->repaint();
        tree->setCurrentItem(tree->topLevelItem(0));
        authority.changeCertificateInfo();
        shown.wall.push_back(milliseconds(clock));
        shown.cpu.push_back(threadCpuMs() - cpu);
        if (!read || tree->topLevelItemCount() != count + 1) {
            std::fprintf(stderr, "the authority read %d rows\n", tree->topLevelItemCount());
            return 1;
        }
    }
    authority.close(nullptr); // the tree would delete the rows it holds

    const double theirs = median(openssl.wall);
    const auto later = [](const std::vector<double>& values) {
        return median(std::vector<double>(values.begin() + 1, values.end()));
    };
    const double first = shown.wall.front();
    const double again = later(shown.wall);
    std::printf("%8d | %7.1f %7.1f | %7.1f %7.1f %5.2fx | %7.1f %7.1f %5.2fx | %6.2f us | %7.1f\n", count, theirs,
                median(openssl.cpu), first, shown.cpu.front(), first / theirs, again, later(shown.cpu), again / theirs,
                again * 1e3 / count, ownCertificate);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == kOneSize) {
        return measureOneSize(std::max(1, args[1].toInt()));
    }
    QStringList sizes = args;
    if (sizes.isEmpty()) {
        for (int count : kSizes) {
            sizes << QString::number(count);
        }
    }

    std::printf("Per size, %d rounds in which the two sides take turns on the same index (a third revoked,\n"
                "some expired). openssl: one stock \"openssl ca -updatedb\", median. CA: the index read into\n"
                "the certificate list and the main window's tree filled, sorted and painted: the first reading\n"
                "in its process, then the median of the later ones, and that per certificate. The later ones\n"
                "are refreshes: the index alternately as openssl's update left it and as it was, 1.3%% of its\n"
                "lines changed. Wall and CPU ms; the ratios are of wall times, against openssl's. Target: CA\n"
                "at most 2x openssl.\n"
                "Own cert: the tool's one reading of the authority's own certificate, wall ms, outside the\n"
                "readings.\n\n",
                kRounds);
    std::printf("%8s | %15s | %21s | %21s | %9s | %7s\n", "certs", "openssl", "CA first", "CA again", "CA each",
                "own cert");
    std::fflush(stdout);
    for (const QString& size : sizes) {
        // A process per size: its first reading starts from a heap that has held no index yet.
        const ToolRun run = runTool(QCoreApplication::applicationFilePath(), { kOneSize, size }, QDir::currentPath(),
                                    {}, std::chrono::minutes(30));
        std::printf("%s", qPrintable(run.out));
        std::fflush(stdout);
        if (!run.succeeded()) {
            std::fprintf(stderr, "%s", qPrintable(run.err));
            return 1;
        }
    }
    return 0;
}
