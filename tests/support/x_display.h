// What reaches a program on a real X display from outside it: a user's keyboard and mouse, through
// xdotool and the XTest extension, and the close request a window manager sends. For tests run on
// a display of their own (tests/vpn/with_tray_host.sh).
#pragma once

#include <QPoint>
#include <QStringList>
#include <QWidget>

class QAbstractItemView;
class QModelIndex;

namespace morvil::test {

// Runs one xdotool command chain to its end; false when xdotool failed. The display takes the
// chain's requests in order, and all of them before xdotool ends, so the program receives their
// events in that order and before those of anything sent later.
bool xdotool(const QStringList& chain);

// Chain pieces: a left click at a point on the screen, and text typed into whatever has the focus
// (which takes the rest of its chain).
QStringList clickAt(QPoint global);
QStringList typed(const QString& text);

// Points on the screen, as xdotool takes them.
QPoint screenCentre(const QWidget* widget);
QPoint screenCentre(const QAbstractItemView* view, const QModelIndex& index);

// Sends `window` the WM_DELETE_WINDOW request that a window manager sends when the window's close
// button is clicked, and returns once the display has taken it.
bool requestClose(const QWidget& window);

// A small window of the test's own that marks a point in the stream of events the display sends
// the program: the display resizes it after everything requested before, so once it shows its new
// size, the program has received all of that. Qt handles resizes even while it holds user input
// back.
class Beacon : public QWidget
{
public:
    Beacon();
    // The chain piece that sets the next mark; append it to the chain whose events it follows.
    QStringList nextMark();
    bool markSeen() const;

private:
    int mMarks = 0;
};

} // namespace morvil::test
