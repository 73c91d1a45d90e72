#include "home_store.h"

#include <QDir>
#include <QFileInfo>

namespace morvil {

bool enterHomeStore(const QString& home, const QString& name)
{
    const QDir dir(home);
    const QString path = dir.filePath(name);
    return (QFileInfo(path).isDir() || dir.mkdir(name)) && QDir::setCurrent(path);
}

} // namespace morvil
