#pragma once

#include "window_system.h"

#include <QHash>
#include <QList>
#include <QSet>

// A pretend desktop: windows with classes, one of them active. activate()
// makes a known window active and is recorded.
class MemoryWindowSystem final : public WindowSystem
{
public:
    WindowId activeWindow() override { return m_active; }
    bool isOwnWindow(WindowId window) override { return m_own.contains(window); }
    void activate(WindowId window) override
    {
        if (window == 0)
            return;
        m_activations.append(window);
        if (m_classes.contains(window) || m_own.contains(window))
            m_active = window;
    }
    std::optional<WindowClass> windowClass(WindowId window) override
    {
        const auto it = m_classes.constFind(window);
        if (it == m_classes.constEnd())
            return std::nullopt;
        return *it;
    }
    void hideOwnWindows() override
    {
        ++m_hides;
        if (m_own.contains(m_active))
            m_active = 0;
    }

    void requestBlurBehind(WindowId window) override { m_blurred.append(window); }
    bool compositorActive() override { return m_compositing; }
    void setCompositorActive(bool active) { m_compositing = active; }

    void addWindow(WindowId window, WindowClass windowClass, bool own = false)
    {
        m_classes.insert(window, std::move(windowClass));
        if (own)
            m_own.insert(window);
    }
    void setActiveWindow(WindowId window) { m_active = window; }
    const QList<WindowId> &activations() const { return m_activations; }
    int hides() const { return m_hides; }
    const QList<WindowId> &blurRequests() const { return m_blurred; }

private:
    WindowId m_active = 0;
    QHash<WindowId, WindowClass> m_classes;
    QSet<WindowId> m_own;
    QList<WindowId> m_activations;
    int m_hides = 0;
    QList<WindowId> m_blurred;
    bool m_compositing = true;
};
