#include "wayland/kde_fake_input_synthesizer.h"

#include "wayland/evdev_paste_keys.h"
#include "wayland/wayland_connection.h"

#include "fake-input-client-protocol.h"

#include <wayland-client.h>

namespace {

// Keys arrived with version 4.
constexpr uint32_t keyboardVersion = 4;

} // namespace

KdeFakeInputSynthesizer::KdeFakeInputSynthesizer(std::shared_ptr<WaylandConnection> connection)
    : m_connection(std::move(connection))
{
    m_input = reinterpret_cast<org_kde_kwin_fake_input *>(
        m_connection->bind(&org_kde_kwin_fake_input_interface, keyboardVersion));
    if (!m_input)
        return;
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy *>(m_input)) < keyboardVersion) {
        org_kde_kwin_fake_input_destroy(m_input);
        m_input = nullptr;
        return;
    }
    org_kde_kwin_fake_input_authenticate(m_input, "Tavorindle", "Paste the chosen clipboard item");
    m_connection->flush();
}

KdeFakeInputSynthesizer::~KdeFakeInputSynthesizer()
{
    if (m_input) {
        org_kde_kwin_fake_input_destroy(m_input);
        m_connection->flush();
    }
}

bool KdeFakeInputSynthesizer::mayPostInputEvents()
{
    return m_input && !m_connection->isLost();
}

void KdeFakeInputSynthesizer::postPasteStroke(PasteStroke stroke)
{
    if (!mayPostInputEvents())
        return;
    for (const EvdevKey &evdev : evdevPasteKeys(stroke))
        key(evdev.code, evdev.pressed);
    m_connection->flush();
}

void KdeFakeInputSynthesizer::key(uint32_t code, bool pressed)
{
    org_kde_kwin_fake_input_keyboard_key(m_input, code, pressed ? WL_KEYBOARD_KEY_STATE_PRESSED
                                                                : WL_KEYBOARD_KEY_STATE_RELEASED);
}
