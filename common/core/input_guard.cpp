#include "input_guard.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace morvil {
namespace {

// What the user does through keyboard, mouse, wheel, touch screen, tablet and input method, and
// what Qt makes of it (shortcuts, context menus, gestures, drag and drop). Enter, leave and hover
// stay: they only highlight.
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::GestureOverride:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

class InputFilter : public QObject
{
public:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (isUserInput(event->type())) {
            return true;
        }
        // The window manager's close request (the close button) reaches a top-level widget as a
        // spontaneous close event; the program's own close() sends one that is not. Ignored, the
        // window stays open.
        if (event->type() == QEvent::Close && event->spontaneous() && receiver->isWidgetType()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

} // namespace

InputGuard::InputGuard()
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        mFilter = std::make_unique<InputFilter>();
        app->installEventFilter(mFilter.get());
    }
}

InputGuard::~InputGuard()
{
    if (mFilter == nullptr) {
        return;
    }
    // Input that came in just before the wait ended may sit in Qt's queues still; handed out
    // under the filter, it goes, instead of reaching the widgets once the filter is gone.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->removeEventFilter(mFilter.get());
    }
}

} // namespace morvil
