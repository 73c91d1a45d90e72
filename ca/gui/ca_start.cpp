#include "ca_start.h"

#include "authority_store.h"
#include "home_store.h"
#include "main_window.h"
#include "message_box.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>

int runCa()
{
    QTranslator translator;
    // Looked up beside the working directory at start; running untranslated is fine.
    (void)translator.load(QStringLiteral("qt_") + QLocale::system().name(), QString());
    QApplication::installTranslator(&translator);
    // Without its own store the program would take the home directory's folders for authorities
    // (and remove them on request): it stops instead.
    const QString home = QDir::homePath();
    if (!morvil::enterHomeStore(home, QLatin1String(kStoreDirName))) {
        morvil::box::critical(
            morvil::box::errorTitle(),
            QApplication::translate("MainWindow", "Nie można utworzyć ani otworzyć katalogu urzędów %1.")
                .arg(QDir::toNativeSeparators(QDir(home).filePath(QLatin1String(kStoreDirName)))));
        return 1;
    }
    morvil::ca::MainWindow window(nullptr);
    window.show();
    return QApplication::exec();
}
