#include "vpn_start.h"

#include "connection_store.h"
#include "main_window.h"
#include "message_box.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QSystemTrayIcon>
#include <QTranslator>

int runVpnClient()
{
    // The program lives in the tray; without one it could not be reached once its window closed.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        morvil::box::critical(
            QApplication::translate("MainWindow", "Morvil VPN"),
            QApplication::translate("MainWindow", "Nie można uruchomić tego programu w pasku zadań."));
        return 1;
    }
    QTranslator translator;
    if (!translator.load(QStringLiteral("qt_pl"))) {
        (void)translator.load(QStringLiteral("qt_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    QApplication::installTranslator(&translator);

    // Without its own store the program would take the home directory's folders for connections
    // (and delete their files): it stops instead.
    const QString error = vpn::enterStore(QDir::homePath());
    if (!error.isEmpty()) {
        morvil::box::critical(morvil::box::errorTitle(), error);
        return 1;
    }
    MainWindow window;
    window.show();
    return QApplication::exec();
}
