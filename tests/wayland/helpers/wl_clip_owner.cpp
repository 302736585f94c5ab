// A Wayland program that copies, for the tests and benchmarks in a real
// compositor: it takes the selection through the clipboard-manager
// protocol (no window or focus needed) with the types and behaviour asked:
//   wl_clip_owner MODE TYPES DATA
// MODE serve (write and close), hang (never write) or slow (1 KiB every
// 20 ms); TYPES comma-separated; DATA b64:<base64> or fill:<bytes>.
// Prints "ready" once the selection is set, "receive TYPE" for each read,
// and quits when another program's copy replaces its own.
#include "clip_data.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <csignal>
#include <cstring>
#include <vector>

namespace {

std::string mode;
std::string content;
bool done = false;
std::vector<int> hung;
wl_seat *seat = nullptr;
zwlr_data_control_manager_v1 *manager = nullptr;

void onGlobal(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    if (!std::strcmp(interface, wl_seat_interface.name) && !seat)
        seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!std::strcmp(interface, zwlr_data_control_manager_v1_interface.name))
        manager = static_cast<zwlr_data_control_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
}

void onGlobalRemove(void *, wl_registry *, uint32_t) {}

void onSend(void *, zwlr_data_control_source_v1 *, const char *type, int32_t fd)
{
    say(std::string("receive ") + type);
    if (mode == "hang")
        hung.push_back(fd);
    else
        serveInThread(fd, content, mode == "slow");
}

void onCancelled(void *, zwlr_data_control_source_v1 *)
{
    done = true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s serve|hang|slow TYPE[,TYPE...] b64:DATA|fill:N\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    mode = argv[1];
    content = clipContent(argv[3]);
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland display\n");
        return 1;
    }
    wl_registry *registry = wl_display_get_registry(display);
    static const wl_registry_listener registryListener{onGlobal, onGlobalRemove};
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!seat || !manager) {
        std::fprintf(stderr, "the compositor offers no seat or no data-control\n");
        return 1;
    }
    zwlr_data_control_device_v1 *device = zwlr_data_control_manager_v1_get_data_device(manager, seat);
    zwlr_data_control_source_v1 *source = zwlr_data_control_manager_v1_create_data_source(manager);
    static const zwlr_data_control_source_v1_listener sourceListener{onSend, onCancelled};
    zwlr_data_control_source_v1_add_listener(source, &sourceListener, nullptr);
    for (const QByteArray &type : QByteArray(argv[2]).split(','))
        zwlr_data_control_source_v1_offer(source, type.constData());
    zwlr_data_control_device_v1_set_selection(device, source);
    wl_display_roundtrip(display);
    say("ready");
    while (!done && wl_display_dispatch(display) >= 0) {
    }
    for (int fd : hung)
        close(fd);
    wl_display_disconnect(display);
    return 0;
}
