#include "openvpn_child.h"

#include "input_guard.h"

#include <QCoreApplication>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstring>

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
    if (channel != Channel::Output) {
        return false;
    }
    const qsizetype markerSize = static_cast<qsizetype>(std::strlen(kUpMarker));
    bool found = false;
    qsizetype start = 0;
    for (;;) {
        const qsizetype newline = data.indexOf('\n', start);
        const qsizetype end = newline < 0 ? data.size() : newline;
        // Of a line only its start can hold the marker.
        mLineStart += data.mid(start, std::min(end - start, markerSize - mLineStart.size()));
        if (newline < 0) {
            return found;
        }
        found = found || mLineStart == kUpMarker;
        mLineStart.clear();
        start = newline + 1;
    }
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
    const morvil::InputGuard guard;
    child.terminate();
    if (!child.waitForFinished(kStopGraceMs)) {
        child.kill();
        child.waitForFinished(kKilledEndMs);
    }
}

} // namespace vpn
