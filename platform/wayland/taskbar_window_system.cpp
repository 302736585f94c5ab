#include "wayland/taskbar_window_system.h"

#include "qt/qt_window_system.h"
#include "wayland/wayland_connection.h"

#include <QBackingStore>

TaskbarWindowSystem::TaskbarWindowSystem(std::shared_ptr<WaylandConnection> connection,
                                         QStringList ownAppIds)
    : m_connection(std::move(connection))
    , m_ownAppIds(std::move(ownAppIds))
{
}

TaskbarWindowSystem::~TaskbarWindowSystem()
{
    m_windows.clear();
    m_connection->flush();
}

TaskbarWindowSystem::Window &TaskbarWindowSystem::add(std::unique_ptr<Window> window)
{
    window->id = m_nextId++;
    Window &added = *window;
    m_windows.emplace(added.id, std::move(window));
    return added;
}

TaskbarWindowSystem::Window *TaskbarWindowSystem::find(WindowId window)
{
    const auto it = m_windows.find(window);
    return it == m_windows.end() ? nullptr : it->second.get();
}

void TaskbarWindowSystem::forget(WindowId window)
{
    m_windows.erase(window);
}

bool TaskbarWindowSystem::hasOwnAppId(const Window &window) const
{
    return m_ownAppIds.contains(window.appId, Qt::CaseInsensitive);
}

WindowSystem::WindowId TaskbarWindowSystem::activeWindow()
{
    for (const auto &[id, window] : m_windows) {
        if (window->active)
            return id;
    }
    return 0;
}

std::optional<WindowSystem::WindowClass> TaskbarWindowSystem::windowClass(WindowId window)
{
    const Window *w = find(window);
    if (!w)
        return std::nullopt;
    // An app id is the nearest thing to an X11 class; through XWayland it is one.
    return WindowClass{w->appId, w->appId};
}

void TaskbarWindowSystem::prepareBuffer(QBackingStore &store, const QSize &size)
{
    // The buffer is shared memory of ours that lasts while the window is
    // hidden, whether Qt draws through Wayland or through XWayland; a first
    // paint into it now takes its making and first writing off the first
    // show. (Unlike under picom or Mutter, later shows through sway's
    // XWayland measured no slower for it.)
    store.resize(size);
    store.beginPaint(QRect(QPoint(), size));
    // Qt clears a new buffer at its first paint in some versions only (6.4
    // does, 6.8 does not).
    writeBuffer(store);
    store.endPaint();
}

void TaskbarWindowSystem::hideOwnWindows()
{
    QtWindowSystem().hideOwnWindows();
}
