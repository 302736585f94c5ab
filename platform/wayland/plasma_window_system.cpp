#include "wayland/plasma_window_system.h"

#include "wayland/wayland_connection.h"

#include "plasma-window-management-client-protocol.h"

#include <wayland-client.h>

#include <unistd.h>

struct PlasmaWindowSystem::PlasmaWindow final : Window
{
    PlasmaWindow(PlasmaWindowSystem *owner, org_kde_plasma_window *handle)
        : owner(owner), handle(handle)
    {
    }
    ~PlasmaWindow() override
    {
        // The destructor request came with version 4.
        if (owner->m_version >= ORG_KDE_PLASMA_WINDOW_DESTROY_SINCE_VERSION)
            org_kde_plasma_window_destroy(handle);
        else
            wl_proxy_destroy(reinterpret_cast<wl_proxy *>(handle));
    }
    PlasmaWindowSystem *const owner;
    org_kde_plasma_window *const handle;
    uint32_t pid = 0;
};

// The window's events, with access to the private record. Every event of
// the bound version needs a handler, most of them none.
struct PlasmaWindowEvents
{
    using Record = PlasmaWindowSystem::PlasmaWindow;
    static Record *record(void *data) { return static_cast<Record *>(data); }

    static void appId(void *data, org_kde_plasma_window *, const char *appId)
    {
        record(data)->appId = QString::fromUtf8(appId);
    }
    static void state(void *data, org_kde_plasma_window *, uint32_t flags)
    {
        record(data)->active = flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE;
    }
    static void pid(void *data, org_kde_plasma_window *, uint32_t pid) { record(data)->pid = pid; }
    static void unmapped(void *data, org_kde_plasma_window *)
    {
        Record *r = record(data);
        r->owner->forget(r->id);
    }

    static void text(void *, org_kde_plasma_window *, const char *) {}
    static void number(void *, org_kde_plasma_window *, int32_t) {}
    static void nothing(void *, org_kde_plasma_window *) {}
    static void parent(void *, org_kde_plasma_window *, org_kde_plasma_window *) {}
    static void geometry(void *, org_kde_plasma_window *, int32_t, int32_t, uint32_t, uint32_t) {}
    static void menu(void *, org_kde_plasma_window *, const char *, const char *) {}

    static constexpr org_kde_plasma_window_listener listener{
        .title_changed = &text,
        .app_id_changed = &appId,
        .state_changed = &state,
        .virtual_desktop_changed = &number,
        .themed_icon_name_changed = &text,
        .unmapped = &unmapped,
        .initial_state = &nothing,
        .parent_window = &parent,
        .geometry = &geometry,
        .icon_changed = &nothing,
        .pid_changed = &pid,
        .virtual_desktop_entered = &text,
        .virtual_desktop_left = &text,
        .application_menu = &menu,
        .activity_entered = &text,
        .activity_left = &text,
        .resource_name_changed = &text,
    };

    using Self = PlasmaWindowSystem;
    static Self *self(void *data) { return static_cast<Self *>(data); }
    // Before version 13 a new window comes by id only; from then on with
    // its uuid as well, and the window is asked for by that.
    static void window(void *data, org_kde_plasma_window_management *manager, uint32_t id)
    {
        if (self(data)->m_version < ORG_KDE_PLASMA_WINDOW_MANAGEMENT_WINDOW_WITH_UUID_SINCE_VERSION)
            self(data)->add(org_kde_plasma_window_management_get_window(manager, id));
    }
    static void windowWithUuid(void *data, org_kde_plasma_window_management *manager, uint32_t, const char *uuid)
    {
        self(data)->add(org_kde_plasma_window_management_get_window_by_uuid(manager, uuid));
    }
    static void showDesktop(void *, org_kde_plasma_window_management *, uint32_t) {}
    static void stacking(void *, org_kde_plasma_window_management *, wl_array *) {}
    static void stackingUuids(void *, org_kde_plasma_window_management *, const char *) {}

    static constexpr org_kde_plasma_window_management_listener managerListener{
        .show_desktop_changed = &showDesktop,
        .window = &window,
        .stacking_order_changed = &stacking,
        .stacking_order_uuid_changed = &stackingUuids,
        .window_with_uuid = &windowWithUuid,
    };
};

PlasmaWindowSystem::PlasmaWindowSystem(std::shared_ptr<WaylandConnection> connection, QStringList ownAppIds)
    : TaskbarWindowSystem(std::move(connection), std::move(ownAppIds))
{
    m_manager = reinterpret_cast<org_kde_plasma_window_management *>(
        m_connection->bind(&org_kde_plasma_window_management_interface, 16));
    if (!m_manager)
        return;
    m_version = org_kde_plasma_window_management_get_version(m_manager);
    org_kde_plasma_window_management_add_listener(m_manager, &PlasmaWindowEvents::managerListener, this);
    // The compositor lists every window at once, and their state once asked
    // for: know them before the first question.
    m_connection->roundtrip();
    m_connection->roundtrip();
}

PlasmaWindowSystem::~PlasmaWindowSystem()
{
    forgetAll();
    if (m_manager)
        org_kde_plasma_window_management_destroy(m_manager);
}

void PlasmaWindowSystem::add(org_kde_plasma_window *handle)
{
    auto window = std::make_unique<PlasmaWindow>(this, handle);
    org_kde_plasma_window_add_listener(handle, &PlasmaWindowEvents::listener, window.get());
    TaskbarWindowSystem::add(std::move(window));
    m_connection->flush();
}

bool PlasmaWindowSystem::isOwnWindow(WindowId window)
{
    const auto *w = static_cast<const PlasmaWindow *>(find(window));
    if (!w)
        return false;
    if (w->pid != 0)
        return w->pid == uint32_t(::getpid());
    return hasOwnAppId(*w);
}

void PlasmaWindowSystem::activate(WindowId window)
{
    const auto *w = static_cast<const PlasmaWindow *>(find(window));
    if (!w)
        return;
    org_kde_plasma_window_set_state(w->handle, ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE,
                                    ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
    m_connection->flush();
}
