#include "empty_state_view.h"

#include "icon_set.h"
#include "named_colors.h"
#include "panel_fonts.h"

#include <QLabel>
#include <QVBoxLayout>

EmptyStateView::EmptyStateView(QWidget *parent)
    : QWidget(parent), m_icon(new QLabel(this)), m_message(new QLabel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addStretch(1);

    m_icon->setPixmap(IconSet::tinted(QStringLiteral("tray"), NamedColors::secondary(palette(), 0.4),
                                      32, devicePixelRatioF()));
    m_icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_icon, 0, Qt::AlignHCenter);

    m_message->setText(QStringLiteral("No Clips Found"));
    m_message->setFont(PanelFonts::system(13, QFont::Medium));
    QPalette pal = m_message->palette();
    pal.setColor(QPalette::WindowText, NamedColors::secondary(palette()));
    m_message->setPalette(pal);
    m_message->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_message, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}
