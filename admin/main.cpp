// morvil_admin: the token administration program.
#include "main_window.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Qt's own Polish texts (standard buttons and dialogs): from the working directory first,
    // else from Qt's installed translations. Installed whether or not one was found.
    QTranslator translator;
    if (!translator.load(QStringLiteral("qt_pl"))) {
        (void)translator.load(QStringLiteral("qt_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    app.installTranslator(&translator);
    MainWindow window;
    window.show();
    return app.exec();
}
