#include "style/pane_style.h"

#include "style/icon_set.h"
#include "style/named_colors.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace PaneStyle {

QLabel *label(const QString &text, const QFont &font, Tone tone, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setFont(font);
    l->setTextFormat(Qt::PlainText);
    // A role, not a colour: the label follows later palette changes.
    l->setForegroundRole(tone == Tone::Primary ? QPalette::Text : QPalette::PlaceholderText);
    return l;
}

QColor separator(const QPalette &palette)
{
    return NamedColors::primary(palette, 0.15);
}

} // namespace PaneStyle

PaneButton::PaneButton(const QString &text, const QString &iconName, Style style, Size size,
                       const QFont &font, QWidget *parent)
    : QPushButton(text, parent), m_iconName(iconName), m_style(style), m_size(size)
{
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int PaneButton::iconSize() const
{
    return m_iconName.isEmpty() ? 0 : fontMetrics().height() - 2;
}

int PaneButton::horizontalPadding() const
{
    return m_size == Size::Small ? 7 : 10;
}

QSize PaneButton::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    int width = fm.horizontalAdvance(text()) + 2 * horizontalPadding();
    if (iconSize() > 0)
        width += iconSize() + 4;
    const int height = m_size == Size::Small ? qMax(20, fm.height() + 6) : qMax(24, fm.height() + 10);
    return {width, height};
}

void PaneButton::enterEvent(QEnterEvent *event)
{
    update();
    QPushButton::enterEvent(event);
}

void PaneButton::leaveEvent(QEvent *event)
{
    update();
    QPushButton::leaveEvent(event);
}

void PaneButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const bool hovered = underMouse();
    const bool down = isDown();

    QColor fill;
    QColor ink;
    if (m_style == Style::Prominent) {
        fill = NamedColors::accent(pal);
        if (down)
            fill = fill.darker(125);
        else if (hovered)
            fill = fill.lighter(112);
        ink = pal.color(QPalette::HighlightedText);
    } else {
        // Steps a glance tells apart on the dark panel.
        fill = NamedColors::primary(pal, down ? 0.3 : hovered ? 0.2 : 0.1);
        ink = NamedColors::primary(pal);
    }
    if (!isEnabled())
        ink = NamedColors::withOpacity(ink, 0.4);

    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(m_style == Style::Bordered ? QPen(NamedColors::primary(pal, 0.08), 1) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(frame, 5, 5);

    const QFontMetrics fm = fontMetrics();
    const int icon = iconSize();
    const int contentWidth = fm.horizontalAdvance(text()) + (icon > 0 ? icon + 4 : 0);
    int x = (width() - contentWidth) / 2;
    if (icon > 0) {
        const QPixmap pm = IconSet::tinted(m_iconName, ink, icon, devicePixelRatioF());
        p.drawPixmap(x, (height() - icon) / 2, pm);
        x += icon + 4;
    }
    p.setPen(ink);
    p.setFont(font());
    p.drawText(QRect(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

PaneCard::PaneCard(QWidget *parent) : QWidget(parent)
{
    // Not Maximum: that would cap the card at its size hint, whose wrapped
    // text was measured at some other width than the card gets.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void PaneCard::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(NamedColors::primary(palette(), 0.04));
    p.drawRoundedRect(QRectF(rect()), 10, 10);
}
