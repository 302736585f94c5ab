#include "text_rules.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

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
// CR directly followed by LF: the common case needs no break iterator.
bool isSimpleText(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x300)
            return false;
    }
    return true;
}

qsizetype crlfPairs(QStringView text)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == u'\r' && text[i + 1] == u'\n')
            ++n;
    }
    return n;
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

qint64 graphemeCount(QStringView text)
{
    if (isSimpleText(text))
        return text.size() - crlfPairs(text);
    qint64 count = 0;
    forEachGraphemeStart(text, [&](qsizetype) {
        ++count;
        return true;
    });
    return count;
}

qint64 wordCount(QStringView text)
{
    qint64 words = 0;
    bool inWord = false;
    auto visit = [&](qsizetype start) {
        const bool separator = isWordSeparator(codePointAt(text, start));
        if (!separator && !inWord)
            ++words;
        inWord = !separator;
        return true;
    };
    if (isSimpleText(text)) {
        // The first scalar of a cluster is its first unit here; the LF of a
        // CR LF pair is a separator anyway, so visiting it changes nothing.
        for (qsizetype i = 0; i < text.size(); ++i)
            visit(i);
    } else {
        forEachGraphemeStart(text, visit);
    }
    return words;
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
