#include "x11/x11_input_synthesizer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>

namespace {

// Keys that are down now and act as modifiers in the current mapping.
std::vector<KeyCode> heldModifierKeys(Display *display)
{
    std::vector<KeyCode> held;
    char keys[32];
    XQueryKeymap(display, keys);
    XModifierKeymap *map = XGetModifierMapping(display);
    if (!map)
        return held;
    for (int i = 0; i < 8 * map->max_keypermod; ++i) {
        const KeyCode code = map->modifiermap[i];
        if (code == 0 || !(keys[code / 8] & (1 << (code % 8))))
            continue;
        if (std::find(held.begin(), held.end(), code) == held.end())
            held.push_back(code);
    }
    XFreeModifiermap(map);
    return held;
}

} // namespace

X11InputSynthesizer::X11InputSynthesizer(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
}

bool X11InputSynthesizer::mayPostInputEvents()
{
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    return XTestQueryExtension(m_connection->display(), &eventBase, &errorBase, &major, &minor);
}

void X11InputSynthesizer::postPasteStroke(PasteStroke stroke)
{
    if (!mayPostInputEvents())
        return;
    Display *display = m_connection->display();
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    const KeyCode v = XKeysymToKeycode(display, XK_v);
    const bool withShift = stroke == PasteStroke::ControlShiftV;
    if (control == 0 || v == 0 || (withShift && shift == 0))
        return;

    const std::vector<KeyCode> held = heldModifierKeys(display);
    for (KeyCode code : held)
        XTestFakeKeyEvent(display, code, False, CurrentTime);

    XTestFakeKeyEvent(display, control, True, CurrentTime);
    if (withShift)
        XTestFakeKeyEvent(display, shift, True, CurrentTime);
    XTestFakeKeyEvent(display, v, True, CurrentTime);
    XTestFakeKeyEvent(display, v, False, CurrentTime);
    if (withShift)
        XTestFakeKeyEvent(display, shift, False, CurrentTime);
    XTestFakeKeyEvent(display, control, False, CurrentTime);

    for (KeyCode code : held)
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    XFlush(display);
}
