#pragma once

#include "paste_stroke.h"

// Posts synthetic key strokes to whichever window has the focus.
class InputSynthesizer
{
public:
    virtual ~InputSynthesizer() = default;
    // Whether this process may post input events at all (X11: the server
    // offers XTest). Asked anew before every paste.
    virtual bool mayPostInputEvents() = 0;
    // Presses and releases the stroke with its own modifiers. Where the
    // stroke shares one keyboard state with the user's keys (XTest), the
    // modifiers the user still holds are released for it and pressed again
    // after; a keyboard device of our own (the Wayland virtual keyboard) has
    // its own state; KWin's fake input and the GNOME bridge cannot lift a
    // key the user holds.
    virtual void postPasteStroke(PasteStroke stroke) = 0;
};
