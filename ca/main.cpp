// morvil_ca: the certificate authority on a token. Its store is ~/.morvil_ca, which is the working
// directory while it runs: every authority's directory lies directly in it.
#include "main_window.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTranslator>

using morvil::ca::MainWindow;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTranslator translator;
    // Looked up beside the working directory at start; running untranslated is fine.
    (void)translator.load(QStringLiteral("qt_") + QLocale::system().name(), QString());
    QApplication::installTranslator(&translator);
    QDir::setCurrent(QDir::homePath());
    if (!QDir(QStringLiteral(".morvil_ca")).exists()) {
        QDir::current().mkdir(QStringLiteral(".morvil_ca"));
    }
    QDir::setCurrent(QDir::currentPath() + QStringLiteral("/.morvil_ca"));
    MainWindow window(nullptr);
    window.show();
    return QApplication::exec();
}
