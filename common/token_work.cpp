#include "token_work.h"

#include "guarded_work.h"

#include <QCursor>
#include <QGuiApplication>

namespace morvil {

void runTokenWork(const std::function<void()>& work)
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    runGuarded(work);
    QGuiApplication::restoreOverrideCursor();
}

} // namespace morvil
