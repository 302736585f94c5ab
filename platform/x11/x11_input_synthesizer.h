#pragma once

#include "input_synthesizer.h"
#include "x11/x11_connection.h"

#include <memory>

// Key strokes through the XTest extension. Modifier keys the user still
// holds are released for the stroke and pressed again after it, so the
// focused window sees only the stroke's own modifiers.
class X11InputSynthesizer final : public InputSynthesizer
{
public:
    explicit X11InputSynthesizer(std::shared_ptr<X11Connection> connection);

    bool mayPostInputEvents() override;
    void postPasteStroke(PasteStroke stroke) override;

private:
    std::shared_ptr<X11Connection> m_connection;
};
