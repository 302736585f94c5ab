#pragma once

#include <QString>
#include <QStringView>

// Unicode rules shared by the record, the watcher, the classifier and the
// panel. All counts are in user-perceived characters (extended grapheme
// clusters), never in UTF-16 units.
namespace TextRules {

// The code point at i; a lone surrogate reads as itself.
char32_t codePointAt(QStringView text, qsizetype i);

// General category Z (Zs, Zl, Zp), U+0009 to U+000D and U+0085: what
// "whitespace and line breaks" means when captured text is trimmed.
bool isWhitespaceOrNewline(char32_t c);
// U+000A to U+000D, U+0085, U+2028, U+2029.
bool isLineBreak(char32_t c);

// General category Zs and U+0009.
bool isSpaceOrTab(char32_t c);
// The Unicode White_Space property or a line break.
bool isWordSeparator(char32_t c);

// Whether text shows nothing: every character is whitespace, a line break
// or invisible by nature (Default_Ignorable_Code_Point: zero-width spaces
// and joiners, the byte order mark). Such a copy is not recorded.
bool isBlank(QStringView text);

QString trimmedWhitespaceAndNewlines(QStringView text);
// The same, sharing text's buffer when there is nothing to trim: a large
// copy is then held once, by the clipboard snapshot and the item alike.
QString trimmedWhitespaceAndNewlines(const QString &text);
QStringView trimmedSpacesAndTabs(QStringView text);

struct TextCounts
{
    qint64 characters = 0; // grapheme clusters
    qint64 words = 0;      // maximal runs of clusters whose first scalar is no separator
};
// Both counts in one pass.
TextCounts counts(QStringView text);
qint64 graphemeCount(QStringView text);
// The first n grapheme clusters (all of text when it has fewer).
QStringView leadingGraphemes(QStringView text, qint64 n);

} // namespace TextRules
