#pragma once

#include "global_hot_key_backend.h"

#include <QList>

#include <optional>

// Records grabs; press() plays the user pressing the combination.
class MemoryHotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    using GlobalHotKeyBackend::GlobalHotKeyBackend;

    bool grab(QKeyCombination combination) override
    {
        m_grabbed.reset();
        m_grabs.append(combination);
        if (!m_available)
            return false;
        m_grabbed = combination;
        return true;
    }
    void ungrab() override
    {
        if (m_grabbed)
            ++m_ungrabs;
        m_grabbed.reset();
    }
    bool isGrabbed() const override { return m_grabbed.has_value(); }

    // Whether later grabs succeed (false: another program holds the keys).
    void setAvailable(bool available) { m_available = available; }
    // Delivers a press only while grabbed, as the desktop would.
    void press()
    {
        if (m_grabbed)
            emit pressed();
    }
    const QList<QKeyCombination> &grabs() const { return m_grabs; }
    std::optional<QKeyCombination> grabbedCombination() const { return m_grabbed; }
    int ungrabs() const { return m_ungrabs; }

private:
    bool m_available = true;
    std::optional<QKeyCombination> m_grabbed;
    QList<QKeyCombination> m_grabs;
    int m_ungrabs = 0;
};
