#pragma once

#include "global_hot_key_backend.h"

#include <QList>

#include <optional>

// Records grabs; press() plays the user pressing the combination. A desktop
// that answers later is played with setAnswersLater() and settle().
class MemoryHotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    using GlobalHotKeyBackend::GlobalHotKeyBackend;

    GrabState grab(QKeyCombination combination) override
    {
        if (m_state == GrabState::Grabbed)
            ++m_ungrabs;
        m_grabs.append(combination);
        m_requested = combination;
        m_state = m_answersLater ? GrabState::Pending
                                 : (m_available ? GrabState::Grabbed : GrabState::Unavailable);
        return m_state;
    }
    void ungrab() override
    {
        if (m_state == GrabState::Grabbed)
            ++m_ungrabs;
        m_requested.reset();
        m_state = GrabState::Released;
    }
    GrabState grabState() const override { return m_state; }
    QString unavailableReason() const override
    {
        return m_state == GrabState::Unavailable ? QStringLiteral("refused") : QString();
    }

    // Whether later grabs succeed (false: another program holds the keys).
    void setAvailable(bool available) { m_available = available; }
    // Whether grab() leaves the answer pending until settle().
    void setAnswersLater(bool later) { m_answersLater = later; }
    // The desktop's later word on a request (or on a grab it held): the
    // grab arrives, is refused or is lost.
    void settle(GrabState state)
    {
        if (!m_requested || state == m_state)
            return;
        m_state = state;
        emit grabStateChanged(state);
    }
    // Delivers a press only while grabbed, as the desktop would.
    void press()
    {
        if (m_state == GrabState::Grabbed)
            emit pressed();
    }
    const QList<QKeyCombination> &grabs() const { return m_grabs; }
    std::optional<QKeyCombination> grabbedCombination() const
    {
        return m_state == GrabState::Grabbed ? m_requested : std::nullopt;
    }
    int ungrabs() const { return m_ungrabs; }

private:
    bool m_available = true;
    bool m_answersLater = false;
    GrabState m_state = GrabState::Released;
    std::optional<QKeyCombination> m_requested;
    QList<QKeyCombination> m_grabs;
    int m_ungrabs = 0;
};
