#pragma once

#include "input_synthesizer.h"

#include <memory>

class WaylandConnection;
struct org_kde_kwin_fake_input;

// Paste strokes through KWin's fake input, which KWin offers only to
// programs whose desktop entry names it in X-KDE-Wayland-Interfaces. The
// keys are evdev codes that KWin reads through the user's own layout.
class KdeFakeInputSynthesizer final : public InputSynthesizer
{
public:
    explicit KdeFakeInputSynthesizer(std::shared_ptr<WaylandConnection> connection);
    ~KdeFakeInputSynthesizer() override;

    bool mayPostInputEvents() override;
    void postPasteStroke(PasteStroke stroke) override;

private:
    void key(uint32_t code, bool pressed);

    std::shared_ptr<WaylandConnection> m_connection;
    org_kde_kwin_fake_input *m_input = nullptr;
};
