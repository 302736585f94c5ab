#pragma once

#include "global_hot_key_backend.h"

// For desktops where no global key can be had: the user binds
// "tavorindle --toggle" in the desktop's shortcut settings.
class NoHotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    using GlobalHotKeyBackend::GlobalHotKeyBackend;
    GrabState grab(QKeyCombination) override
    {
        m_state = GrabState::Unavailable;
        return m_state;
    }
    void ungrab() override { m_state = GrabState::Released; }
    GrabState grabState() const override { return m_state; }
    QString unavailableReason() const override
    {
        return QStringLiteral("this desktop offers no global keys to programs");
    }

private:
    GrabState m_state = GrabState::Released;
};
