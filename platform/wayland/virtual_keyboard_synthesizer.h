#pragma once

#include "input_synthesizer.h"

#include <QMetaObject>

#include <memory>

class WaylandConnection;
struct zwp_virtual_keyboard_v1;

// Paste strokes through a virtual keyboard of our own (wlroots compositors,
// Hyprland). The keyboard and its keymap are made once, at start: sway
// drops the first key sent through a keyboard made just before it. The
// keyboard is a device of its own, so keys the user holds on the real one
// do not mix into its strokes.
class VirtualKeyboardSynthesizer final : public InputSynthesizer
{
public:
    explicit VirtualKeyboardSynthesizer(std::shared_ptr<WaylandConnection> connection);
    ~VirtualKeyboardSynthesizer() override;

    bool mayPostInputEvents() override;
    void postPasteStroke(PasteStroke stroke) override;

private:
    void key(uint32_t code, bool pressed);
    void modifiers(uint32_t depressed);

    std::shared_ptr<WaylandConnection> m_connection;
    zwp_virtual_keyboard_v1 *m_keyboard = nullptr;
};
