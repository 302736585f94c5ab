// Presses keys through KWin's fake input, as a user at the keyboard would:
//   kde_keyboard KEY...
// Each KEY is an evdev code with "+" (press) or "-" (release), or "wait" for
// 100 ms between strokes. KWin grants the protocol only to a program whose
// desktop entry names this binary by its full path. Exits 0 once KWin has
// taken every key, 1 when the protocol is not granted.
#include "fake-input-client-protocol.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

org_kde_kwin_fake_input *input = nullptr;

void onGlobal(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
        input = static_cast<org_kde_kwin_fake_input *>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
}

void onGlobalRemove(void *, wl_registry *, uint32_t) {}

} // namespace

int main(int argc, char **argv)
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no compositor\n");
        return 1;
    }
    static const wl_registry_listener listener{&onGlobal, &onGlobalRemove};
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, nullptr);
    wl_display_roundtrip(display);
    if (!input) {
        std::fprintf(stderr, "org_kde_kwin_fake_input not granted\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(input, "Tavorindle tests", "Type keys");
    for (int i = 1; i < argc; ++i) {
        const std::string key = argv[i];
        if (key == "wait") {
            wl_display_roundtrip(display);
            usleep(100000);
            continue;
        }
        const bool press = key.back() == '+';
        org_kde_kwin_fake_input_keyboard_key(input, uint32_t(std::atoi(key.c_str())),
                                             press ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        wl_display_roundtrip(display);
        usleep(20000);
    }
    wl_display_roundtrip(display);
    org_kde_kwin_fake_input_destroy(input);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
