#include "inspector/empty_state_view.h"

#include "style/icon_set.h"
#include "style/named_colors.h"
#include "style/panel_fonts.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

EmptyStateView::EmptyStateView(QWidget *parent)
    : QWidget(parent), m_icon(new QLabel(this)), m_message(new QLabel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addStretch(1);

    tintIcon();
    m_icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);

    m_message->setText(QStringLiteral("No Clips Found"));
    m_message->setFont(PanelFonts::system(13, QFont::Medium));
    m_message->setForegroundRole(QPalette::PlaceholderText);
    m_message->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_message, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

void EmptyStateView::tintIcon()
{
    m_icon->setPixmap(IconSet::tinted(QStringLiteral("tray"), NamedColors::secondary(palette(), 0.4), 32,
                                      devicePixelRatioF()));
}

void EmptyStateView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        tintIcon();
    QWidget::changeEvent(event);
}
