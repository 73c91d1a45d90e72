#include "ca_start.h"

#include "main_window.h"

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
    QDir::setCurrent(QDir::homePath());
    if (!QDir(QStringLiteral(".morvil_ca")).exists()) {
        QDir::current().mkdir(QStringLiteral(".morvil_ca"));
    }
    QDir::setCurrent(QDir::currentPath() + QStringLiteral("/.morvil_ca"));
    morvil::ca::MainWindow window(nullptr);
    window.show();
    return QApplication::exec();
}
