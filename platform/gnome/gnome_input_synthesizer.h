#pragma once

#include "input_synthesizer.h"

#include <memory>

class GnomeBridge;

// The paste stroke, posted by GNOME Shell through its own virtual keyboard:
// Mutter lets no program post input.
class GnomeInputSynthesizer final : public InputSynthesizer
{
public:
    explicit GnomeInputSynthesizer(std::shared_ptr<GnomeBridge> bridge) : m_bridge(std::move(bridge)) {}

    bool mayPostInputEvents() override;
    void postPasteStroke(PasteStroke stroke) override;

private:
    std::shared_ptr<GnomeBridge> m_bridge;
};
