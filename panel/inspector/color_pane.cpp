#include "inspector/color_pane.h"

#include "style/named_colors.h"
#include "style/pane_style.h"
#include "style/panel_fonts.h"
#include "panel_services.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace {

class Swatch : public QWidget
{
public:
    Swatch(const QColor &color, QWidget *parent) : QWidget(parent), m_color(color)
    {
        setFixedSize(64, 64);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(NamedColors::primary(palette(), 0.12), 1));
        p.setBrush(m_color);
        p.drawRoundedRect(shape, 12, 12);
    }

private:
    QColor m_color;
};

} // namespace

ColorPane::ColorPane(ClipItemPtr item, const PanelServices &services, QWidget *parent)
    : QWidget(parent), m_item(std::move(item)), m_services(services)
{
    auto *card = new PaneCard(this);
    auto *cardRow = new QHBoxLayout(card);
    cardRow->setContentsMargins(12, 12, 12, 12);
    cardRow->setSpacing(14);
    const QColor swatch = ColorValue::colorFromHexOrFallback(m_item->rawContent());
    cardRow->addWidget(new Swatch(swatch, card), 0, Qt::AlignVCenter);

    auto *textColumn = new QVBoxLayout;
    textColumn->setSpacing(4);
    m_value = PaneStyle::label(m_item->rawContent().toUpper(),
                               PanelFonts::monospaced(16, QFont::Bold), PaneStyle::Tone::Primary,
                               card);
    m_value->setWordWrap(true);
    textColumn->addWidget(m_value);
    textColumn->addWidget(PaneStyle::label(QStringLiteral("RGB / Hex Color Swatch"),
                                           PanelFonts::system(12), PaneStyle::Tone::Secondary,
                                           card));
    auto *textHolder = new QVBoxLayout;
    textHolder->addStretch(1);
    textHolder->addLayout(textColumn);
    textHolder->addStretch(1);
    cardRow->addLayout(textHolder, 1);

    auto *formats = new QVBoxLayout;
    formats->setSpacing(6);
    formats->addWidget(PaneStyle::label(QStringLiteral("Copy Formats"),
                                        PanelFonts::system(11, QFont::DemiBold),
                                        PaneStyle::Tone::Secondary, this));
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    for (ColorValue::CopyFormat format : ColorValue::copyFormats()) {
        auto *button = new PaneButton(ColorValue::copyFormatLabel(format), QString(),
                                      PaneButton::Style::Bordered, PaneButton::Size::Small,
                                      PanelFonts::system(11), this);
        connect(button, &QPushButton::clicked, this, [this, format] {
            ColorValue::copyToPasteboard(format, *m_item, m_services.clipboardManager);
        });
        buttons->addWidget(button);
        m_buttons << button;
    }
    buttons->addStretch(1);
    formats->addLayout(buttons);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    column->addWidget(card);
    column->addLayout(formats);
    column->addStretch(1);
}

QPushButton *ColorPane::copyButton(ColorValue::CopyFormat format) const
{
    const qsizetype index = ColorValue::copyFormats().indexOf(format);
    return index >= 0 ? m_buttons.value(index) : nullptr;
}
