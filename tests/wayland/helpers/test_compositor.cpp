// A compositor that offers only a seat and ext_data_control_v1, for the
// clipboard tests: no Debian 12 compositor offers that protocol. It plays
// the other programs itself, driven by lines on standard input:
//   offer MODE TYPES DATA  another program copies: MODE is serve, hang
//                          (never writes) or slow (a slice every 20 ms);
//                          TYPES comma-separated; DATA b64:<base64> or fill:<bytes>
//   clear                  the selection becomes empty
//   swap MODE TYPES DATA   the owner quits and another program copies at once:
//                          both reports go out before the compositor reads more
//   paste TYPE             a program reads the selection; prints "pasted <bytes> <base64>"
//   stall TYPE             a program asks for the selection and never reads
//   finish                 every data-control device ends (its seat went away)
//   drop                   every client is cut off
// It prints "ready" once clients may connect and "receive TYPE" whenever a
// client asks for the content of a selection it plays.
#include "ext-data-control-v1-server-protocol.h"

#include <QByteArray>
#include <QList>

#include <wayland-server.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string base64Encode(const std::string &in)
{
    return in.empty() ? "-" : QByteArray::fromStdString(in).toBase64().toStdString();
}

std::string base64Decode(const std::string &in)
{
    return QByteArray::fromBase64(QByteArray::fromStdString(in)).toStdString();
}

std::vector<std::string> split(const std::string &text, char by)
{
    std::vector<std::string> parts;
    for (const QByteArray &part : QByteArray::fromStdString(text).split(by))
        parts.push_back(part.toStdString());
    return parts;
}

void say(const std::string &line)
{
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

struct Compositor;

// One program's pending transfer to a reader: the fake owner writing, or
// us reading a client's source for "paste".
struct Transfer
{
    Compositor *compositor = nullptr;
    int fd = -1;
    std::string data;
    size_t offset = 0;
    bool reading = false;
    bool slow = false;
    wl_event_source *source = nullptr;
    wl_event_source *timer = nullptr;
};

struct Selection
{
    enum Kind { None, Fake, Client } kind = None;
    std::vector<std::string> types;
    std::string mode;
    std::string data;
    wl_resource *source = nullptr; // a client's ext_data_control_source_v1
};

struct Compositor
{
    wl_display *display = nullptr;
    wl_event_loop *loop = nullptr;
    std::vector<wl_resource *> devices;
    std::vector<wl_resource *> sources;
    Selection selection;
    std::vector<std::unique_ptr<Transfer>> transfers;
    std::vector<int> hung; // pipes of readers that are never answered
    std::string input;

    void announce(wl_resource *device);
    void setSelection(Selection next);
    void command(const std::string &line);
    void endTransfer(Transfer *transfer);
};

Compositor *compositorOf(wl_resource *resource)
{
    return static_cast<Compositor *>(wl_resource_get_user_data(resource));
}

void destroyResource(wl_client *, wl_resource *resource)
{
    wl_resource_destroy(resource);
}

int transferReady(int fd, uint32_t, void *data);

int slowTick(void *data)
{
    auto *transfer = static_cast<Transfer *>(data);
    transferReady(transfer->fd, 0, transfer);
    return 0;
}

int transferReady(int, uint32_t, void *data)
{
    auto *transfer = static_cast<Transfer *>(data);
    if (transfer->reading) {
        char buffer[65536];
        for (;;) {
            const ssize_t count = read(transfer->fd, buffer, sizeof buffer);
            if (count > 0) {
                transfer->data.append(buffer, size_t(count));
                continue;
            }
            if (count < 0 && errno == EAGAIN)
                return 0;
            say("pasted " + std::to_string(transfer->data.size()) + " " + base64Encode(transfer->data));
            transfer->compositor->endTransfer(transfer);
            return 0;
        }
    }
    const size_t slice = transfer->slow ? 1024 : transfer->data.size() - transfer->offset;
    while (transfer->offset < transfer->data.size()) {
        const size_t length = std::min(slice, transfer->data.size() - transfer->offset);
        const ssize_t count = write(transfer->fd, transfer->data.data() + transfer->offset, length);
        if (count < 0 && errno == EAGAIN)
            return 0;
        if (count <= 0)
            break;
        transfer->offset += size_t(count);
        if (transfer->slow && transfer->offset < transfer->data.size()) {
            wl_event_source_timer_update(transfer->timer, 20);
            return 0;
        }
    }
    transfer->compositor->endTransfer(transfer);
    return 0;
}

void Compositor::endTransfer(Transfer *transfer)
{
    if (transfer->source)
        wl_event_source_remove(transfer->source);
    if (transfer->timer)
        wl_event_source_remove(transfer->timer);
    close(transfer->fd);
    std::erase_if(transfers, [transfer](const auto &t) { return t.get() == transfer; });
}

void startWrite(Compositor *compositor, int fd, const std::string &data, bool slow)
{
    auto transfer = std::make_unique<Transfer>();
    transfer->compositor = compositor;
    transfer->fd = fd;
    transfer->data = data;
    transfer->slow = slow;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    transfer->source = wl_event_loop_add_fd(compositor->loop, fd, WL_EVENT_WRITABLE, transferReady, transfer.get());
    if (slow) {
        // Slices only on the timer, not whenever the pipe has room.
        wl_event_source_fd_update(transfer->source, 0);
        transfer->timer = wl_event_loop_add_timer(compositor->loop, slowTick, transfer.get());
        wl_event_source_timer_update(transfer->timer, 20);
    }
    compositor->transfers.push_back(std::move(transfer));
}

// ext_data_control_offer_v1: what a client reads the selection through.
void offerReceive(wl_client *, wl_resource *offer, const char *type, int32_t fd)
{
    Compositor *compositor = compositorOf(offer);
    const Selection &selection = compositor->selection;
    if (selection.kind == Selection::Fake) {
        say(std::string("receive ") + type);
        if (selection.mode == "hang") {
            compositor->hung.push_back(fd);
            return;
        }
        startWrite(compositor, fd, selection.data, selection.mode == "slow");
        return;
    }
    if (selection.kind == Selection::Client && selection.source) {
        ext_data_control_source_v1_send_send(selection.source, type, fd);
    }
    close(fd);
}

const struct ext_data_control_offer_v1_interface offerImpl = {offerReceive, destroyResource};

// ext_data_control_source_v1: a client's own content.
void sourceOffer(wl_client *, wl_resource *source, const char *type)
{
    auto *types = static_cast<std::vector<std::string> *>(wl_resource_get_user_data(source));
    types->push_back(type);
}

const struct ext_data_control_source_v1_interface sourceImpl = {sourceOffer, destroyResource};

Compositor *g_compositor = nullptr;

void sourceDestroyed(wl_resource *source)
{
    Compositor *compositor = g_compositor;
    delete static_cast<std::vector<std::string> *>(wl_resource_get_user_data(source));
    std::erase(compositor->sources, source);
    if (compositor->selection.kind == Selection::Client && compositor->selection.source == source) {
        // Its owner went away: the selection empties, as compositors do.
        // Its own client is going: it hears nothing more.
        wl_client *owner = wl_resource_get_client(source);
        compositor->selection = {};
        for (wl_resource *device : compositor->devices) {
            if (wl_resource_get_client(device) != owner)
                compositor->announce(device);
        }
    }
}

void Compositor::announce(wl_resource *device)
{
    if (selection.kind == Selection::None) {
        ext_data_control_device_v1_send_selection(device, nullptr);
        return;
    }
    wl_resource *offer = wl_resource_create(wl_resource_get_client(device), &ext_data_control_offer_v1_interface,
                                            wl_resource_get_version(device), 0);
    wl_resource_set_implementation(offer, &offerImpl, this, nullptr);
    ext_data_control_device_v1_send_data_offer(device, offer);
    for (const std::string &type : selection.types)
        ext_data_control_offer_v1_send_offer(offer, type.c_str());
    ext_data_control_device_v1_send_selection(device, offer);
}

void Compositor::setSelection(Selection next)
{
    if (selection.kind == Selection::Client && selection.source && selection.source != next.source)
        ext_data_control_source_v1_send_cancelled(selection.source);
    selection = std::move(next);
    for (wl_resource *device : devices)
        announce(device);
}

// ext_data_control_device_v1
void deviceSetSelection(wl_client *, wl_resource *device, wl_resource *source)
{
    Compositor *compositor = compositorOf(device);
    Selection next;
    if (source) {
        next.kind = Selection::Client;
        next.source = source;
        next.types = *static_cast<std::vector<std::string> *>(wl_resource_get_user_data(source));
    }
    compositor->setSelection(std::move(next));
}

void deviceSetPrimary(wl_client *, wl_resource *, wl_resource *) {}

const struct ext_data_control_device_v1_interface deviceImpl = {deviceSetSelection, destroyResource,
                                                                deviceSetPrimary};

void deviceDestroyed(wl_resource *device)
{
    std::erase(g_compositor->devices, device);
}

// ext_data_control_manager_v1
void managerCreateSource(wl_client *client, wl_resource *manager, uint32_t id)
{
    wl_resource *source = wl_resource_create(client, &ext_data_control_source_v1_interface,
                                             wl_resource_get_version(manager), id);
    wl_resource_set_implementation(source, &sourceImpl, new std::vector<std::string>, sourceDestroyed);
    g_compositor->sources.push_back(source);
}

void managerGetDevice(wl_client *client, wl_resource *manager, uint32_t id, wl_resource *)
{
    Compositor *compositor = compositorOf(manager);
    wl_resource *device = wl_resource_create(client, &ext_data_control_device_v1_interface,
                                             wl_resource_get_version(manager), id);
    wl_resource_set_implementation(device, &deviceImpl, compositor, deviceDestroyed);
    compositor->devices.push_back(device);
    compositor->announce(device);
}

const struct ext_data_control_manager_v1_interface managerImpl = {managerCreateSource, managerGetDevice,
                                                                  destroyResource};

void bindManager(wl_client *client, void *data, uint32_t version, uint32_t id)
{
    wl_resource *manager = wl_resource_create(client, &ext_data_control_manager_v1_interface, int(version), id);
    wl_resource_set_implementation(manager, &managerImpl, data, nullptr);
}

// wl_seat version 1: a seat with no devices.
void seatGetDevice(wl_client *client, wl_resource *seat, uint32_t id)
{
    // Made inert: nothing is ever sent on it.
    wl_resource *device = wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id);
    wl_resource_set_implementation(device, nullptr, nullptr, nullptr);
}

const struct wl_seat_interface seatImpl = {seatGetDevice, seatGetDevice, seatGetDevice, nullptr};

void bindSeat(wl_client *client, void *, uint32_t version, uint32_t id)
{
    wl_resource *seat = wl_resource_create(client, &wl_seat_interface, int(version), id);
    wl_resource_set_implementation(seat, &seatImpl, nullptr, nullptr);
}

void Compositor::command(const std::string &line)
{
    const std::vector<std::string> words = split(line, ' ');
    const std::string &verb = words[0];
    if ((verb == "offer" || verb == "swap") && words.size() == 4) {
        if (verb == "swap")
            setSelection({});
        Selection next;
        next.kind = Selection::Fake;
        next.mode = words[1];
        next.types = split(words[2], ',');
        const std::string &data = words[3];
        if (data.rfind("b64:", 0) == 0)
            next.data = base64Decode(data.substr(4));
        else if (data.rfind("fill:", 0) == 0)
            for (size_t n = std::stoul(data.substr(5)), i = 0; i < n; ++i)
                next.data += char('a' + i % 26);
        setSelection(std::move(next));
    } else if (verb == "clear") {
        setSelection({});
    } else if (verb == "paste" && words.size() == 2) {
        if (selection.kind == Selection::Fake) {
            say("pasted " + std::to_string(selection.data.size()) + " " + base64Encode(selection.data));
            return;
        }
        if (selection.kind != Selection::Client || !selection.source) {
            say("pasted -1 -");
            return;
        }
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
        ext_data_control_source_v1_send_send(selection.source, words[1].c_str(), fds[1]);
        close(fds[1]);
        auto transfer = std::make_unique<Transfer>();
        transfer->compositor = this;
        transfer->fd = fds[0];
        transfer->reading = true;
        transfer->source = wl_event_loop_add_fd(loop, fds[0], WL_EVENT_READABLE, transferReady, transfer.get());
        transfers.push_back(std::move(transfer));
    } else if (verb == "stall" && words.size() == 2) {
        if (selection.kind != Selection::Client || !selection.source)
            return;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        ext_data_control_source_v1_send_send(selection.source, words[1].c_str(), fds[1]);
        close(fds[1]);
        hung.push_back(fds[0]);
    } else if (verb == "finish") {
        for (wl_resource *device : devices)
            ext_data_control_device_v1_send_finished(device);
    } else if (verb == "drop") {
        std::vector<wl_client *> clients;
        wl_list *list = wl_display_get_client_list(display);
        for (wl_list *link = list->next; link != list; link = link->next)
            clients.push_back(wl_client_from_link(link));
        for (wl_client *client : clients)
            wl_client_destroy(client);
    } else {
        say("unknown " + line);
        return;
    }
    say("ok");
}

int stdinReady(int fd, uint32_t mask, void *data)
{
    auto *compositor = static_cast<Compositor *>(data);
    char buffer[65536];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count <= 0 || (mask & WL_EVENT_HANGUP)) {
        wl_display_terminate(compositor->display);
        return 0;
    }
    compositor->input.append(buffer, size_t(count));
    for (size_t end; (end = compositor->input.find('\n')) != std::string::npos;) {
        const std::string line = compositor->input.substr(0, end);
        compositor->input.erase(0, end + 1);
        if (!line.empty())
            compositor->command(line);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SOCKET-NAME\n", argv[0]);
        return 2;
    }
    // A reader that goes away must not end us.
    std::signal(SIGPIPE, SIG_IGN);
    Compositor compositor;
    g_compositor = &compositor;
    compositor.display = wl_display_create();
    compositor.loop = wl_display_get_event_loop(compositor.display);
    if (wl_display_add_socket(compositor.display, argv[1]) != 0) {
        std::perror("wl_display_add_socket");
        return 1;
    }
    wl_global_create(compositor.display, &wl_seat_interface, 1, &compositor, bindSeat);
    wl_global_create(compositor.display, &ext_data_control_manager_v1_interface, 1, &compositor, bindManager);
    wl_event_loop_add_fd(compositor.loop, STDIN_FILENO, WL_EVENT_READABLE, stdinReady, &compositor);
    say("ready");
    wl_display_run(compositor.display);
    for (int fd : compositor.hung)
        close(fd);
    wl_display_destroy_clients(compositor.display);
    wl_display_destroy(compositor.display);
    return 0;
}
