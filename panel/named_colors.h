#pragma once

#include <QColor>
#include <QPalette>

// The fixed sRGB values of the named colours, and the semantic foreground
// colours taken from a widget palette. One table, so every pane agrees.
namespace NamedColors {

inline QColor gray() { return QColor(142, 142, 147); }
inline QColor pink() { return QColor(255, 45, 85); }
inline QColor purple() { return QColor(175, 82, 222); }
inline QColor orange() { return QColor(255, 149, 0); }
inline QColor blue() { return QColor(0, 122, 255); }
inline QColor cyan() { return QColor(50, 173, 230); }
inline QColor indigo() { return QColor(88, 86, 214); }

// Multiplies the colour's own alpha, so that a palette colour that is
// already translucent (placeholder text) gets lighter still.
inline QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

// Primary label colour: the palette's text.
inline QColor primary(const QPalette &palette, qreal opacity = 1.0)
{
    return withOpacity(palette.color(QPalette::Text), opacity);
}

// Secondary label colour: the palette's placeholder text.
inline QColor secondary(const QPalette &palette, qreal opacity = 1.0)
{
    return withOpacity(palette.color(QPalette::PlaceholderText), opacity);
}

// The accent colour: the palette's highlight.
inline QColor accent(const QPalette &palette, qreal opacity = 1.0)
{
    return withOpacity(palette.color(QPalette::Highlight), opacity);
}

} // namespace NamedColors
