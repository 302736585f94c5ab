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
    // Presses and releases the stroke. Modifiers the user still holds are
    // released for it and pressed again after, so it carries only its own.
    virtual void postPasteStroke(PasteStroke stroke) = 0;
};
