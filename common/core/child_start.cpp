#include "child_start.h"

#include "input_guard.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace morvil {

bool startChild(QProcess& child, const QString& program, const QStringList& args, std::chrono::milliseconds limit)
{
    bool started = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&child, &QProcess::started, &loop, [&] {
        started = true;
        loop.quit();
    });
    // A start that fails ends in NotRunning, reported or not through FailedToStart.
    QObject::connect(&child, &QProcess::stateChanged, &loop, [&](QProcess::ProcessState state) {
        if (state == QProcess::NotRunning) {
            loop.quit();
        }
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    child.start(program, args, QIODevice::ReadWrite);
    if (child.state() == QProcess::Starting && !started) {
        timer.start(limit);
        InputGuard guard;
        loop.exec();
    }
    return started || child.state() == QProcess::Running;
}

} // namespace morvil
