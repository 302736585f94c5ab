#include "x11/x11_owner_quit_watch.h"

#include "x11/x11_connection.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

X11OwnerQuitWatch::X11OwnerQuitWatch(std::shared_ptr<X11Connection> connection, QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
    Display *display = m_connection->display();
    int eventBase = 0;
    int errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase))
        return;
    int major = 5;
    int minor = 0;
    XFixesQueryVersion(display, &major, &minor);
    const unsigned long clipboard = m_connection->atom("CLIPBOARD");
    XFixesSelectSelectionInput(display, m_connection->rootWindow(), clipboard,
                               XFixesSelectionWindowDestroyNotifyMask | XFixesSelectionClientCloseNotifyMask);
    m_handlerId = m_connection->addEventHandler([this, eventBase, clipboard](XEvent &event) {
        if (event.type != eventBase + XFixesSelectionNotify)
            return;
        const auto &notify = reinterpret_cast<const XFixesSelectionNotifyEvent &>(event);
        if (notify.selection == clipboard && notify.window == m_connection->rootWindow()
            && notify.subtype != XFixesSetSelectionOwnerNotify)
            emit ownerQuit();
    });
    m_connection->flush();
}

X11OwnerQuitWatch::~X11OwnerQuitWatch()
{
    if (!m_handlerId)
        return;
    m_connection->removeEventHandler(m_handlerId);
    XFixesSelectSelectionInput(m_connection->display(), m_connection->rootWindow(),
                               m_connection->atom("CLIPBOARD"), 0);
    m_connection->flush();
}
