#pragma once

#include "global_hot_key_backend.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>

#include <functional>

class QDBusMessage;

// The global key through the desktop portal's GlobalShortcuts interface
// (Wayland desktops whose portal offers it: KDE Plasma, Hyprland, GNOME 48).
// One session with a fixed handle token and one shortcut, "toggle", with
// the combination asked for as its preferred trigger. Every answer comes
// later, and the desktop may ask the user to assign the key first: grab()
// returns Pending, and the grab arrives, is refused, changes or is lost
// through grabStateChanged(). Only Activated signals for our own session
// count as presses.
class PortalHotKeyBackend final : public GlobalHotKeyBackend
{
    Q_OBJECT
public:
    static constexpr char shortcutId[] = "toggle";

    explicit PortalHotKeyBackend(QDBusConnection bus, QObject *parent = nullptr);
    ~PortalHotKeyBackend() override;

    GrabState grab(QKeyCombination combination) override;
    void ungrab() override;
    GrabState grabState() const override { return m_state; }
    QString triggerDescription() const override { return m_trigger; }
    QString unavailableReason() const override { return m_reason; }

    // The portal's trigger syntax: "LOGO+SHIFT+v".
    static QString preferredTrigger(QKeyCombination combination);

private slots:
    void onActivated(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                     const QVariantMap &options);
    void onShortcutsChanged(const QDBusMessage &message);
    void onSessionClosed(const QVariantMap &details);

private:
    void createSession();
    void bindShortcut();
    // Calls a portal method that answers through a Request object's Response.
    void request(const QString &method, QList<QVariant> arguments, const QString &token,
                 std::function<void(uint response, const QVariantMap &results)> done);
    void takeShortcuts(const QVariant &shortcuts);
    void settle(GrabState state, const QString &reason = {});
    void closeSession();
    QString requestPath(const QString &token) const;

    QDBusConnection m_bus;
    GrabState m_state = GrabState::Released;
    QKeyCombination m_combination;
    QString m_sessionPath;
    QString m_trigger;
    QString m_reason;
    // Requests of an earlier grab answer into nothing.
    quint64 m_generation = 0;
    quint64 m_nextToken = 0;
};
