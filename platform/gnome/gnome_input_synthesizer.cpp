#include "gnome/gnome_input_synthesizer.h"

#include "gnome/gnome_bridge.h"

bool GnomeInputSynthesizer::mayPostInputEvents()
{
    return m_bridge->isConnected();
}

void GnomeInputSynthesizer::postPasteStroke(PasteStroke stroke)
{
    m_bridge->postPasteStroke(stroke == PasteStroke::ControlShiftV ? QStringLiteral("ctrl-shift-v")
                                                                   : QStringLiteral("ctrl-v"));
}
