#include "top_bar/search_field.h"

#include "style/icon_set.h"
#include "style/named_colors.h"
#include "style/panel_fonts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QToolButton>

SearchField::SearchField(QWidget *parent)
    : QWidget(parent),
      m_symbol(new QLabel(this)),
      m_edit(new QLineEdit(this)),
      m_clear(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(8);

    m_symbol->setFixedSize(13, 13);
    layout->addWidget(m_symbol);

    m_edit->setPlaceholderText(QStringLiteral("Search snippets, links, code..."));
    m_edit->setFrame(false);
    m_edit->setFont(PanelFonts::system(13));
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    // Plain style: no box of its own, the field's rounded background shows.
    QPalette transparent = m_edit->palette();
    transparent.setColor(QPalette::Base, Qt::transparent);
    m_edit->setPalette(transparent);
    m_edit->setTextMargins(0, 0, 0, 0);
    m_edit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // One line of text tall, as a plain field is: the style's own line
    // edit height would make the field and the bar taller than the design.
    m_edit->setFixedHeight(QFontMetrics(m_edit->font()).height());
    layout->addWidget(m_edit, 1);

    m_clear->setAutoRaise(true);
    m_clear->setFocusPolicy(Qt::NoFocus);
    m_clear->setCursor(Qt::ArrowCursor);
    m_clear->setFixedSize(14, 14);
    m_clear->setIconSize(QSize(12, 12));
    m_clear->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; background: transparent; }"));
    m_clear->setToolTip(QString());
    m_clear->setVisible(false);
    layout->addWidget(m_clear);

    connect(m_edit, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_clear->setVisible(!text.isEmpty());
    });
    connect(m_edit, &QLineEdit::textEdited, this, &SearchField::textEdited);
    connect(m_clear, &QToolButton::clicked, this, [this] {
        m_edit->clear();
        emit textEdited(QString());
    });
    updateIcons();
}

QString SearchField::text() const
{
    return m_edit->text();
}

void SearchField::setText(const QString &text)
{
    if (text != m_edit->text())
        m_edit->setText(text); // textChanged keeps the clear button in step
}

void SearchField::updateIcons()
{
    const qreal dpr = devicePixelRatioF();
    const QColor secondary = NamedColors::secondary(palette());
    m_symbol->setPixmap(IconSet::tinted(QStringLiteral("magnifyingglass"), secondary, 13, dpr));
    m_clear->setIcon(IconSet::icon(QStringLiteral("xmark.circle.fill"), secondary, dpr));
}

void SearchField::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        updateIcons();
    QWidget::changeEvent(event);
}

void SearchField::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    p.fillPath(shape, NamedColors::primary(palette(), 0.05));
}
