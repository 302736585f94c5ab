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

// The panel is a dark heads-up display whatever the desktop theme: its
// code colours (plain lines in white) are made for a dark ground.
inline QPalette hudPalette(QPalette base)
{
    const QColor ground(28, 28, 31);
    const QColor text(236, 236, 240);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        base.setColor(group, QPalette::Window, ground);
        base.setColor(group, QPalette::Base, ground);
        base.setColor(group, QPalette::AlternateBase, ground.lighter(115));
        base.setColor(group, QPalette::Button, QColor(58, 58, 62));
        base.setColor(group, QPalette::Text, text);
        base.setColor(group, QPalette::WindowText, text);
        base.setColor(group, QPalette::ButtonText, text);
        base.setColor(group, QPalette::BrightText, Qt::white);
        base.setColor(group, QPalette::PlaceholderText, QColor(235, 235, 245, 150));
        base.setColor(group, QPalette::Highlight, QColor(10, 132, 255));
        base.setColor(group, QPalette::HighlightedText, Qt::white);
        base.setColor(group, QPalette::Light, QColor(90, 90, 96));
        base.setColor(group, QPalette::Midlight, QColor(72, 72, 78));
        base.setColor(group, QPalette::Mid, QColor(50, 50, 55));
        base.setColor(group, QPalette::Dark, QColor(20, 20, 22));
        base.setColor(group, QPalette::Shadow, Qt::black);
    }
    base.setColor(QPalette::Disabled, QPalette::Text, QColor(236, 236, 240, 110));
    base.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(236, 236, 240, 110));
    return base;
}

} // namespace NamedColors
