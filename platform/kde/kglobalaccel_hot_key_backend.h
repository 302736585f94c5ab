#pragma once

#include "global_hot_key_backend.h"

#include <QDBusConnection>
#include <QList>
#include <QStringList>

class QDBusPendingCall;

// The global key through KDE's own shortcut service, org.kde.kglobalaccel
// on the session bus (inside KWin on Plasma Wayland, a daemon of its own
// on X11). One component for our desktop entry with one action. The key
// asked for is the action's default and becomes its key the first time;
// after that the key the user set in System Settings is kept and reported
// (an empty one leaves the action without a key). Presses come as the
// component's globalShortcutPressed signal.
class KGlobalAccelHotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    static constexpr char service[] = "org.kde.kglobalaccel";
    static constexpr char componentName[] = "tavorindle";
    static constexpr char actionName[] = "Toggle";

    explicit KGlobalAccelHotKeyBackend(QDBusConnection bus, QObject *parent = nullptr);
    ~KGlobalAccelHotKeyBackend() override;

    GrabState grab(QKeyCombination combination) override;
    void ungrab() override;
    GrabState grabState() const override { return m_state; }
    QString triggerDescription() const override { return m_trigger; }
    QString unavailableReason() const override { return m_reason; }

    // Whether the service runs or the bus can start it.
    static bool isPresent(const QDBusConnection &bus);
    // Component, action, and their names as System Settings shows them.
    static QStringList actionId();

private slots:
    void onPressed(const QString &component, const QString &action, qlonglong timestamp);
    void onKeysChanged(const QStringList &actionId, const QList<int> &keys);

private:
    // Calls a method of the service's main object; done gets the reply
    // unless the grab it belongs to was replaced meanwhile.
    void call(const QString &method, const QList<QVariant> &arguments,
              std::function<void(const QDBusPendingCall &)> done);
    void fail(const QString &what, const QDBusPendingCall &reply);
    void takeKeys(const QList<int> &keys);
    void listenTo(const QString &componentPath);
    void stopListening();
    void settle(GrabState state, const QString &reason = {});

    QDBusConnection m_bus;
    GrabState m_state = GrabState::Released;
    QString m_trigger;
    QString m_reason;
    QString m_componentPath;
    // Replies to an earlier grab answer into nothing.
    quint64 m_generation = 0;
};
