#include "wayland/virtual_keyboard_synthesizer.h"

#include "unique_fd.h"
#include "wayland/evdev_paste_keys.h"
#include "wayland/wayland_connection.h"

#include "virtual-keyboard-unstable-v1-client-protocol.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

Q_DECLARE_LOGGING_CATEGORY(lcWayland)

namespace {

// The keymap below gives the evdev codes their symbols (XKB adds 8).
constexpr uint32_t shiftMask = 1u << 0;
constexpr uint32_t controlMask = 1u << 2;

// Only the keys a paste needs, whatever layout the user types with.
constexpr char keymap[] = R"(xkb_keymap {
xkb_keycodes "tavorindle" { minimum = 8; maximum = 255; <LCTL> = 37; <LFSH> = 50; <AB04> = 55; };
xkb_types "tavorindle" { include "complete" };
xkb_compatibility "tavorindle" { include "complete" };
xkb_symbols "tavorindle" {
    key <LCTL> { [ Control_L ] };
    key <LFSH> { [ Shift_L ] };
    key <AB04> { [ v, V ] };
    modifier_map Control { <LCTL> };
    modifier_map Shift { <LFSH> };
};
};
)";

UniqueFd keymapFile()
{
    UniqueFd fd(memfd_create("tavorindle-keymap", MFD_CLOEXEC));
    if (!fd)
        return {};
    const size_t size = sizeof keymap; // with its terminating zero, as the protocol wants
    if (::write(fd.get(), keymap, size) != ssize_t(size))
        return {};
    return fd;
}

uint32_t nowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return uint32_t(clock.elapsed());
}

} // namespace

VirtualKeyboardSynthesizer::VirtualKeyboardSynthesizer(std::shared_ptr<WaylandConnection> connection)
    : m_connection(std::move(connection))
{
    auto *manager = reinterpret_cast<zwp_virtual_keyboard_manager_v1 *>(
        m_connection->bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    wl_seat *seat = m_connection->seat();
    if (!manager || !seat) {
        if (manager)
            wl_proxy_destroy(reinterpret_cast<wl_proxy *>(manager));
        return;
    }
    const UniqueFd fd = keymapFile();
    if (fd) {
        m_keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);
        zwp_virtual_keyboard_v1_keymap(m_keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd.get(),
                                       uint32_t(sizeof keymap));
    }
    // The keyboard lives on without its manager.
    wl_proxy_destroy(reinterpret_cast<wl_proxy *>(manager));
    m_connection->flush();
}

VirtualKeyboardSynthesizer::~VirtualKeyboardSynthesizer()
{
    if (m_keyboard) {
        zwp_virtual_keyboard_v1_destroy(m_keyboard);
        m_connection->flush();
    }
}

bool VirtualKeyboardSynthesizer::mayPostInputEvents()
{
    return m_keyboard && !m_connection->isLost();
}

void VirtualKeyboardSynthesizer::postPasteStroke(PasteStroke stroke)
{
    if (!mayPostInputEvents())
        return;
    const uint32_t held = controlMask | (stroke == PasteStroke::ControlShiftV ? shiftMask : 0);
    for (const EvdevKey &evdev : evdevPasteKeys(stroke)) {
        if (evdev.code == EvdevCode::v && evdev.pressed)
            modifiers(held);
        key(evdev.code, evdev.pressed);
    }
    modifiers(0);
    m_connection->flush();
}

void VirtualKeyboardSynthesizer::key(uint32_t code, bool pressed)
{
    zwp_virtual_keyboard_v1_key(m_keyboard, nowMs(), code,
                                pressed ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
}

void VirtualKeyboardSynthesizer::modifiers(uint32_t depressed)
{
    zwp_virtual_keyboard_v1_modifiers(m_keyboard, depressed, 0, 0, 0);
}
