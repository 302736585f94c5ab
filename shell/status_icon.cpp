#include "status_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// spread widens every stroke by that many pixels on each side: the halo.
void drawLogo(QPainter &p, const QColor &colour, qreal spread = 0)
{
    // The drawing is laid out with y upwards, like the artwork it came from.
    p.translate(0, StatusIcon::logicalSize);
    p.scale(1, -1);
    p.setRenderHint(QPainter::Antialiasing);

    QPen pen(colour);
    pen.setJoinStyle(Qt::RoundJoin);

    // The board.
    pen.setWidthF(1.4 + 2 * spread);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(2.5, 1.5, 13, 13), 3, 3);

    // The clip.
    if (spread > 0) {
        pen.setWidthF(2 * spread);
        p.setPen(pen);
    } else {
        p.setPen(Qt::NoPen);
    }
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(5.5, 13, 7, 3.5), 1.2, 1.2);

    // Two lines of text.
    p.setBrush(Qt::NoBrush);
    pen.setCapStyle(Qt::RoundCap);
    QPainterPath upper(QPointF(4.5, 9.5));
    upper.cubicTo(QPointF(7.5, 11.5), QPointF(10.5, 6.5), QPointF(13.5, 8.5));
    pen.setWidthF(1.3 + 2 * spread);
    p.setPen(pen);
    p.drawPath(upper);

    QPainterPath lower(QPointF(4.5, 5.5));
    lower.cubicTo(QPointF(7.5, 7.5), QPointF(10.5, 2.5), QPointF(13.5, 4.5));
    pen.setWidthF(1.2 + 2 * spread);
    p.setPen(pen);
    p.drawPath(lower);
}

// Light around a dark glyph, dark around a light one.
QColor haloFor(const QColor &glyph)
{
    QColor halo = glyph.lightnessF() < 0.5 ? QColor(255, 255, 255) : QColor(0, 0, 0);
    halo.setAlphaF(0.85f);
    return halo;
}

} // namespace

QPixmap StatusIcon::render(qreal devicePixelRatio, const QColor &colour)
{
    const int pixels = qRound(logicalSize * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    // The tray's background is unknown (an XEmbed tray tells nothing of it):
    // a thin halo of the opposite tone keeps the glyph readable on any.
    QPainter painter(&pixmap);
    painter.save();
    drawLogo(painter, haloFor(colour), 0.9);
    painter.restore();
    drawLogo(painter, colour);
    return pixmap;
}

QIcon StatusIcon::icon(const QColor &colour)
{
    QIcon icon;
    icon.addPixmap(render(1.0, colour));
    icon.addPixmap(render(2.0, colour));
    return icon;
}

TrayClick trayClickAction(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return modifiers.testFlag(Qt::ControlModifier) ? TrayClick::OpenMenu
                                                       : TrayClick::TogglePanel;
    case QSystemTrayIcon::DoubleClick:
        // Qt reports the second of two quick clicks only as a double click:
        // it is a click like any other and toggles back.
        return TrayClick::TogglePanel;
    case QSystemTrayIcon::Context:
        return TrayClick::OpenMenu;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return TrayClick::Ignore;
}
