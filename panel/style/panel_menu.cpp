#include "style/panel_menu.h"

#include "style/icon_set.h"
#include "style/named_colors.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionMenuItem>

namespace {

const char *const iconProperty = "panelMenuIcon";
const char *const destructiveProperty = "panelMenuDestructive";
constexpr qreal panelLookRadius = 8;

bool isDestructive(const QAction *action)
{
    return action->property(destructiveProperty).toBool();
}

} // namespace

PanelMenu::PanelMenu(QWidget *parent, Look look) : QMenu(parent), m_look(look)
{
    if (m_look == Look::Panel) {
        // A popup takes no palette from the widget it opens from.
        setPalette(NamedColors::hudPalette(palette()));
        setWindowFlag(Qt::NoDropShadowWindowHint);
    }
    // The palette is only certain once the menu is about to open.
    connect(this, &QMenu::aboutToShow, this, &PanelMenu::tintIcons);
}

QAction *PanelMenu::addEntry(const QString &title, const QString &iconName, Role role)
{
    QAction *action = addAction(QString());
    setTitle(action, title);
    action->setProperty(iconProperty, iconName);
    action->setProperty(destructiveProperty, role == Role::Destructive);
    tintIcons();
    return action;
}

void PanelMenu::setTitle(QAction *action, const QString &title)
{
    QString escaped = title;
    escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
    action->setText(escaped);
}

QColor PanelMenu::destructiveColor(const QPalette &palette)
{
    // A deeper red on light menus, a lighter one on dark menus.
    return palette.color(QPalette::Window).lightness() > 128 ? QColor(215, 0, 21) : QColor(255, 69, 58);
}

void PanelMenu::initStyleOption(QStyleOptionMenuItem *option, const QAction *action) const
{
    QMenu::initStyleOption(option, action);
    if (!action || !isDestructive(action) || !action->isEnabled())
        return;
    const QColor red = destructiveColor(option->palette);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            option->palette.setColor(group, role, red);
    }
}

void PanelMenu::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        tintIcons();
    QMenu::changeEvent(event);
}

void PanelMenu::resizeEvent(QResizeEvent *event)
{
    QMenu::resizeEvent(event);
    // The rounded shape as a mask, which holds with or without a compositor;
    // the outline drawn on top smooths its edge.
    if (m_look == Look::Panel) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), panelLookRadius, panelLookRadius);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    }
}

void PanelMenu::paintEvent(QPaintEvent *event)
{
    QMenu::paintEvent(event);
    if (m_look != Look::Panel)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), panelLookRadius, panelLookRadius);
    p.setPen(QPen(NamedColors::primary(palette(), 0.18), 1));
    p.drawPath(outline);
}

void PanelMenu::tintIcons()
{
    const QPalette pal = palette();
    const qreal dpr = devicePixelRatioF();
    const QColor text = pal.color(QPalette::Text);
    const QColor highlighted = pal.color(QPalette::HighlightedText);
    const QColor disabled = pal.color(QPalette::Disabled, QPalette::Text);
    for (QAction *action : actions()) {
        const QString name = action->property(iconProperty).toString();
        if (name.isEmpty())
            continue;
        const QColor normal = isDestructive(action) ? destructiveColor(pal) : text;
        QIcon icon;
        for (int size : {16, 20, 24, 32}) {
            icon.addPixmap(IconSet::tinted(name, normal, size, dpr), QIcon::Normal);
            // Styles draw the entry under the pointer in the Active mode.
            icon.addPixmap(IconSet::tinted(name, highlighted, size, dpr), QIcon::Active);
            icon.addPixmap(IconSet::tinted(name, disabled, size, dpr), QIcon::Disabled);
        }
        action->setIcon(icon);
    }
}
