#include "code_view/code_area.h"

#include "style/named_colors.h"
#include "style/pane_style.h"
#include "style/panel_fonts.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

// Longer lines are drawn in pieces, only those in view: shaping a line of
// megabytes on every paint would stall the panel.
constexpr qsizetype chunkLength = 2048;

// The end of the piece starting at start: about chunkLength units, moved
// forward so that no surrogate pair or combining sequence is cut.
qsizetype chunkEnd(QStringView text, qsizetype start)
{
    return CodeLines::pieceEnd(text, qMin(text.size(), start + chunkLength));
}

} // namespace

CodeArea::CodeArea(const QString &code, QWidget *parent)
    : QAbstractScrollArea(parent), m_code(code), m_lines(code),
      m_classes(size_t(m_lines.count()), qint8(-1))
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The area's own fill lies under the viewport and the scroll bars alike.
    QPalette fill;
    fill.setColor(QPalette::Window, QColor(0, 0, 0, qRound(255 * 0.25)));
    setPalette(fill);
    setAutoFillBackground(true);
    viewport()->setAutoFillBackground(false);
    // Slim indicators in the desktop-neutral look of the rest of the panel.
    const QString bars = QStringLiteral(
        "QScrollBar { background: transparent; border: none; margin: 0; }"
        "QScrollBar:vertical { width: 10px; } QScrollBar:horizontal { height: 10px; }"
        "QScrollBar::handle { background: rgba(128, 128, 128, 150); border-radius: 3px; margin: 2px; }"
        "QScrollBar::handle:vertical { min-height: 24px; } QScrollBar::handle:horizontal { min-width: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }");
    verticalScrollBar()->setStyleSheet(bars);
    horizontalScrollBar()->setStyleSheet(bars);
    auto *corner = new QWidget(this);
    corner->setAutoFillBackground(false);
    setCornerWidget(corner);

    for (qsizetype i = 0; i < m_lines.count(); ++i)
        m_maxColumns = qMax(m_maxColumns, CodeLines::displayColumns(line(i), 0, tabColumns));
    measure();
}

void CodeArea::measure()
{
    m_font = PanelFonts::monospaced(12);
    viewport()->setFont(m_font);
    const QFontMetricsF fm(m_font);
    m_advance = fm.horizontalAdvance(u' ');
    // Fixed-pitch digits: the last number is the widest.
    m_numberWidth = int(std::ceil(fm.horizontalAdvance(QString::number(lineCount()))));
    m_gutterWidth = gutterInset + m_numberWidth + gutterInset;
    m_codeWidth = int(std::ceil(m_maxColumns * m_advance));
    updateScrollBars();
}

CodeLines::LineClass CodeArea::lineClass(qsizetype index) const
{
    qint8 &cached = m_classes[size_t(index)];
    if (cached < 0)
        cached = qint8(CodeLines::highlightLine(line(index)));
    return CodeLines::LineClass(cached);
}

int CodeArea::rowTop(qsizetype index) const
{
    return int(verticalInset + index * (rowHeight + rowSpacing));
}

QRect CodeArea::gutterRowRect(qsizetype index) const
{
    return {gutterInset, rowTop(index), m_numberWidth, rowHeight};
}

QRect CodeArea::codeRowRect(qsizetype index) const
{
    return {m_gutterWidth + 1 + codeInset, rowTop(index), m_codeWidth, rowHeight};
}

int CodeArea::naturalWidth() const
{
    const qint64 width = qint64(m_gutterWidth) + 1 + codeInset + m_codeWidth + codeInset;
    return int(qMin<qint64>(width, INT_MAX / 2));
}

QSize CodeArea::contentSize() const
{
    const qint64 n = lineCount();
    const qint64 height = 2 * verticalInset + n * rowHeight + (n - 1) * rowSpacing;
    return {qMax(minimumContentWidth, naturalWidth()), int(qMin<qint64>(height, INT_MAX / 2))};
}

std::pair<qsizetype, qsizetype> CodeArea::visibleRows() const
{
    const int top = verticalScrollBar()->value();
    const int bottom = top + viewport()->height();
    const int pitch = rowHeight + rowSpacing;
    const qsizetype last = lineCount() - 1;
    const qsizetype first = std::clamp<qsizetype>((top - verticalInset) / pitch, 0, last);
    const qsizetype end = std::clamp<qsizetype>((bottom - verticalInset) / pitch, 0, last);
    return {first, end};
}

QSize CodeArea::sizeHint() const
{
    return {minimumContentWidth, 240};
}

void CodeArea::updateScrollBars()
{
    const QSize content = contentSize();
    const QSize view = viewport()->size();
    // The minimum width is met against the whole area, bar included, as
    // where scroll bars float over the content: a vertical bar alone never
    // makes the empty rest of that width scroll sideways.
    const int sideways = qMax(naturalWidth() - view.width(), minimumContentWidth - contentsRect().width());
    horizontalScrollBar()->setRange(0, qMax(0, sideways));
    horizontalScrollBar()->setPageStep(view.width());
    horizontalScrollBar()->setSingleStep(int(m_advance * 3));
    verticalScrollBar()->setRange(0, qMax(0, content.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(rowHeight + rowSpacing);
}

void CodeArea::widenTo(int codeWidth)
{
    if (codeWidth <= m_codeWidth)
        return;
    m_codeWidth = codeWidth;
    // Not from inside the paint: a range change may scroll.
    QMetaObject::invokeMethod(this, [this] {
        updateScrollBars();
        viewport()->update();
    }, Qt::QueuedConnection);
}

void CodeArea::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void CodeArea::scrollContentsBy(int, int)
{
    viewport()->update();
}

void CodeArea::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

void CodeArea::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const QPalette &pal = palette();

    const int dx = horizontalScrollBar()->value();
    const int dy = verticalScrollBar()->value();
    const QSize content = contentSize();
    p.translate(-dx, -dy);

    p.fillRect(QRect(0, 0, m_gutterWidth, content.height()), QColor(0, 0, 0, qRound(255 * 0.15)));
    p.fillRect(QRect(m_gutterWidth, 0, 1, content.height()),
               NamedColors::withOpacity(PaneStyle::separator(pal), 0.3));

    p.setFont(m_font);
    const QColor numberColour = NamedColors::secondary(pal, 0.45);
    const int visibleLeft = dx;
    const int visibleRight = dx + viewport()->width();
    const auto [first, last] = visibleRows();
    for (qsizetype i = first; i <= last; ++i) {
        p.setPen(numberColour);
        p.drawText(gutterRowRect(i), Qt::AlignRight | Qt::AlignVCenter, QString::number(i + 1));
        drawCodeLine(p, i, codeRowRect(i), visibleLeft, visibleRight);
    }
}

void CodeArea::drawCodeLine(QPainter &p, qsizetype index, const QRect &row, int visibleLeft,
                            int visibleRight)
{
    const QStringView text = line(index);
    if (text.isEmpty())
        return;
    p.setPen(CodeLines::lineColor(lineClass(index)));
    const QFontMetricsF fm(m_font);
    const qreal baseline = row.top() + (rowHeight - fm.height()) / 2 + fm.ascent();

    if (text.size() <= chunkLength) {
        const QString shown = CodeLines::expandTabs(text, 0, tabColumns);
        p.drawText(QPointF(row.left(), baseline), shown);
        widenTo(int(std::ceil(fm.horizontalAdvance(shown))));
        return;
    }
    int column = 0;
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype end = chunkEnd(text, start);
        const QStringView piece = text.mid(start, end - start);
        const int endColumn = CodeLines::displayColumns(piece, column, tabColumns);
        const qreal x = row.left() + column * m_advance;
        if (x > visibleRight)
            break;
        if (x + (endColumn - column) * m_advance >= visibleLeft)
            p.drawText(QPointF(x, baseline), CodeLines::expandTabs(piece, column, tabColumns));
        column = endColumn;
        start = end;
    }
}
