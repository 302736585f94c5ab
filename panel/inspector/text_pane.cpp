#include "inspector/text_pane.h"

#include "style/named_colors.h"
#include "style/panel_fonts.h"
#include "inspector/relative_time.h"
#include "style/thin_scroll_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
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

    // Very long lines are shown broken into paragraphs of their own, since
    // a text view lays out a whole paragraph at once; a copy maps the
    // selection back onto the original text, so it carries no added breaks.
    void setOriginal(const QString &text) { m_original = text; }
    void addBreakAt(qsizetype documentPosition) { m_breaks.append(documentPosition); }

protected:
    QMimeData *createMimeDataFromSelection() const override
    {
        const QTextCursor cursor = textCursor();
        const qsizetype from = originalOffset(cursor.selectionStart());
        const qsizetype to = originalOffset(cursor.selectionEnd());
        auto *data = new QMimeData;
        data->setText(m_original.mid(from, to - from));
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
    qsizetype originalOffset(qsizetype documentPosition) const
    {
        const auto before = std::lower_bound(m_breaks.begin(), m_breaks.end(), documentPosition);
        return documentPosition - (before - m_breaks.begin());
    }

    QString m_original;
    QList<qsizetype> m_breaks; // ascending document positions of added breaks
};

// A role, not a colour: panes are built before they join the panel, whose
// palette they take on only then.
void setSecondary(QLabel *label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
}

} // namespace

namespace {

constexpr qsizetype sliceLength = 32 * 1024;

struct Slice
{
    qsizetype end;
    bool midLine; // cut inside a line: the display breaks it here
};

// Where the next slice ends: after a line break near the limit if there is
// one, else inside the line but never between the halves of a surrogate pair.
Slice nextSlice(const QString &text, qsizetype from)
{
    qsizetype end = std::min(text.size(), from + sliceLength);
    if (end == text.size())
        return {end, false};
    const qsizetype lineBreak = text.lastIndexOf(QLatin1Char('\n'), end - 1);
    if (lineBreak >= from)
        return {lineBreak + 1, false};
    if (text.at(end - 1).isHighSurrogate())
        --end;
    return {end, true};
}

} // namespace

void TextPane::loadText(const QString &text)
{
    auto *box = static_cast<TextBox *>(m_text);
    box->setOriginal(text);
    if (text.size() <= sliceLength) {
        m_text->setPlainText(text);
        return;
    }
    // A long text goes in slice by slice from the event loop, so that the
    // panel answers while it loads.
    m_text->setPlainText(QString());
    appendSlice(text, 0);
}

void TextPane::appendSlice(const QString &text, qsizetype from)
{
    auto *box = static_cast<TextBox *>(m_text);
    const Slice slice = nextSlice(text, from);
    QTextCursor cursor(m_text->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text.mid(from, slice.end - from));
    if (slice.midLine) {
        box->addBreakAt(cursor.position());
        cursor.insertText(QStringLiteral("\n"));
    }
    if (slice.end < text.size())
        QTimer::singleShot(0, this, [this, text, end = slice.end] { appendSlice(text, end); });
    else
        emit loaded();
}

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

    loadText(item->rawContent());
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
