#pragma once

#include "global_hot_key_backend.h"

#include <QKeyCombination>
#include <QMetaObject>
#include <QObject>

#include <functional>

// The program's one system-wide key, Super+Shift+V (Command-Shift-V on a
// Mac keyboard). Each press calls onHotKeyTriggered on the GUI thread.
// The desktop may grant the key later, re-assign it or take it away; the
// manager follows and says once, when the key is not to be had, how to
// bind the toggle command instead.
class HotKeyManager : public QObject
{
    Q_OBJECT
public:
    using GrabState = GlobalHotKeyBackend::GrabState;
    static constexpr QKeyCombination defaultCombination{Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V};

    explicit HotKeyManager(GlobalHotKeyBackend &backend, QObject *parent = nullptr);
    // Unregisters, then drops the callbacks.
    ~HotKeyManager() override;

    // Undoes any earlier registration, then listens for presses and asks
    // for the combination. Returns where the grab stands now: it may still
    // be pending, and without it the program runs on (the tray icon and
    // "tavorindle --toggle" still open the panel).
    GrabState registerDefaultHotKey();
    // Stops listening and releases the combination; a second call does nothing.
    void unregisterHotKey();
    bool isRegistered() const;
    GrabState grabState() const;

    // The line to show the user while the key is unavailable; empty otherwise.
    QString unavailableAdvice() const;

    // Read at each press, so it may be set before or after registering.
    std::function<void()> onHotKeyTriggered;
    // Called once each time the key becomes unavailable, at registration or
    // later, with unavailableAdvice().
    std::function<void(const QString &advice)> onUnavailable;

signals:
    void grabStateChanged(HotKeyManager::GrabState state);

private:
    void handlePressed();
    void handleStateChanged(GrabState state);

    GlobalHotKeyBackend &m_backend;
    QMetaObject::Connection m_pressHandler;
    QMetaObject::Connection m_stateHandler;
    bool m_registered = false;
};
