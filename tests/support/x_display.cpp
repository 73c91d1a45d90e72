#include "x_display.h"

#include <QAbstractItemView>
#include <QProcess>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace morvil::test {
namespace {

constexpr int kBeaconHeight = 40;
constexpr int kBeaconBaseWidth = 100;

// Each mark a width of its own, so that no mark is taken for an earlier one.
int beaconWidth(int mark)
{
    return kBeaconBaseWidth + mark * 4;
}

struct XcbDisconnect
{
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply != nullptr ? reply->atom : xcb_atom_t { XCB_ATOM_NONE };
    std::free(reply);
    return result;
}

} // namespace

bool xdotool(const QStringList& chain)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("xdotool"), chain);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QStringList clickAt(QPoint global)
{
    return { QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y()),
             QStringLiteral("click"), QStringLiteral("1") };
}

QStringList typed(const QString& text)
{
    return { QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("0"), text };
}

QPoint screenCentre(const QWidget* widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

QPoint screenCentre(const QAbstractItemView* view, const QModelIndex& index)
{
    return view->viewport()->mapToGlobal(view->visualRect(index).center());
}

bool requestClose(const QWidget& window)
{
    const Connection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()) != 0) {
        return false;
    }
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = static_cast<xcb_window_t>(window.winId());
    message.type = atom(connection.get(), "WM_PROTOCOLS");
    message.data.data32[0] = atom(connection.get(), "WM_DELETE_WINDOW");
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection.get(), 0, message.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&message));
    // A round trip: the display has handled the request once it answers.
    std::free(xcb_get_input_focus_reply(connection.get(), xcb_get_input_focus(connection.get()), nullptr));
    return xcb_connection_has_error(connection.get()) == 0;
}

Beacon::Beacon()
{
    setWindowTitle(QStringLiteral("beacon"));
    // Off the program's windows, in the screen's corner.
    setGeometry(780, 700, beaconWidth(0), kBeaconHeight);
}

QStringList Beacon::nextMark()
{
    ++mMarks;
    return { QStringLiteral("windowsize"), QString::number(winId()), QString::number(beaconWidth(mMarks)),
             QString::number(kBeaconHeight) };
}

bool Beacon::markSeen() const
{
    return width() == beaconWidth(mMarks);
}

} // namespace morvil::test
