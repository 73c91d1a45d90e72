#include "openvpn_child.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace vpn {

QString openVpnProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/morvil_openvpn");
}

QStringList openVpnArguments()
{
    return { QStringLiteral("--config"),     QStringLiteral("conf"),
             QStringLiteral("--dev"),        QStringLiteral("tun"),
             QStringLiteral("--float"),      QStringLiteral("--pull"),
             QStringLiteral("--tls-client"), QStringLiteral("--engkey"),
             QStringLiteral("--engine"),     QStringLiteral("dev_zr40nn:log_file:log") };
}

bool UpMarkerWatch::feed(Channel channel, const QByteArray& data)
{
    // A line is kept whole up to this length; of a longer one only its end, where a marker could
    // still begin. openvpn's lines are far shorter.
    constexpr qsizetype kLongestLine = 64 * 1024;
    QByteArray& partial = mPartial[channel == Channel::Output ? 0 : 1];
    partial += data;
    const qsizetype lastNewline = partial.lastIndexOf('\n');
    if (lastNewline < 0) {
        if (partial.size() > kLongestLine) {
            partial.remove(0, partial.size() - static_cast<qsizetype>(sizeof(kUpMarker)));
        }
        return false;
    }
    const bool found = partial.left(lastNewline).contains(kUpMarker);
    partial.remove(0, lastNewline + 1);
    return found;
}

void UpMarkerWatch::reset()
{
    mPartial[0].clear();
    mPartial[1].clear();
}

void endChildWithUs(QProcess& child)
{
    const pid_t parent = getpid();
    // Runs in the child between fork and exec.
    child.setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127); // we died before the signal was armed
        }
    });
}

void stopChild(QProcess& child)
{
    if (child.state() == QProcess::NotRunning) {
        return;
    }
    child.terminate();
    // Only this run's child: a later connection's must not be killed by an old timer.
    const qint64 pid = child.processId();
    QTimer::singleShot(kStopGraceMs, &child, [process = QPointer<QProcess>(&child), pid] {
        if (process && process->state() != QProcess::NotRunning && process->processId() == pid) {
            process->kill();
        }
    });
}

void stopChildAndWait(QProcess& child)
{
    if (child.state() == QProcess::NotRunning) {
        return;
    }
    child.terminate();
    if (!child.waitForFinished(kStopGraceMs)) {
        child.kill();
        child.waitForFinished(kStopGraceMs);
    }
}

} // namespace vpn
