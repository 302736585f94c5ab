#include "gnome/gnome_window_system.h"

#include "gnome/gnome_bridge.h"
#include "qt/qt_window_system.h"

#include <unistd.h>

namespace {
// Enough to remember the window before the panel long after it lost the focus.
constexpr int maxKnownWindows = 64;
} // namespace

GnomeWindowSystem::GnomeWindowSystem(std::shared_ptr<GnomeBridge> bridge)
    : m_bridge(std::move(bridge))
{
    QObject::connect(m_bridge.get(), &GnomeBridge::focusChanged, m_bridge.get(),
                     [this](const BridgeFocus &focus) { onFocus(focus); });
}

void GnomeWindowSystem::onFocus(const BridgeFocus &focus)
{
    m_active = focus.window;
    if (focus.window == 0)
        return;
    if (m_known.size() >= maxKnownWindows && !m_known.contains(focus.window))
        m_known.clear();
    m_known.insert(focus.window, focus);
}

bool GnomeWindowSystem::isOwnWindow(WindowId window)
{
    const auto it = m_known.constFind(window);
    return it != m_known.constEnd() && it->pid == ::getpid();
}

void GnomeWindowSystem::activate(WindowId window)
{
    if (window != 0)
        m_bridge->activateWindow(window);
}

std::optional<WindowSystem::WindowClass> GnomeWindowSystem::windowClass(WindowId window)
{
    const auto it = m_known.constFind(window);
    if (it == m_known.constEnd())
        return std::nullopt;
    return WindowClass{it->wmClassInstance, it->wmClass};
}

void GnomeWindowSystem::hideOwnWindows()
{
    QtWindowSystem().hideOwnWindows();
}
