#include "text_rules.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <array>
#include <memory>

namespace TextRules {

char32_t codePointAt(QStringView text, qsizetype i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[i + 1]);
    return c.unicode();
}

namespace {

bool isZCategory(char32_t c)
{
    const auto type = u_charType(static_cast<UChar32>(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

// Below U+0300 every UTF-16 unit is a grapheme cluster of its own, except a
// CR directly followed by LF, and White_Space holds only these units: the
// common case needs neither a break iterator nor a property lookup.
bool isSimpleSeparator(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0;
}

struct UTextCloser
{
    void operator()(UText *t) const { utext_close(t); }
};

// Calls visit(start) for the start of every grapheme cluster until it returns false.
template<typename Visit>
void forEachGraphemeStart(QStringView text, Visit visit)
{
    if (text.isEmpty())
        return;
    UErrorCode status = U_ZERO_ERROR;
    static thread_local std::unique_ptr<icu::BreakIterator> iterator(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (!iterator) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!visit(i))
                return;
        }
        return;
    }
    status = U_ZERO_ERROR;
    std::unique_ptr<UText, UTextCloser> ut(
        utext_openUChars(nullptr, reinterpret_cast<const UChar *>(text.utf16()), text.size(), &status));
    iterator->setText(ut.get(), status);
    for (int32_t pos = iterator->first(); pos != icu::BreakIterator::DONE && pos < text.size();
         pos = iterator->next()) {
        if (!visit(pos))
            return;
    }
}

} // namespace

bool isWhitespaceOrNewline(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0x20 || (c > 0x7F && isZCategory(c));
}

bool isLineBreak(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isSpaceOrTab(char32_t c)
{
    return c == 0x09 || c == 0x20 || (c > 0x7F && u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR);
}

bool isWordSeparator(char32_t c)
{
    if (c < 0x300)
        return isSimpleSeparator(c);
    return isLineBreak(c) || u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

template<typename Predicate>
static QStringView trimmedBy(QStringView text, Predicate isTrimmed)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end) {
        const char32_t c = codePointAt(text, begin);
        if (!isTrimmed(c))
            break;
        begin += c > 0xFFFF ? 2 : 1;
    }
    while (end > begin) {
        qsizetype start = end - 1;
        if (text[start].isLowSurrogate() && start > begin && text[start - 1].isHighSurrogate())
            --start;
        if (!isTrimmed(codePointAt(text, start)))
            break;
        end = start;
    }
    return text.sliced(begin, end - begin);
}

bool isBlank(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        if (c > 0xFFFF)
            ++i;
        if (!isWhitespaceOrNewline(c) && !u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            return false;
    }
    return true;
}

QString trimmedWhitespaceAndNewlines(QStringView text)
{
    const QStringView t = trimmedBy(text, isWhitespaceOrNewline);
    return t.size() == text.size() ? text.toString() : t.toString();
}

QString trimmedWhitespaceAndNewlines(const QString &text)
{
    const QStringView t = trimmedBy(text, isWhitespaceOrNewline);
    return t.size() == text.size() ? text : t.toString();
}

QStringView trimmedSpacesAndTabs(QStringView text)
{
    return trimmedBy(text, isSpaceOrTab);
}

TextCounts counts(QStringView text)
{
    static const auto simpleSeparators = [] {
        std::array<bool, 0x300> table{};
        for (char32_t c = 0; c < table.size(); ++c)
            table[c] = isSimpleSeparator(c);
        return table;
    }();
    // Unit by unit while the text is simple (this loop is most of the cost
    // of a large copy, so it keeps to table lookups and no branches)...
    const char16_t *units = text.utf16();
    const qsizetype n = text.size();
    qint64 words = 0;
    qint64 crlf = 0;
    bool separatorBefore = true;
    char16_t before = 0;
    qsizetype i = 0;
    for (; i < n && units[i] < 0x300; ++i) {
        const bool separator = simpleSeparators[units[i]];
        words += separatorBefore && !separator;
        crlf += units[i] == u'\n' && before == u'\r';
        separatorBefore = separator;
        before = units[i];
    }
    // ...then cluster by cluster from the last boundary before the first
    // other unit, which may extend the cluster before it.
    if (i < n && i > 0) {
        const int back = i > 1 && units[i - 2] == u'\r' && units[i - 1] == u'\n' ? 2 : 1;
        for (int k = 0; k < back; ++k) {
            --i;
            words -= !simpleSeparators[units[i]] && (i == 0 || simpleSeparators[units[i - 1]]);
            crlf -= units[i] == u'\n' && i > 0 && units[i - 1] == u'\r';
        }
    }
    qint64 characters = i - crlf;
    bool inWord = i > 0 && !simpleSeparators[units[i - 1]];
    const QStringView rest = text.sliced(i);
    forEachGraphemeStart(rest, [&](qsizetype start) {
        ++characters;
        const bool separator = isWordSeparator(codePointAt(rest, start));
        words += !separator && !inWord;
        inWord = !separator;
        return true;
    });
    return {characters, words};
}

qint64 graphemeCount(QStringView text)
{
    return counts(text).characters;
}

QStringView leadingGraphemes(QStringView text, qint64 n)
{
    if (n <= 0)
        return text.first(0);
    if (text.size() <= n) // never more clusters than UTF-16 units
        return text;
    qint64 seen = 0;
    qsizetype cut = text.size();
    forEachGraphemeStart(text, [&](qsizetype start) {
        if (seen == n) {
            cut = start;
            return false;
        }
        ++seen;
        return true;
    });
    return text.first(cut);
}

} // namespace TextRules
