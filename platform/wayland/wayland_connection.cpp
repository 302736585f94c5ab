#include "wayland/wayland_connection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QThread>

#include <wayland-client.h>

#include <cerrno>
#include <cstring>

Q_LOGGING_CATEGORY(lcWayland, "tavorindle.wayland", QtWarningMsg)

std::shared_ptr<WaylandConnection> WaylandConnection::open(const QByteArray &name)
{
    if (name.isEmpty() && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
        && !qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
        return nullptr;
    wl_display *display = wl_display_connect(name.isEmpty() ? nullptr : name.constData());
    if (!display)
        return nullptr;
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection(display));
    if (!connection->roundtrip())
        return nullptr;
    return connection;
}

WaylandConnection::WaylandConnection(wl_display *display)
    : m_display(display)
{
    static const wl_registry_listener registryListener{&WaylandConnection::onGlobal,
                                                       &WaylandConnection::onGlobalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);

    const int fd = wl_display_get_fd(m_display);
    m_readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &WaylandConnection::readEvents);
    m_writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &WaylandConnection::flush);
    // Events that a round trip or a request read into the queue are not
    // seen by the notifier: hand them out before the loop sleeps.
    if (auto *dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
        m_aboutToBlock = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                                 &WaylandConnection::dispatchPending);
}

WaylandConnection::~WaylandConnection()
{
    disconnect(m_aboutToBlock);
    m_readNotifier.reset();
    m_writeNotifier.reset();
    if (m_seat)
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(m_seat));
    wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

void WaylandConnection::onGlobal(void *data, wl_registry *, uint32_t name, const char *interface,
                                 uint32_t version)
{
    auto *self = static_cast<WaylandConnection *>(data);
    const QString iface = QString::fromUtf8(interface);
    self->m_globals.push_back({name, iface, version});
    // Copied: a watcher may remove itself or others.
    const auto watchers = self->m_watchers;
    for (const auto &[id, watcher] : watchers) {
        if (watcher.first == iface)
            watcher.second(name);
    }
}

void WaylandConnection::onGlobalRemove(void *data, wl_registry *, uint32_t name)
{
    auto *self = static_cast<WaylandConnection *>(data);
    std::erase_if(self->m_globals, [name](const Global &g) { return g.name == name; });
    if (self->m_seat && name == self->m_seatName) {
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(self->m_seat));
        self->m_seat = nullptr;
        self->m_seatName = 0;
    }
}

QStringList WaylandConnection::globalNames() const
{
    QStringList names;
    for (const Global &global : m_globals)
        names << global.interface;
    return names;
}

bool WaylandConnection::hasGlobal(const char *interface) const
{
    const QLatin1String name(interface);
    return std::any_of(m_globals.begin(), m_globals.end(), [&](const Global &g) { return g.interface == name; });
}

wl_proxy *WaylandConnection::bind(const wl_interface *interface, uint32_t maxVersion)
{
    const QLatin1String name(interface->name);
    for (const Global &global : m_globals) {
        if (global.interface != name)
            continue;
        const uint32_t version = std::min(global.version, maxVersion);
        return static_cast<wl_proxy *>(wl_registry_bind(m_registry, global.name, interface, version));
    }
    return nullptr;
}

wl_seat *WaylandConnection::seat()
{
    if (m_seat)
        return m_seat;
    for (const Global &global : m_globals) {
        if (global.interface == QLatin1String(wl_seat_interface.name)) {
            m_seat = static_cast<wl_seat *>(wl_registry_bind(m_registry, global.name, &wl_seat_interface, 1));
            m_seatName = global.name;
            break;
        }
    }
    return m_seat;
}

int WaylandConnection::watchGlobals(const char *interface, std::function<void(uint32_t)> added)
{
    const int id = m_nextWatcher++;
    m_watchers.emplace(id, std::make_pair(QString::fromUtf8(interface), std::move(added)));
    return id;
}

void WaylandConnection::removeGlobalWatcher(int id)
{
    m_watchers.erase(id);
}

void WaylandConnection::flush()
{
    if (m_lost)
        return;
    if (wl_display_flush(m_display) < 0) {
        if (errno == EAGAIN) {
            // The socket is full: go on once the compositor has read some.
            m_writeNotifier->setEnabled(true);
            return;
        }
        checkError();
        return;
    }
    m_writeNotifier->setEnabled(false);
}

bool WaylandConnection::roundtrip()
{
    if (m_lost)
        return false;
    const bool ok = wl_display_roundtrip(m_display) >= 0;
    checkError();
    return ok && !m_lost;
}

void WaylandConnection::readEvents()
{
    if (m_lost)
        return;
    // Another reader (a round trip) may hold queued events: hand those out
    // first, as the protocol for shared reading asks.
    while (wl_display_prepare_read(m_display) != 0) {
        if (wl_display_dispatch_pending(m_display) < 0) {
            checkError();
            return;
        }
    }
    flush();
    // The notifier said there is data: this read does not wait.
    if (wl_display_read_events(m_display) < 0) {
        checkError();
        return;
    }
    dispatchPending();
}

void WaylandConnection::dispatchPending()
{
    if (m_lost)
        return;
    if (wl_display_dispatch_pending(m_display) < 0) {
        checkError();
        return;
    }
    flush();
}

void WaylandConnection::checkError()
{
    if (m_lost)
        return;
    const int error = wl_display_get_error(m_display);
    if (error == 0)
        return;
    m_lost = true;
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    if (error == EPROTO) {
        const wl_interface *interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(m_display, &interface, &id);
        qCWarning(lcWayland, "Wayland: protocol error %u on %s@%u", code,
                  interface ? interface->name : "?", id);
    } else {
        qCWarning(lcWayland, "Wayland: the compositor connection is gone (%s)", std::strerror(error));
    }
    emit lost();
}
