#pragma once

#include "global_hot_key_backend.h"
#include "x11/x11_connection.h"

#include <memory>
#include <optional>
#include <vector>

// A passive key grab on the root window over our own connection, made for
// every combination of the lock modifiers (Caps, Num and Scroll Lock) so
// that the key works whatever locks are on. Renewed when the keyboard
// mapping changes (a layout without the key loses the grab, and the grab
// comes back with a layout that has it); only presses count, auto-repeat
// does not.
class X11HotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    explicit X11HotKeyBackend(std::shared_ptr<X11Connection> connection, QObject *parent = nullptr);
    ~X11HotKeyBackend() override;

    GrabState grab(QKeyCombination combination) override;
    void ungrab() override;
    GrabState grabState() const override;
    QString unavailableReason() const override { return m_unavailableReason; }

private:
    struct Modifiers;
    Modifiers readModifiers() const;
    bool grabKeys();
    void releaseKeys();
    void handleEvent(X11Connection::XEvent &event);

    std::shared_ptr<X11Connection> m_connection;
    int m_handlerId = 0;
    int m_xkbEventBase = -1;
    std::optional<QKeyCombination> m_combination;
    QString m_unavailableReason;
    unsigned int m_keycode = 0;
    unsigned int m_modifiers = 0;
    unsigned int m_lockMask = 0;
    std::vector<unsigned int> m_grabbedModifiers;
    bool m_keyDown = false;
    unsigned long m_lastReleaseTime = 0;
};
