#include "code_view/code_lines.h"

#include "style/named_colors.h"
#include "text_rules.h"

#include <unicode/uchar.h>

namespace CodeLines {

bool isLineSeparator(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

LineIndex::LineIndex(QStringView text) : m_textSize(text.size())
{
    m_starts.append(0);
    const QChar *data = text.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isLineSeparator(data[i]))
            m_starts.append(i + 1);
    }
}

qsizetype LineIndex::end(qsizetype line) const
{
    // Every line but the last ends just before its one-unit separator.
    return line + 1 < m_starts.size() ? m_starts[line + 1] - 1 : m_textSize;
}

namespace {

bool isMarkOrJoiner(char32_t c)
{
    const auto category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing
        || category == QChar::Mark_SpacingCombining || c == 0x200D;
}

} // namespace

qsizetype pieceEnd(QStringView text, qsizetype end)
{
    end = qBound<qsizetype>(0, end, text.size());
    while (end > 0 && end < text.size()) {
        const QChar c = text[end];
        if (c.isLowSurrogate() || (text[end - 1].unicode() == 0x200D && !isLineSeparator(c))) {
            ++end;
            continue;
        }
        char32_t cp = c.unicode();
        if (c.isHighSurrogate() && end + 1 < text.size())
            cp = QChar::surrogateToUcs4(c, text[end + 1]);
        if (!isMarkOrJoiner(cp))
            break;
        end += QChar::requiresSurrogates(cp) ? 2 : 1;
    }
    return end;
}

LineClass highlightLine(QStringView line)
{
    const QStringView t = TextRules::trimmedSpacesAndTabs(line);
    if (t.startsWith(u"//") || t.startsWith(u'#'))
        return LineClass::Comment;
    if (t.startsWith(u"import ") || t.startsWith(u"from "))
        return LineClass::Import;
    if (t.contains(u"func ") || t.contains(u"def "))
        return LineClass::Definition;
    if (t.contains(u"return ") || t.contains(u"guard "))
        return LineClass::Control;
    return LineClass::Plain;
}

QColor lineColor(LineClass lineClass)
{
    switch (lineClass) {
    case LineClass::Comment:
        return NamedColors::withOpacity(NamedColors::gray(), 0.8);
    case LineClass::Import:
        return NamedColors::withOpacity(NamedColors::pink(), 0.9);
    case LineClass::Definition:
        return NamedColors::withOpacity(NamedColors::purple(), 0.95);
    case LineClass::Control:
        return NamedColors::withOpacity(NamedColors::orange(), 0.95);
    case LineClass::Plain:
        break;
    }
    return NamedColors::withOpacity(QColor(Qt::white), 0.92);
}

namespace {

int columnsOfCodePoint(char32_t c)
{
    const auto category = u_charType(UChar32(c));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR)
        return 0;
    const auto width = u_getIntPropertyValue(UChar32(c), UCHAR_EAST_ASIAN_WIDTH);
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

template<typename Visit>
int walkColumns(QStringView text, int startColumn, int tabColumns, Visit visit)
{
    int column = startColumn;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        int width;
        if (u == u'\t') {
            width = tabColumns - column % tabColumns;
        } else if (u < 0x300) {
            width = 1;
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            width = columnsOfCodePoint(QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            visit(i, column, width);
            column += width;
            ++i;
            continue;
        } else {
            width = columnsOfCodePoint(u);
        }
        visit(i, column, width);
        column += width;
    }
    return column;
}

} // namespace

int displayColumns(QStringView text, int startColumn, int tabColumns)
{
    return walkColumns(text, startColumn, tabColumns, [](qsizetype, int, int) {});
}

QString expandTabs(QStringView text, int startColumn, int tabColumns)
{
    if (!text.contains(u'\t'))
        return text.toString();
    QString out;
    out.reserve(text.size() + tabColumns);
    walkColumns(text, startColumn, tabColumns, [&](qsizetype i, int, int width) {
        if (text[i] == u'\t')
            out.append(QString(width, u' '));
        else
            out.append(text[i]);
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            out.append(text[i + 1]);
    });
    return out;
}

QString countsLabel(qsizetype lineCount, qint64 characterCount)
{
    return QStringLiteral("%1 lines \u2022 %2 chars").arg(lineCount).arg(characterCount);
}

QString countsLabel(QStringView text)
{
    return countsLabel(LineIndex(text).count(), TextRules::graphemeCount(text));
}

} // namespace CodeLines
