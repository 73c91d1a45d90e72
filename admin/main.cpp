// morvil_admin: the token administration program.
#include "main_window.h"
#include "qt_translation.h"

#include <QApplication>
#include <QTranslator>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTranslator translator;
    installQtTranslation(translator);
    MainWindow window;
    window.show();
    return app.exec();
}
