// What the VPN client asks of the child that holds a connection: the program and its arguments, the
// line that says the tunnel is up, and how the child is ended.
#pragma once

#include "openvpn_tool_interface.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

namespace vpn {

// The output line that says the tunnel is up.
inline constexpr const char* kUpMarker = morvil::openvpn_tool::kUpAnnouncement;
// How long an ended child may take its tunnel down before it is killed outright: as long as it
// takes at most, or its private files stay behind.
inline constexpr int kStopGraceMs = morvil::openvpn_tool::kStopSeconds * 1000;

// How long a child killed outright is waited for: the kernel ends it at once, short of a hang in
// the kernel itself, which no waiting of ours would end.
inline constexpr int kKilledEndMs = 1000;

// bin/morvil_openvpn beside the running program.
QString openVpnProgram();
// The arguments, in order. The PIN goes to the child's standard input, never on its command line.
QStringList openVpnArguments();

// The child's output, read by read: reports a whole line that begins with the up marker on its
// standard output, however the reads split it. There the child writes nothing else; what it
// relays from openvpn, which quotes the server, comes on standard error and never counts.
class UpMarkerWatch
{
public:
    enum class Channel
    {
        Output,
        Error
    };
    // True when `data` completes a line of standard output that begins with the marker.
    bool feed(Channel channel, const QByteArray& data);
    void reset() { mLineStart.clear(); }

private:
    QByteArray mLineStart; // the start of standard output's last line, as long as the marker at most
};

// Has every child the process object starts get SIGTERM when this program dies, even killed
// outright: no tunnel outlives the client.
void endChildWithUs(QProcess& child);

// Asks a running child to end (SIGTERM, so it can take its tunnel down) and kills it when it has
// not ended after kStopGraceMs. The process object must outlive the grace time; `finished` follows.
void stopChild(QProcess& child);
// The same, waiting for the end: for the program's own exit. The wait blocks the window for at
// most kStopGraceMs and kKilledEndMs, and what the user does meanwhile is dropped.
void stopChildAndWait(QProcess& child);

} // namespace vpn
