#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringView>

// The pure side of the code viewer: how a snippet is cut into lines, which
// colour class each line gets, and the header's count label. The widgets
// only draw what these return.
namespace CodeLines {

// U+000A, U+000B, U+000C, U+000D, U+0085, U+2028, U+2029. All are single
// UTF-16 units, which the offset table below relies on.
bool isLineSeparator(QChar c);

// Where each line of a text starts, without copying the text: line i spans
// [start(i), end(i)). n separators give n + 1 lines; an empty text has one
// empty line. A CR LF pair is two separators with an empty line between.
class LineIndex
{
public:
    LineIndex() : m_starts{0} {}
    explicit LineIndex(QStringView text);

    qsizetype count() const { return m_starts.size(); }
    qsizetype start(qsizetype line) const { return m_starts[line]; }
    qsizetype end(qsizetype line) const;
    QStringView line(QStringView text, qsizetype line) const
    {
        return text.mid(start(line), end(line) - start(line));
    }

private:
    QList<qsizetype> m_starts;
    qsizetype m_textSize = 0;
};

// A place to cut text at or just after end that splits no surrogate pair
// and no base character from its combining marks or joined successor, so
// that long text can be handled in pieces that each draw correctly.
qsizetype pieceEnd(QStringView text, qsizetype end);

enum class LineClass { Comment, Import, Definition, Control, Plain };

// The first of the ordered prefix/substring tests that holds on the line
// trimmed of spaces (Zs) and tabs. Case-sensitive, no word boundaries.
LineClass highlightLine(QStringView line);

// The class's named colour with its opacity applied.
QColor lineColor(LineClass lineClass);

// Display columns of text drawn from startColumn: tabs advance to the next
// multiple of tabColumns, East Asian wide and full-width characters take two
// columns, combining marks and format characters none, everything else one.
// Returns the column after the text. Used to size and place long lines
// without shaping them.
int displayColumns(QStringView text, int startColumn, int tabColumns);
// text with each tab replaced by the spaces up to its tab stop (display only).
QString expandTabs(QStringView text, int startColumn, int tabColumns);

// "<lines> lines • <characters> chars", characters being grapheme clusters.
QString countsLabel(qsizetype lineCount, qint64 characterCount);
QString countsLabel(QStringView text);

} // namespace CodeLines
