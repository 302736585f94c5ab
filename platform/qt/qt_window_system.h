#pragma once

#include "window_system.h"

// Where there is no X11: only our own windows are known. Other programs'
// windows are out of reach, so there is nothing to give the focus back to.
class QtWindowSystem final : public WindowSystem
{
public:
    WindowId activeWindow() override;
    bool isOwnWindow(WindowId window) override;
    void activate(WindowId window) override;
    std::optional<WindowClass> windowClass(WindowId window) override;
    void hideOwnWindows() override;
    void requestBlurBehind(WindowId) override {}
    bool compositorActive() override { return true; }
};
