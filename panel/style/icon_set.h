#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// The project's own small icon set: monochrome SVGs under :/icons/<name>.svg
// (names follow the symbol names of the design), tinted at paint time so
// that they read on any desktop theme.
namespace IconSet {

// The icon rendered at pixelSize x pixelSize device-independent pixels,
// every opaque pixel painted in color (its alpha included). Cached per
// (name, colour, size, ratio). An unknown name gives a null pixmap.
QPixmap tinted(const QString &name, const QColor &color, int pixelSize,
               qreal devicePixelRatio = 1.0);

// A QIcon (for menus and buttons) tinted in color, rendered for the usual
// menu sizes at the given ratio.
QIcon icon(const QString &name, const QColor &color, qreal devicePixelRatio = 1.0);

bool exists(const QString &name);

} // namespace IconSet
