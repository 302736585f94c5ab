#pragma once

#include "global_hot_key_backend.h"

// For desktops where we cannot grab keys ourselves (native Wayland): the
// user binds "tavorindle --toggle" in the desktop's shortcut settings.
class NoHotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    using GlobalHotKeyBackend::GlobalHotKeyBackend;
    bool grab(QKeyCombination) override { return false; }
    void ungrab() override {}
    bool isGrabbed() const override { return false; }
};
