#include "x11/x11_window_system.h"

#include <QGuiApplication>
#include <QWindow>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

namespace {

std::optional<unsigned long> cardinalProperty(X11Connection &connection, Window window,
                                              Atom property, Atom type)
{
    X11ErrorTrap trap(connection);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(connection.display(), window, property, 0, 1, False, type,
                                          &actualType, &format, &count, &after, &data);
    std::optional<unsigned long> value;
    if (status == Success && data && actualType == type && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long *>(data);
    if (data)
        XFree(data);
    if (!trap.ok())
        return std::nullopt;
    return value;
}

} // namespace

X11WindowSystem::X11WindowSystem(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
}

WindowSystem::WindowId X11WindowSystem::activeWindow()
{
    return cardinalProperty(*m_connection, m_connection->rootWindow(),
                            m_connection->atom("_NET_ACTIVE_WINDOW"), XA_WINDOW)
        .value_or(0);
}

bool X11WindowSystem::isOwnWindow(WindowId window)
{
    if (window == 0)
        return false;
    if (qGuiApp) {
        for (QWindow *own : QGuiApplication::topLevelWindows()) {
            if (own->handle() && own->winId() == window)
                return true;
        }
    }
    const auto pid = cardinalProperty(*m_connection, window, m_connection->atom("_NET_WM_PID"),
                                      XA_CARDINAL);
    if (!pid || *pid != static_cast<unsigned long>(getpid()))
        return false;
    // A pid means this process only on this machine.
    X11ErrorTrap trap(*m_connection);
    XTextProperty machine{};
    bool sameHost = true;
    if (XGetWMClientMachine(m_connection->display(), window, &machine) && machine.value) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        sameHost = QByteArray(reinterpret_cast<const char *>(machine.value), int(machine.nitems))
                   == QByteArray(host);
        XFree(machine.value);
    }
    return trap.ok() && sameHost;
}

void X11WindowSystem::activate(WindowId window)
{
    if (window == 0)
        return;
    Display *display = m_connection->display();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = m_connection->atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // source: a pager, which window managers obey
    event.xclient.data.l[1] = long(m_connection->serverTime());
    event.xclient.data.l[2] = long(activeWindow());
    X11ErrorTrap trap(*m_connection);
    XSendEvent(display, m_connection->rootWindow(), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

std::optional<WindowSystem::WindowClass> X11WindowSystem::windowClass(WindowId window)
{
    if (window == 0)
        return std::nullopt;
    X11ErrorTrap trap(*m_connection);
    XClassHint hint{};
    const Status status = XGetClassHint(m_connection->display(), window, &hint);
    std::optional<WindowClass> result;
    if (status) {
        result = WindowClass{QString::fromLocal8Bit(hint.res_name ? hint.res_name : ""),
                             QString::fromLocal8Bit(hint.res_class ? hint.res_class : "")};
    }
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    if (!trap.ok())
        return std::nullopt;
    return result;
}

void X11WindowSystem::hideOwnWindows()
{
    if (!qGuiApp)
        return;
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible())
            window->hide();
    }
}

void X11WindowSystem::requestBlurBehind(WindowId window)
{
    if (window == 0)
        return;
    // An empty region means the whole window; compositors that know the
    // property blur behind it, the others ignore it.
    X11ErrorTrap trap(*m_connection);
    XChangeProperty(m_connection->display(), window, m_connection->atom("_KDE_NET_WM_BLUR_BEHIND_REGION"),
                    XA_CARDINAL, 32, PropModeReplace, nullptr, 0);
    XFlush(m_connection->display());
}

bool X11WindowSystem::compositorActive()
{
    // A compositing manager owns the _NET_WM_CM_S<screen> selection.
    Display *display = m_connection->display();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    return XGetSelectionOwner(display, m_connection->atom(name.constData())) != None;
}
