#include "text_pane.h"

#include "named_colors.h"
#include "panel_fonts.h"
#include "relative_time.h"
#include "thin_scroll_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// A frameless text view on a faint rounded card.
class TextBox : public QPlainTextEdit
{
public:
    explicit TextBox(QWidget *parent) : QPlainTextEdit(parent)
    {
        setFrameShape(QFrame::NoFrame);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setFont(PanelFonts::system(13));
        document()->setDocumentMargin(8);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        makeThinScrollBar(verticalScrollBar());
        viewport()->setAutoFillBackground(false);
        QPalette clear = palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        setPalette(clear);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        {
            QPainter p(viewport());
            p.setRenderHint(QPainter::Antialiasing);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(viewport()->rect()), 8, 8);
            p.fillPath(shape, NamedColors::primary(palette(), 0.03));
        }
        QPlainTextEdit::paintEvent(event);
    }
};

void setSecondary(QLabel *label)
{
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, NamedColors::secondary(label->palette()));
    label->setPalette(pal);
}

} // namespace

QString TextPane::statisticsText(qint64 words, qint64 characters)
{
    return QStringLiteral("%1 words \u2022 %2 characters").arg(words).arg(characters);
}

TextPane::TextPane(const ClipItemPtr &item, TimeInterval now, QWidget *parent)
    : QWidget(parent),
      m_text(new TextBox(this)),
      m_statistics(new QLabel(this)),
      m_time(new QLabel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    m_text->setPlainText(item->rawContent());
    layout->addWidget(m_text, 1);

    auto *stats = new QHBoxLayout;
    stats->setContentsMargins(4, 0, 4, 0);
    m_statistics->setFont(PanelFonts::monospaced(11));
    m_statistics->setText(statisticsText(item->wordCount(), item->charCount()));
    setSecondary(m_statistics);
    stats->addWidget(m_statistics);
    stats->addStretch(1);
    m_time->setFont(PanelFonts::system(11));
    m_time->setText(relativeTimeText(item->timestamp(), now));
    setSecondary(m_time);
    stats->addWidget(m_time);
    layout->addLayout(stats);
}
