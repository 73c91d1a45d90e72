#include "qt_translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

void installQtTranslation(QTranslator& translator)
{
    const QString name = QStringLiteral("qt_pl");
    if (!translator.load(name)) {
        (void)translator.load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    QCoreApplication::installTranslator(&translator);
}
