// morvil_admin: the token administration program.
#include "main_window.h"
#include "qt_translation.h"

#include <QApplication>
#include <QTranslator>

using morvil::admin::MainWindow;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTranslator translator;
    installQtTranslation(translator);
    MainWindow window;
    window.show();
    return app.exec();
}
