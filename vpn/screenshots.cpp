// morvil_vpn_screenshots OUTDIR: pictures of the VPN client's window with two connections (in a
// store of its own, made for the pictures and removed afterwards) and of the new-connection
// window being filled in, saved as OUTDIR/vpn-1-window.png and OUTDIR/vpn-2-new-connection.png.
#include "conf_file.h"
#include "connection_store.h"
#include "main_window.h"
#include "vpn_new_window.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool save(QWidget& widget, const QString& outDir, const char* name)
{
    widget.show();
    QApplication::processEvents();
    const QString path = QDir(outDir).filePath(QLatin1String(name));
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "morvil_vpn_screenshots: cannot save %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("out/screenshots");
    QTemporaryDir store;
    if (!QDir().mkpath(outDir) || !store.isValid() || !QDir::setCurrent(store.path())) {
        std::fprintf(stderr, "morvil_vpn_screenshots: no place for the pictures or the store\n");
        return 1;
    }
    const vpn::ConfHeader connections[] = {
        { QStringLiteral("Biuro Warszawa"), QStringLiteral("vpn.biuro.example.pl"), QStringLiteral("1194"),
          QStringLiteral("Demo/biuro") },
        { QStringLiteral("Dom"), QStringLiteral("10.8.0.1"), QStringLiteral("443"), QStringLiteral("Demo/dom") },
    };
    for (const vpn::ConfHeader& header : connections) {
        QString name;
        const QString error = vpn::createConnection(QDir::current(), { vpn::newConf(header, {}), "CA", "USER" }, name);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "morvil_vpn_screenshots: %s\n", qPrintable(error));
            return 1;
        }
    }
    MainWindow window;
    window.vpnList()->setCurrentRow(0);
    emit window.vpnList()->itemClicked(window.vpnList()->item(0));
    if (!save(window, outDir, "vpn-1-window.png")) {
        return 1;
    }
    VpnNewWindow dialog(&window);
    dialog.findChild<QLineEdit*>(QStringLiteral("morvilVpnName"))->setText(QStringLiteral("Filia Kraków"));
    dialog.findChild<QLineEdit*>(QStringLiteral("remoteVpnServer"))
        ->setText(QStringLiteral("vpn.filia.example.pl:1195"));
    dialog.findChild<QLineEdit*>(QStringLiteral("key"))->setText(QStringLiteral("Demo/filia"));
    return save(dialog, outDir, "vpn-2-new-connection.png") ? 0 : 1;
}
