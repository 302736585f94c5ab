#pragma once

#include "gnome/bridge_messages.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <memory>

class QDBusServiceWatcher;
class BridgeEndpoint;

// The program's end of the GNOME Shell bridge. It owns the program's bus
// name and takes calls only from the process that owns the bridge's name,
// once that is known to be this user's shell; it calls only that process,
// by its unique name. It exports nothing that hands out the clipboard.
class GnomeBridge : public QObject
{
    Q_OBJECT
public:
    // Whether the owner of the bridge's name (a unique name) may be trusted.
    using PeerCheck = std::function<bool(const QDBusConnection &bus, const QString &uniqueName)>;

    // By default the owner must be a process of this user running gnome-shell.
    explicit GnomeBridge(QDBusConnection bus, PeerCheck check = {}, QObject *parent = nullptr);
    ~GnomeBridge() override;

    // Whether the program's name could be had (another process may hold it).
    bool ownsProgramName() const { return m_ownsName; }
    // A trusted bridge is there and has accepted us (it checks who we are
    // before it says anything, and refuses calls until then).
    bool isConnected() const { return !m_bridge.isEmpty() && m_greeted; }

    // Someone owns the bridge's name on the bus, trusted or not.
    static bool bridgePresent(const QDBusConnection &bus);
    static bool isUsersShell(const QDBusConnection &bus, const QString &uniqueName);

    // With onlyIfUnowned the shell refuses when anything owns the clipboard.
    void setClipboard(quint64 token, const QString &text, bool onlyIfUnowned, std::function<void(bool ok)> done);
    // Asks the shell to write the text of change `serial` into the pipe
    // (its write end); `done` tells whether the shell finished the transfer.
    void readText(quint64 serial, int writeFd, std::function<void(bool complete)> done);
    void postPasteStroke(const QString &stroke);
    void activateWindow(quint64 window);
    void setHotKeyEnabled(bool enabled, std::function<void(bool bound, QStringList accelerators)> done);

signals:
    // A trusted bridge appeared (true) or went away (false).
    void connectionChanged(bool connected);
    void clipboardChanged(const BridgeClipboardChange &change);
    void focusChanged(const BridgeFocus &focus);
    void hotKeyPressed();
    void hotKeyChanged(const QStringList &accelerators);

private:
    friend class BridgeEndpoint;
    void ownerChanged(const QString &owner);
    bool admit(const QString &sender);
    void call(const QString &method, const QVariantList &arguments,
              std::function<void(const class QDBusMessage &reply)> done = {});

    QDBusConnection m_bus;
    PeerCheck m_check;
    std::unique_ptr<BridgeEndpoint> m_endpoint;
    QDBusServiceWatcher *m_watcher = nullptr;
    QString m_bridge;
    bool m_ownsName = false;
    bool m_greeted = false;
};
