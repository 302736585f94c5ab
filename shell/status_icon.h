#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSystemTrayIcon>

// The tray icon: a clipboard with two lines of text, drawn in the palette's
// text colour inside a thin halo of the opposite tone, so that it reads on a
// dark and on a light tray alike.
class StatusIcon
{
public:
    static constexpr int logicalSize = 18;

    // One rendering at the given device pixel ratio (1x is 18 x 18 pixels).
    static QPixmap render(qreal devicePixelRatio, const QColor &colour = Qt::black);
    // 1x and 2x renderings. Not a mask: a desktop that recoloured it in one
    // colour would fill in the halo.
    static QIcon icon(const QColor &colour = Qt::black);
};

// What a click on the tray icon does.
enum class TrayClick { TogglePanel, OpenMenu, Ignore };

// A plain left click toggles the panel; a right click, or a left click with
// Ctrl held, opens the menu.
TrayClick trayClickAction(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers);
