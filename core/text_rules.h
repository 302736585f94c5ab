#pragma once

#include <QString>
#include <QStringView>

// Unicode rules shared by the record, the watcher, the classifier and the
// panel. All counts are in user-perceived characters (extended grapheme
// clusters), never in UTF-16 units.
namespace TextRules {

// General category Z (Zs, Zl, Zp), U+0009 to U+000D and U+0085: what
// "whitespace and line breaks" means when captured text is trimmed.
bool isWhitespaceOrNewline(char32_t c);
// U+000A to U+000D, U+0085, U+2028, U+2029.
bool isLineBreak(char32_t c);
// General category Zs and U+0009.
bool isSpaceOrTab(char32_t c);
// The Unicode White_Space property or a line break.
bool isWordSeparator(char32_t c);

QString trimmedWhitespaceAndNewlines(QStringView text);
QStringView trimmedSpacesAndTabs(QStringView text);

qint64 graphemeCount(QStringView text);
// Maximal runs of grapheme clusters whose first scalar is no separator.
qint64 wordCount(QStringView text);
// The first n grapheme clusters (all of text when it has fewer).
QStringView leadingGraphemes(QStringView text, qint64 n);

} // namespace TextRules
