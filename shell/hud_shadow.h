#pragma once

#include "window_system.h"

#include <QSize>

// The panel's drop shadow: black at opacity 0.25, blurred over 30 points
// (a Gaussian of deviation 15), 15 points down, around the rounded outline.
// The window stays the panel's own size; the compositor draws the shadow
// from these tiles outside it.
namespace HudShadow {

inline constexpr qreal opacity = 0.25;
inline constexpr int blurRadius = 30;
inline constexpr int offsetY = 15;

// The tiles for a window of this size and corner radius (in points), in
// device pixels at the given ratio, as the compositor draws them unscaled.
// Nothing is drawn under the window itself, which is translucent.
WindowSystem::Shadow tiles(QSize windowSize, qreal cornerRadius, qreal devicePixelRatio = 1);

} // namespace HudShadow
