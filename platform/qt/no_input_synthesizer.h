#pragma once

#include "input_synthesizer.h"

// Where no input can be synthesized: a paste leaves the text on the
// clipboard for the user to paste by hand.
class NoInputSynthesizer final : public InputSynthesizer
{
public:
    bool mayPostInputEvents() override { return false; }
    void postPasteStroke(PasteStroke) override {}
};
