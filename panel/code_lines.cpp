#include "code_lines.h"

#include "named_colors.h"
#include "text_rules.h"

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

QStringList splitLines(QStringView text)
{
    const LineIndex index(text);
    QStringList lines;
    lines.reserve(index.count());
    for (qsizetype i = 0; i < index.count(); ++i)
        lines.append(index.line(text, i).toString());
    return lines;
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

QString countsLabel(qsizetype lineCount, qint64 characterCount)
{
    return QStringLiteral("%1 lines \u2022 %2 chars").arg(lineCount).arg(characterCount);
}

QString countsLabel(QStringView text)
{
    return countsLabel(LineIndex(text).count(), TextRules::graphemeCount(text));
}

} // namespace CodeLines
