#pragma once

#include "global_hot_key_backend.h"
#include "x11/x11_connection.h"

#include <memory>
#include <optional>
#include <vector>

// A passive key grab on the root window over our own connection, made for
// every combination of the lock modifiers (Caps, Num and Scroll Lock) so
// that the key works whatever locks are on. Renewed when a mapping change
// moves the key or its modifiers (a layout without the key loses the grab,
// and the grab comes back with a layout that has it), and only then; only
// presses count, auto-repeat does not.
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
    // The key code and modifier variants the combination needs under the
    // current mapping.
    struct Keys
    {
        unsigned int keycode = 0;
        unsigned int modifiers = 0;
        unsigned int lockMask = 0;
        std::vector<unsigned int> variants;
        bool operator==(const Keys &) const = default;
    };
    Modifiers readModifiers() const;
    std::optional<Keys> keysFor(QKeyCombination combination);
    bool grabKeys();
    void releaseKeys();
    void handleEvent(X11Connection::XEvent &event);

    std::shared_ptr<X11Connection> m_connection;
    int m_handlerId = 0;
    int m_xkbEventBase = -1;
    std::optional<QKeyCombination> m_combination;
    QString m_unavailableReason;
    std::optional<Keys> m_grabbed;
    bool m_keyDown = false;
    unsigned long m_lastReleaseTime = 0;
};
