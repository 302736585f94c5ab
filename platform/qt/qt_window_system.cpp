#include "qt/qt_window_system.h"

#include <QGuiApplication>
#include <QWindow>

WindowSystem::WindowId QtWindowSystem::activeWindow()
{
    const QWindow *focus = qGuiApp ? QGuiApplication::focusWindow() : nullptr;
    return focus ? focus->winId() : 0;
}

bool QtWindowSystem::isOwnWindow(WindowId window)
{
    if (window == 0 || !qGuiApp)
        return false;
    for (QWindow *own : QGuiApplication::topLevelWindows()) {
        if (own->handle() && own->winId() == window)
            return true;
    }
    return false;
}

void QtWindowSystem::activate(WindowId window)
{
    if (!qGuiApp)
        return;
    for (QWindow *own : QGuiApplication::topLevelWindows()) {
        if (own->handle() && own->winId() == window)
            own->requestActivate();
    }
}

std::optional<WindowSystem::WindowClass> QtWindowSystem::windowClass(WindowId)
{
    return std::nullopt;
}

void QtWindowSystem::hideOwnWindows()
{
    if (!qGuiApp)
        return;
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible())
            window->hide();
    }
}
