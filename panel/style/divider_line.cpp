#include "style/divider_line.h"

#include "style/named_colors.h"

#include <QPainter>

DividerLine::DividerLine(Qt::Orientation orientation, qreal opacity, QWidget *parent)
    : QWidget(parent), m_opacity(opacity)
{
    if (orientation == Qt::Horizontal)
        setFixedHeight(1);
    else
        setFixedWidth(1);
}

void DividerLine::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), NamedColors::primary(palette(), m_opacity));
}
