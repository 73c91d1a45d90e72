#include "guarded_work.h"

#include "input_guard.h"

#include <QEventLoop>
#include <QThread>

#include <memory>

namespace morvil {

void waitGuarded(QThread& worker)
{
    // `finished` is queued to this thread, so the loop takes it even when the work is over before
    // the loop runs.
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker.start();
    {
        InputGuard guard;
        loop.exec();
    }
    worker.wait();
}

void runGuarded(const std::function<void()>& work)
{
    const std::unique_ptr<QThread> worker(QThread::create(work));
    waitGuarded(*worker);
}

} // namespace morvil
