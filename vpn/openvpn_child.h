// What the VPN client asks of the child that holds a connection: the program and its arguments, the
// line that says the tunnel is up, and how the child is ended.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QProcess;

namespace vpn {

// The output line that says the tunnel is up.
inline constexpr char kUpMarker[] = "Initialization Sequence Completed";
// How long an ended child may take its tunnel down before it is killed outright.
inline constexpr int kStopGraceMs = 5000;

// bin/morvil_openvpn beside the running program.
QString openVpnProgram();
// The arguments, in order. The PIN goes to the child's standard input, never on its command line.
QStringList openVpnArguments();

// The child's output, both channels, read by read: reports the first whole line that holds the up
// marker, however the reads split it.
class UpMarkerWatch
{
public:
    enum class Channel
    {
        Output,
        Error
    };
    // True when `data` completes a line holding the marker.
    bool feed(Channel channel, const QByteArray& data);
    void reset();

private:
    QByteArray mPartial[2]; // each channel's text after its last newline
};

// Has every child the process object starts get SIGTERM when this program dies, even killed
// outright: no tunnel outlives the client.
void endChildWithUs(QProcess& child);

// Asks a running child to end (SIGTERM, so it can take its tunnel down) and kills it when it has
// not ended after kStopGraceMs. The process object must outlive the grace time; `finished` follows.
void stopChild(QProcess& child);
// The same, waiting for the end: for the program's own exit.
void stopChildAndWait(QProcess& child);

} // namespace vpn
