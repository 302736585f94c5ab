#pragma once

#include "input_synthesizer.h"

#include <QList>

#include <functional>

// Records the strokes it is asked to post and how often permission was asked.
class MemoryInputSynthesizer final : public InputSynthesizer
{
public:
    bool mayPostInputEvents() override
    {
        ++m_permissionQueries;
        return m_allowed;
    }
    void postPasteStroke(PasteStroke stroke) override
    {
        m_strokes.append(stroke);
        if (m_onStroke)
            m_onStroke(stroke);
    }

    void setAllowed(bool allowed) { m_allowed = allowed; }
    // Called at each posted stroke, so that tests can look at the state then.
    void setOnStroke(std::function<void(PasteStroke)> onStroke) { m_onStroke = std::move(onStroke); }
    const QList<PasteStroke> &strokes() const { return m_strokes; }
    int permissionQueries() const { return m_permissionQueries; }

private:
    bool m_allowed = true;
    QList<PasteStroke> m_strokes;
    std::function<void(PasteStroke)> m_onStroke;
    int m_permissionQueries = 0;
};
