// A compositor that offers only a seat and ext_data_control_v1, for the
// clipboard tests: no Debian 12 compositor offers that protocol. It plays
// the other programs itself, driven by lines on standard input:
//   offer MODE TYPES DATA  another program copies: MODE is serve, hang
//                          (never writes) or slow (1 KiB every 20 ms);
//                          TYPES comma-separated; DATA b64:<base64> or fill:<bytes>,
//                          served for the first type; any other type's is its name
//   clear                  the selection becomes empty (as when its owner quits)
//   swap MODE TYPES DATA   the owner quits and another program copies at once:
//                          both reports go out before the compositor reads more
//   paste TYPE             a program reads the selection; prints "pasted <bytes> <base64>"
//   stall TYPE             a program asks for the selection and never reads
//   finish                 every data-control device ends (its seat went away)
//   blank                  the played selection's program is gone, but the selection
//                          stays, unannounced, and reads empty (KWin with X programs)
//   quiet                  new devices hear nothing while the clipboard is empty
//   announce               the selection is announced again to every device, as
//                          it stands (a late echo, when it is a client's own)
//                          (some compositors send no opening selection(nil))
//   drop                   every client is cut off
// It prints "ready" once clients may connect, "ok" after each command, and
// "receive TYPE" whenever a client asks for the content of a selection it plays.
#include "clip_data.h"
#include "ext-data-control-v1-server-protocol.h"

#include <QByteArray>
#include <QList>

#include <wayland-server.h>

#include <csignal>
#include <fcntl.h>
#include <vector>

namespace {

struct Selection
{
    enum Kind { None, Played, Client } kind = None;
    QList<QByteArray> types;
    QByteArray mode;
    std::string data;
    wl_resource *source = nullptr; // a client's ext_data_control_source_v1
};

struct Compositor
{
    wl_display *display = nullptr;
    std::vector<wl_resource *> devices;
    Selection selection;
    std::vector<int> hung; // pipes that are never written or read
    std::string input;
    bool quietWhenEmpty = false;

    void announce(wl_resource *device);
    void setSelection(Selection next);
    void command(const std::string &line);
} compositor;

std::string base64(const std::string &data)
{
    return data.empty() ? "-" : QByteArray::fromStdString(data).toBase64().toStdString();
}

void destroyResource(wl_client *, wl_resource *resource)
{
    wl_resource_destroy(resource);
}

// ext_data_control_offer_v1: what a client reads the selection through.
void offerReceive(wl_client *, wl_resource *, const char *type, int32_t fd)
{
    const Selection &selection = compositor.selection;
    if (selection.kind == Selection::Played) {
        say(std::string("receive ") + type);
        if (selection.mode == "hang")
            compositor.hung.push_back(fd);
        else
            serveInThread(fd, type == selection.types.first() ? selection.data : std::string(type),
                          selection.mode == "slow");
        return;
    }
    if (selection.kind == Selection::Client)
        ext_data_control_source_v1_send_send(selection.source, type, fd);
    close(fd);
}

const struct ext_data_control_offer_v1_interface offerImpl = {offerReceive, destroyResource};

// ext_data_control_source_v1: a client's own content; its types are its user data.
void sourceOffer(wl_client *, wl_resource *source, const char *type)
{
    static_cast<QList<QByteArray> *>(wl_resource_get_user_data(source))->append(type);
}

const struct ext_data_control_source_v1_interface sourceImpl = {sourceOffer, destroyResource};

void sourceDestroyed(wl_resource *source)
{
    delete static_cast<QList<QByteArray> *>(wl_resource_get_user_data(source));
    if (compositor.selection.source != source)
        return;
    // Its owner went away: the selection empties, as compositors do; its
    // own client is going and hears nothing more.
    compositor.selection = {};
    for (wl_resource *device : compositor.devices) {
        if (wl_resource_get_client(device) != wl_resource_get_client(source))
            compositor.announce(device);
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
    wl_resource_set_implementation(offer, &offerImpl, nullptr, nullptr);
    ext_data_control_device_v1_send_data_offer(device, offer);
    for (const QByteArray &type : selection.types)
        ext_data_control_offer_v1_send_offer(offer, type.constData());
    ext_data_control_device_v1_send_selection(device, offer);
}

void Compositor::setSelection(Selection next)
{
    if (selection.source && selection.source != next.source)
        ext_data_control_source_v1_send_cancelled(selection.source);
    selection = std::move(next);
    for (wl_resource *device : devices)
        announce(device);
}

// ext_data_control_device_v1
void deviceSetSelection(wl_client *, wl_resource *, wl_resource *source)
{
    Selection next;
    if (source)
        next = {Selection::Client, *static_cast<QList<QByteArray> *>(wl_resource_get_user_data(source)), {}, {}, source};
    compositor.setSelection(std::move(next));
}

void deviceSetPrimary(wl_client *, wl_resource *, wl_resource *) {}

const struct ext_data_control_device_v1_interface deviceImpl = {deviceSetSelection, destroyResource,
                                                                deviceSetPrimary};

void deviceDestroyed(wl_resource *device)
{
    std::erase(compositor.devices, device);
}

// ext_data_control_manager_v1
void managerCreateSource(wl_client *client, wl_resource *manager, uint32_t id)
{
    wl_resource *source = wl_resource_create(client, &ext_data_control_source_v1_interface,
                                             wl_resource_get_version(manager), id);
    wl_resource_set_implementation(source, &sourceImpl, new QList<QByteArray>, sourceDestroyed);
}

void managerGetDevice(wl_client *client, wl_resource *manager, uint32_t id, wl_resource *)
{
    wl_resource *device = wl_resource_create(client, &ext_data_control_device_v1_interface,
                                             wl_resource_get_version(manager), id);
    wl_resource_set_implementation(device, &deviceImpl, nullptr, deviceDestroyed);
    compositor.devices.push_back(device);
    if (compositor.selection.kind != Selection::None || !compositor.quietWhenEmpty)
        compositor.announce(device);
}

const struct ext_data_control_manager_v1_interface managerImpl = {managerCreateSource, managerGetDevice,
                                                                  destroyResource};

void bindManager(wl_client *client, void *, uint32_t version, uint32_t id)
{
    wl_resource *manager = wl_resource_create(client, &ext_data_control_manager_v1_interface, int(version), id);
    wl_resource_set_implementation(manager, &managerImpl, nullptr, nullptr);
}

// wl_seat version 1: a seat whose devices are inert (nothing is ever sent on them).
void seatGetDevice(wl_client *client, wl_resource *seat, uint32_t id)
{
    wl_resource *device = wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id);
    wl_resource_set_implementation(device, nullptr, nullptr, nullptr);
}

const struct wl_seat_interface seatImpl = {seatGetDevice, seatGetDevice, seatGetDevice, nullptr};

void bindSeat(wl_client *client, void *, uint32_t version, uint32_t id)
{
    wl_resource *seat = wl_resource_create(client, &wl_seat_interface, int(version), id);
    wl_resource_set_implementation(seat, &seatImpl, nullptr, nullptr);
}

// A pipe whose write end goes to the client's source, for the type asked.
int askClient(const QByteArray &type)
{
    int fds[2];
    if (compositor.selection.kind != Selection::Client || pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    ext_data_control_source_v1_send_send(compositor.selection.source, type.constData(), fds[1]);
    close(fds[1]);
    return fds[0];
}

void Compositor::command(const std::string &line)
{
    const QList<QByteArray> words = QByteArray::fromStdString(line).split(' ');
    const QByteArray &verb = words[0];
    if ((verb == "offer" || verb == "swap") && words.size() == 4) {
        if (verb == "swap")
            setSelection({});
        setSelection({Selection::Played, words[2].split(','), words[1], clipContent(words[3].toStdString())});
    } else if (verb == "announce") {
        for (wl_resource *device : devices)
            announce(device);
    } else if (verb == "clear") {
        setSelection({});
    } else if (verb == "paste" && words.size() == 2) {
        if (selection.kind == Selection::Played) {
            say("pasted " + std::to_string(selection.data.size()) + " " + base64(selection.data));
        } else if (const int fd = askClient(words[1]); fd < 0) {
            say("pasted -1 -");
        } else {
            std::thread([fd] {
                std::string data;
                char buffer[65536];
                for (ssize_t count; (count = read(fd, buffer, sizeof buffer)) > 0;)
                    data.append(buffer, size_t(count));
                close(fd);
                say("pasted " + std::to_string(data.size()) + " " + base64(data));
            }).detach();
        }
    } else if (verb == "stall" && words.size() == 2) {
        if (const int fd = askClient(words[1]); fd >= 0)
            hung.push_back(fd);
    } else if (verb == "blank") {
        selection.data.clear();
    } else if (verb == "quiet") {
        quietWhenEmpty = true;
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

int stdinReady(int fd, uint32_t mask, void *)
{
    char buffer[65536];
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count <= 0 || (mask & WL_EVENT_HANGUP)) {
        wl_display_terminate(compositor.display);
        return 0;
    }
    compositor.input.append(buffer, size_t(count));
    for (size_t end; (end = compositor.input.find('\n')) != std::string::npos;) {
        const std::string line = compositor.input.substr(0, end);
        compositor.input.erase(0, end + 1);
        if (!line.empty())
            compositor.command(line);
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
    compositor.display = wl_display_create();
    if (wl_display_add_socket(compositor.display, argv[1]) != 0) {
        std::perror("wl_display_add_socket");
        return 1;
    }
    wl_global_create(compositor.display, &wl_seat_interface, 1, nullptr, bindSeat);
    wl_global_create(compositor.display, &ext_data_control_manager_v1_interface, 1, nullptr, bindManager);
    wl_event_loop_add_fd(wl_display_get_event_loop(compositor.display), STDIN_FILENO, WL_EVENT_READABLE,
                         stdinReady, nullptr);
    say("ready");
    wl_display_run(compositor.display);
    for (int fd : compositor.hung)
        close(fd);
    wl_display_destroy_clients(compositor.display);
    wl_display_destroy(compositor.display);
    return 0;
}
