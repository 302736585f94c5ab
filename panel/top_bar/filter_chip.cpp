#include "top_bar/filter_chip.h"

#include "style/named_colors.h"
#include "style/panel_fonts.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int paddingX = 8;
constexpr int paddingY = 4;
constexpr qreal radius = 6;
} // namespace

FilterChip::FilterChip(FilterCategory category, QWidget *parent)
    : QAbstractButton(parent), m_category(category)
{
    setText(rawValue(category));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void FilterChip::setSelectedChip(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

QFont FilterChip::chipFont(bool selected) const
{
    return PanelFonts::system(11, selected ? QFont::DemiBold : QFont::Normal);
}

QSize FilterChip::sizeHint() const
{
    // Room for the wider, semibold label either way: choosing a chip never
    // moves its neighbours.
    const QFontMetrics fm(chipFont(true));
    return {fm.horizontalAdvance(text()) + 2 * paddingX, fm.height() + 2 * paddingY};
}

void FilterChip::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius, radius);
    p.fillPath(shape, m_selected ? NamedColors::accent(palette())
                                 : NamedColors::primary(palette(), 0.04));
    p.setFont(chipFont(m_selected));
    p.setPen(m_selected ? QColor(Qt::white) : NamedColors::secondary(palette()));
    p.drawText(rect(), Qt::AlignCenter, text());
}
