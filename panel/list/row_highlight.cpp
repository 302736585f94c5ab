#include "list/row_highlight.h"

RowHighlight::RowHighlight(QObject *parent) : QObject(parent)
{
    m_animation.setDuration(durationMs);
    m_animation.setStartValue(0.0);
    m_animation.setEndValue(1.0);
    m_animation.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toReal();
        emit changed();
    });
}

void RowHighlight::setActiveId(const std::optional<QUuid> &id, bool animated)
{
    if (id == m_current)
        return;
    m_animation.stop();
    m_previous = m_current;
    m_current = id;
    if (animated) {
        m_progress = 0;
        m_animation.start();
    } else {
        m_progress = 1;
    }
    emit changed();
}

qreal RowHighlight::factor(const QUuid &id) const
{
    if (m_current && *m_current == id)
        return m_progress;
    if (m_previous && *m_previous == id)
        return 1 - m_progress;
    return 0;
}
