#include "road_pictures.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace morvil::road {

Pictures::Pictures(QString dir)
    : mDir(std::move(dir))
{
    if (!mDir.isEmpty() && !QDir().mkpath(mDir)) {
        mFailures << mDir;
    }
}

void Pictures::take(QWidget* window, const char* program, const char* stage)
{
    if (mDir.isEmpty()) {
        return;
    }
    // Pending layouts and repaints first, so the picture shows what the step left.
    QApplication::processEvents();
    const QString path = QDir(mDir).filePath(QStringLiteral("road-%1-%2-%3.png")
                                                 .arg(++mTaken, 2, 10, QLatin1Char('0'))
                                                 .arg(QLatin1String(program), QLatin1String(stage)));
    if (!window->grab().save(path)) {
        mFailures << path;
    }
}

} // namespace morvil::road
