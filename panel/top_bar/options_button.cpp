#include "top_bar/options_button.h"

#include "clipboard_manager.h"
#include "style/icon_set.h"
#include "style/panel_menu.h"
#include "style/named_colors.h"
#include "panel_services.h"

#include <QPainter>
#include <QPainterPath>

OptionsButton::OptionsButton(const PanelServices &services, QWidget *parent)
    : QToolButton(parent), m_menu(new PanelMenu(this, PanelMenu::Look::Panel))
{
    setFixedSize(26, 26);
    setToolTip(QStringLiteral("Tavorindle Options"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover); // repainted as the pointer comes and goes
    setPopupMode(QToolButton::InstantPopup);
    setMenu(m_menu);

    ClipboardManager &store = services.clipboardManager;
    m_menu->addEntry(QStringLiteral("Clear Unpinned History"), QStringLiteral("trash"), this,
                     [&store] { store.clearUnpinned(); });
    m_menu->addSeparator();
    auto openUrl = services.openUrl;
    m_menu->addEntry(QStringLiteral("Website & Documentation"), QStringLiteral("globe"), this,
                     [openUrl] {
                         const QUrl &url = productWebsite();
                         if (url.isValid() && openUrl)
                             openUrl(url);
                     });
    m_menu->addSeparator();
    auto quit = services.quit;
    m_menu->addEntry(QStringLiteral("Quit Tavorindle"), QStringLiteral("power"), this, [quit] {
        if (quit)
            quit();
    });
}

// Drawn by hand: a borderless label with no menu arrow.
void OptionsButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 6, 6);
    // Pressed while its menu is open.
    const bool down = isDown() || (menu() && menu()->isVisible());
    const bool hovered = underMouse();
    p.fillPath(shape, NamedColors::primary(palette(), down ? 0.2 : hovered ? 0.12 : 0.05));
    const int size = 13;
    const QColor ink = down || hovered ? NamedColors::primary(palette()) : NamedColors::secondary(palette());
    const QPixmap gear = IconSet::tinted(QStringLiteral("gearshape"), ink, size, devicePixelRatioF());
    p.drawPixmap(QRect((width() - size) / 2, (height() - size) / 2, size, size), gear);
}
