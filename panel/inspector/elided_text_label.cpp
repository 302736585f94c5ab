#include "inspector/elided_text_label.h"

#include "code_view/code_lines.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

namespace {

// Enough characters to fill the allowed lines at any sane width.
constexpr qsizetype layoutBudgetPerLine = 4096;

} // namespace

ElidedTextLabel::ElidedTextLabel(const QString &text, int maximumLines, QWidget *parent)
    : QWidget(parent), m_text(text), m_maximumLines(qMax(1, maximumLines))
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QStringList ElidedTextLabel::displayedLines(int width) const
{
    width = qMax(1, width);
    // Layouts ask for the same width several times in a row.
    if (width == m_cachedWidth)
        return m_cachedLines;
    const QFontMetricsF fm(font());
    const qsizetype budget = layoutBudgetPerLine * m_maximumLines;
    QString shown = QStringView(m_text).left(budget).toString();
    // Hard line breaks of any kind break the layout's lines too.
    for (QChar &c : shown) {
        if (CodeLines::isLineSeparator(c))
            c = QChar::LineSeparator;
    }

    QTextLayout layout(shown, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    qsizetype consumed = 0;
    while (lines.size() < m_maximumLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        QString piece = shown.mid(line.textStart(), line.textLength());
        if (piece.endsWith(QChar::LineSeparator))
            piece.chop(1);
        lines << piece;
        consumed = line.textStart() + line.textLength();
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines << QString();

    const bool more = consumed < shown.size() || shown.size() < m_text.size();
    if (more) {
        const QString ellipsis(QChar(0x2026));
        QString &last = lines.last();
        const QString cut = fm.elidedText(last, Qt::ElideRight, width - fm.horizontalAdvance(ellipsis));
        last = cut == last ? last + ellipsis : cut;
    }
    m_cachedWidth = width;
    m_cachedLines = lines;
    return lines;
}

int ElidedTextLabel::heightForWidth(int width) const
{
    return int(displayedLines(width).size()) * fontMetrics().lineSpacing();
}

QSize ElidedTextLabel::sizeHint() const
{
    const int natural = fontMetrics().horizontalAdvance(QStringView(m_text).left(200).toString());
    const int width = qMin(natural + 1, 480);
    return {width, heightForWidth(width)};
}

QSize ElidedTextLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 4, fontMetrics().lineSpacing()};
}

void ElidedTextLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        m_cachedWidth = -1;
    QWidget::changeEvent(event);
}

void ElidedTextLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    const int step = fontMetrics().lineSpacing();
    int y = 0;
    for (const QString &line : displayedLines(width())) {
        p.drawText(QRect(0, y, width(), step), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   line);
        y += step;
    }
}
