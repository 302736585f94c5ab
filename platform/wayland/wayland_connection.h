#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;
struct wl_display;
struct wl_interface;
struct wl_proxy;
struct wl_registry;
struct wl_seat;

// Our own connection to the Wayland compositor, apart from Qt's (Qt may
// run on xcb through XWayland, or on wayland). Events are read through a
// socket notifier with prepare-read / read / dispatch-pending, so the GUI
// thread never blocks on the compositor. A compositor that goes away, or
// a protocol error, is reported once through lost(); the objects made over
// the connection stay safe to use and to destroy.
class WaylandConnection : public QObject
{
    Q_OBJECT
public:
    struct Global
    {
        uint32_t name = 0;
        QString interface;
        uint32_t version = 0;
    };

    // From WAYLAND_SOCKET or WAYLAND_DISPLAY when the name is empty; null
    // when no compositor answers. Waits for the list of globals.
    static std::shared_ptr<WaylandConnection> open(const QByteArray &name = {});
    ~WaylandConnection() override;
    WaylandConnection(const WaylandConnection &) = delete;
    WaylandConnection &operator=(const WaylandConnection &) = delete;

    wl_display *display() const { return m_display; }
    bool isLost() const { return m_lost; }
    QStringList globalNames() const;
    bool hasGlobal(const char *interface) const;

    // Binds the first global of that interface at no more than maxVersion;
    // null when the compositor does not offer it. The caller owns the proxy.
    wl_proxy *bind(const wl_interface *interface, uint32_t maxVersion);
    // The first seat, bound once and kept; null without one.
    wl_seat *seat();

    // Called when a global of the interface appears later (a seat that comes
    // back), with its registry name. Returns an id for removeGlobalWatcher.
    int watchGlobals(const char *interface, std::function<void(uint32_t name)> added);
    void removeGlobalWatcher(int id);

    // Sends what was asked so far without waiting; the rest goes out once
    // the socket takes it.
    void flush();
    // Waits for the compositor to answer everything sent so far. Only at
    // start-up and in tests: a compositor that hangs would stall the caller.
    bool roundtrip();

signals:
    void lost();

private:
    explicit WaylandConnection(wl_display *display);
    static void onGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface,
                         uint32_t version);
    static void onGlobalRemove(void *data, wl_registry *registry, uint32_t name);
    void readEvents();
    void dispatchPending();
    void checkError();

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    uint32_t m_seatName = 0;
    std::vector<Global> m_globals;
    std::map<int, std::pair<QString, std::function<void(uint32_t)>>> m_watchers;
    int m_nextWatcher = 1;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QMetaObject::Connection m_aboutToBlock;
    bool m_lost = false;
};
