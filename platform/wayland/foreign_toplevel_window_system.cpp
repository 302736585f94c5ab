#include "wayland/foreign_toplevel_window_system.h"

#include "wayland/wayland_connection.h"

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

#include <wayland-client.h>

struct ForeignToplevelWindowSystem::Toplevel final : Window
{
    explicit Toplevel(ForeignToplevelWindowSystem *owner, zwlr_foreign_toplevel_handle_v1 *handle)
        : owner(owner), handle(handle)
    {
    }
    ~Toplevel() override { zwlr_foreign_toplevel_handle_v1_destroy(handle); }
    ForeignToplevelWindowSystem *const owner;
    zwlr_foreign_toplevel_handle_v1 *const handle;
    // What the compositor said since its last "done"; appId and active hold
    // what was said up to it.
    QString pendingAppId;
    bool pendingActive = false;
};

namespace {

void onTitle(void *, zwlr_foreign_toplevel_handle_v1 *, const char *) {}
void onOutput(void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {}
void onParent(void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *) {}

} // namespace

// The handle's events, with access to the private record.
struct ForeignToplevelEvents
{
    using Record = ForeignToplevelWindowSystem::Toplevel;
    static Record *record(void *data) { return static_cast<Record *>(data); }

    static void appId(void *data, zwlr_foreign_toplevel_handle_v1 *, const char *appId)
    {
        record(data)->pendingAppId = QString::fromUtf8(appId);
    }
    static void state(void *data, zwlr_foreign_toplevel_handle_v1 *, wl_array *states)
    {
        bool active = false;
        const auto *begin = static_cast<const uint32_t *>(states->data);
        for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i)
            active = active || begin[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        record(data)->pendingActive = active;
    }
    static void done(void *data, zwlr_foreign_toplevel_handle_v1 *)
    {
        Record *r = record(data);
        r->appId = r->pendingAppId;
        r->active = r->pendingActive;
    }
    static void closed(void *data, zwlr_foreign_toplevel_handle_v1 *)
    {
        Record *r = record(data);
        r->owner->forget(r->id);
    }

    static constexpr zwlr_foreign_toplevel_handle_v1_listener listener{
        &onTitle, &appId, &onOutput, &onOutput, &state, &done, &closed, &onParent,
    };
};

ForeignToplevelWindowSystem::ForeignToplevelWindowSystem(std::shared_ptr<WaylandConnection> connection,
                                                         QStringList ownAppIds)
    : TaskbarWindowSystem(std::move(connection), std::move(ownAppIds))
{
    m_manager = reinterpret_cast<zwlr_foreign_toplevel_manager_v1 *>(
        m_connection->bind(&zwlr_foreign_toplevel_manager_v1_interface, 3));
    if (!m_manager)
        return;
    static const zwlr_foreign_toplevel_manager_v1_listener listener{&onToplevel, &onFinished};
    zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &listener, this);
    // The compositor lists every toplevel at once: know them before the
    // first question.
    m_connection->roundtrip();
}

ForeignToplevelWindowSystem::~ForeignToplevelWindowSystem()
{
    forgetAll();
    if (m_manager) {
        zwlr_foreign_toplevel_manager_v1_stop(m_manager);
        wl_proxy_destroy(reinterpret_cast<wl_proxy *>(m_manager));
    }
}

void ForeignToplevelWindowSystem::onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *,
                                             zwlr_foreign_toplevel_handle_v1 *handle)
{
    auto *self = static_cast<ForeignToplevelWindowSystem *>(data);
    auto toplevel = std::make_unique<Toplevel>(self, handle);
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &ForeignToplevelEvents::listener, toplevel.get());
    self->add(std::move(toplevel));
}

void ForeignToplevelWindowSystem::onFinished(void *data, zwlr_foreign_toplevel_manager_v1 *manager)
{
    auto *self = static_cast<ForeignToplevelWindowSystem *>(data);
    wl_proxy_destroy(reinterpret_cast<wl_proxy *>(manager));
    self->m_manager = nullptr;
}

bool ForeignToplevelWindowSystem::isOwnWindow(WindowId window)
{
    const Window *toplevel = find(window);
    return toplevel && hasOwnAppId(*toplevel);
}

void ForeignToplevelWindowSystem::activate(WindowId window)
{
    const auto *toplevel = static_cast<const Toplevel *>(find(window));
    wl_seat *seat = m_connection->seat();
    if (!toplevel || !seat)
        return;
    zwlr_foreign_toplevel_handle_v1_activate(toplevel->handle, seat);
    m_connection->flush();
}
