#pragma once

#include <QKeyCombination>
#include <QMetaObject>
#include <QObject>

#include <functional>

class GlobalHotKeyBackend;

// The program's one system-wide key, Super+Shift+V (Command-Shift-V on a
// Mac keyboard). Each press calls onHotKeyTriggered on the GUI thread.
class HotKeyManager : public QObject
{
    Q_OBJECT
public:
    static constexpr QKeyCombination defaultCombination{Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V};

    explicit HotKeyManager(GlobalHotKeyBackend &backend, QObject *parent = nullptr);
    // Unregisters, then drops the callback.
    ~HotKeyManager() override;

    // The process's manager over the desktop's global keys.
    static HotKeyManager &shared();

    // Undoes any earlier registration, then listens for presses and grabs
    // the combination. False when another program holds it: the program
    // runs on without the key (the tray icon still opens the panel).
    bool registerDefaultHotKey();
    // Stops listening and releases the combination; a second call does nothing.
    void unregisterHotKey();
    bool isRegistered() const;

    // Read at each press, so it may be set before or after registering.
    std::function<void()> onHotKeyTriggered;

private:
    void handlePressed();

    GlobalHotKeyBackend &m_backend;
    QMetaObject::Connection m_handler;
};
