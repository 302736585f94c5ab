#include "inspector/text_pane.h"

#include "inspector/relative_time.h"
#include "inspector/text_blocks.h"
#include "style/named_colors.h"
#include "style/panel_fonts.h"
#include "style/thin_scroll_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr qsizetype firstLength = 16 * 1024;
constexpr qsizetype loadStep = 256 * 1024;

} // namespace

// A frameless text view on a faint rounded card. It shows the text as
// TextBlocks cut it; a copy takes the original text of the selection.
class TextPane::TextBox : public QPlainTextEdit
{
public:
    TextBox(std::shared_ptr<const TextBlocks> blocks, QWidget *parent)
        : QPlainTextEdit(parent), m_blocks(std::move(blocks))
    {
        setFrameShape(QFrame::NoFrame);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setFont(PanelFonts::system(13));
        document()->setDocumentMargin(8);
        followTextDirection();
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        makeThinScrollBar(verticalScrollBar());
        viewport()->setAutoFillBackground(false);
        QPalette clear = palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        setPalette(clear);
    }

protected:
    void changeEvent(QEvent *event) override
    {
        QPlainTextEdit::changeEvent(event);
        // The widget's direction would otherwise be forced on every paragraph.
        if (event->type() == QEvent::LayoutDirectionChange)
            followTextDirection();
    }

    QMimeData *createMimeDataFromSelection() const override
    {
        const QTextCursor cursor = textCursor();
        auto *data = new QMimeData;
        data->setText(m_blocks->originalText(cursor.selectionStart(), cursor.selectionEnd()));
        return data;
    }

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

private:
    // Each paragraph takes the direction of its own first strong letter and
    // is aligned to its start: a Hebrew paragraph to the right. This layout
    // has one alignment for all paragraphs, and only "justify" puts each
    // paragraph's last line at its own start; so texts with right-to-left
    // paragraphs are justified, the others stay ragged.
    void followTextDirection()
    {
        QTextOption option = document()->defaultTextOption();
        option.setTextDirection(Qt::LayoutDirectionAuto);
        option.setAlignment(m_blocks->hasRightToLeft() ? Qt::AlignJustify : Qt::AlignLeft);
        document()->setDefaultTextOption(option);
    }

    std::shared_ptr<const TextBlocks> m_blocks;
};

namespace {

// A role, not a colour: panes are built before they join the panel, whose
// palette they take on only then.
void setSecondary(QLabel *label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
}

} // namespace

QString TextPane::statisticsText(qint64 words, qint64 characters)
{
    return QStringLiteral("%1 words \u2022 %2 characters").arg(words).arg(characters);
}

TextPane::TextPane(const ClipItemPtr &item, TimeInterval now, QWidget *parent)
    : QWidget(parent),
      m_item(item),
      m_blocks(std::make_shared<TextBlocks>(item->rawContent())),
      m_text(new TextBox(m_blocks, this)),
      m_statistics(new QLabel(this)),
      m_time(new QLabel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    loadText();
    layout->addWidget(m_text, 1);

    auto *stats = new QHBoxLayout;
    stats->setContentsMargins(4, 0, 4, 0);
    m_statistics->setFont(PanelFonts::monospaced(11));
    m_statistics->setText(statisticsText(item->wordCount(), item->charCount()));
    setSecondary(m_statistics);
    stats->addWidget(m_statistics);
    stats->addStretch(1);
    m_time->setFont(PanelFonts::system(11));
    showTime(now);
    setSecondary(m_time);
    stats->addWidget(m_time);
    layout->addLayout(stats);
}

TextPane::~TextPane() = default;

QPlainTextEdit *TextPane::textBox() const
{
    return m_text;
}

void TextPane::showTime(TimeInterval now)
{
    m_time->setText(relativeTimeText(m_item->timestamp(), now));
}

void TextPane::loadText()
{
    // The box lays out only the blocks in view (and the last screen, to size
    // its scroll bar), and every block is short. What goes in at once fills
    // the first screens; the rest follows from the event loop in steps.
    m_cursor = std::make_unique<QTextCursor>(m_text->document());
    if (m_blocks->appendTo(*m_cursor, firstLength))
        QTimer::singleShot(0, this, &TextPane::loadMore);
}

void TextPane::loadMore()
{
    m_cursor->movePosition(QTextCursor::End);
    if (m_blocks->appendTo(*m_cursor, loadStep)) {
        QTimer::singleShot(0, this, &TextPane::loadMore);
        return;
    }
    m_cursor.reset();
    emit loaded();
}
