#include "classifier.h"

#include "strict_json.h"
#include "text_rules.h"

#include <QUrl>

#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <bit>
#include <initializer_list>
#include <vector>

// Each test below is a hand-written matcher with the meaning of the ICU
// regular expression it stands for (\d = general category Nd, \s = the
// White_Space property, '.' stops at every line terminator, '$' also
// matches before one final line terminator), but with a single forward scan
// instead of backtracking, so that no input can make it slower than linear.

namespace Classifier {

namespace {

constexpr char32_t endOfText = 0xFFFFFFFF;

// ICU's line terminators, the characters '.' does not match.
bool isLineTerminator(char32_t c)
{
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isAsciiHexDigit(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A left-to-right reader of code points; a lone surrogate reads as itself,
// as it does for ICU.
class Cursor
{
public:
    Cursor(QStringView text, qsizetype end) : m_t(text), m_end(end) { }

    bool atEnd() const { return m_i >= m_end; }

    char32_t peek() const
    {
        if (atEnd())
            return endOfText;
        const char16_t u = m_t[m_i].unicode();
        if (QChar::isHighSurrogate(u) && m_i + 1 < m_end && QChar::isLowSurrogate(m_t[m_i + 1].unicode()))
            return QChar::surrogateToUcs4(u, m_t[m_i + 1].unicode());
        return u;
    }

    void next()
    {
        if (!atEnd())
            m_i += QChar::requiresSurrogates(peek()) ? 2 : 1;
    }

    bool take(char32_t c)
    {
        if (peek() != c)
            return false;
        next();
        return true;
    }

    bool takeLiteral(const char *ascii)
    {
        for (; *ascii; ++ascii) {
            if (!take(static_cast<unsigned char>(*ascii)))
                return false;
        }
        return true;
    }

    // \s*
    void skipSpaces()
    {
        while (!atEnd() && u_isUWhiteSpace(static_cast<UChar32>(peek())))
            next();
    }

    // \d*, returning how many were read.
    qsizetype digits()
    {
        qsizetype n = 0;
        while (!atEnd() && u_charType(static_cast<UChar32>(peek())) == U_DECIMAL_DIGIT_NUMBER) {
            next();
            ++n;
        }
        return n;
    }

    // \d{1,3} where the pattern then needs a non-digit: a longer run fails.
    bool oneToThreeDigits()
    {
        const qsizetype n = digits();
        return n >= 1 && n <= 3;
    }

private:
    QStringView m_t;
    qsizetype m_end;
    qsizetype m_i = 0;
};

// Where an anchored pattern's '$' may stand: at the very end, or before a
// final line terminator (or a final CR LF).
qsizetype dollarEnd(QStringView t)
{
    const qsizetype n = t.size();
    if (n >= 2 && t[n - 2] == u'\r' && t[n - 1] == u'\n')
        return n - 2;
    if (n >= 1 && isLineTerminator(t[n - 1].unicode()))
        return n - 1;
    return n;
}

// ^#(?:[0-9a-fA-F]{3,4}|[0-9a-fA-F]{6}|[0-9a-fA-F]{8})$
bool isHexColour(QStringView t, qsizetype end)
{
    if (end < 1 || t[0] != u'#')
        return false;
    const qsizetype n = end - 1;
    if (n != 3 && n != 4 && n != 6 && n != 8)
        return false;
    for (qsizetype i = 1; i < end; ++i) {
        if (!isAsciiHexDigit(t[i].unicode()))
            return false;
    }
    return true;
}

// \s*,\s*(?:0|1|0?\.\d+), the optional alpha after the third number; the
// leading \s* has been read.
bool alphaPart(Cursor &c)
{
    if (!c.take(','))
        return false;
    c.skipSpaces();
    if (c.take('1'))
        return true;
    const bool zero = c.take('0');
    if (!c.take('.'))
        return zero;
    return c.digits() >= 1;
}

// ^(?:rgb|rgba)\s*\(\s*\d{1,3}\s*,\s*\d{1,3}\s*,\s*\d{1,3}(?:\s*,\s*(?:0|1|0?\.\d+))?\s*\)$
// and the hsl form, whose second and third numbers carry a '%'.
bool isFunctionColour(QStringView t, qsizetype end, const char *name, bool percents)
{
    Cursor c(t, end);
    if (!c.takeLiteral(name))
        return false;
    c.take('a');
    c.skipSpaces();
    if (!c.take('('))
        return false;
    for (int i = 0; i < 3; ++i) {
        c.skipSpaces();
        if (!c.oneToThreeDigits())
            return false;
        if (percents && i > 0 && !c.take('%'))
            return false;
        c.skipSpaces();
        if (i < 2 && !c.take(','))
            return false;
    }
    // Only a comma can start the alpha part here, and a comma can start
    // nothing else: no backtracking is ever needed.
    if (c.peek() == ',' && !alphaPart(c))
        return false;
    c.skipSpaces();
    return c.take(')') && c.atEnd();
}

// The markup pattern <(!DOCTYPE|[a-z0-9-]+)[^>]*>.*<\/[a-z0-9-]+>, searched
// case-insensitively. Under ICU's case closure the name class also holds
// A-Z, U+017F (long s, folds to s) and U+212A (Kelvin sign, folds to k).
bool isTagNameUnit(char16_t u)
{
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-'
        || u == 0x017F || u == 0x212A;
}

bool startsWithDoctype(QStringView t, qsizetype i)
{
    static constexpr char16_t word[] = u"!DOCTYPE";
    if (t.size() - i < 8)
        return false;
    for (int k = 0; k < 8; ++k) {
        char16_t u = t[i + k].unicode();
        if (u >= 'a' && u <= 'z')
            u -= 'a' - 'A';
        if (u != word[k])
            return false;
    }
    return true;
}

// An opening tag ends at the first '>' after its '<' ([^>]* may run over
// line breaks); a match needs a closing tag </name> after that '>' with no
// line terminator between them ('.*' may not). So one scan keeps two facts:
// whether an opening tag has begun and awaits its '>', and whether one has
// ended earlier on the current line. All characters involved are in the
// BMP, so UTF-16 units can be looked at one by one.
bool containsMarkup(QStringView t)
{
    const qsizetype n = t.size();
    bool openingTagPending = false;
    bool openedOnThisLine = false;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = t[i].unicode();
        if (u == '<') {
            if (i + 1 >= n)
                break;
            const char16_t next = t[i + 1].unicode();
            if (next == '/') {
                if (!openedOnThisLine)
                    continue;
                qsizetype j = i + 2;
                while (j < n && isTagNameUnit(t[j].unicode()))
                    ++j;
                if (j > i + 2 && j < n && t[j] == u'>')
                    return true;
            } else if (isTagNameUnit(next) || startsWithDoctype(t, i + 1)) {
                openingTagPending = true;
            }
        } else if (u == '>') {
            if (openingTagPending)
                openedOnThisLine = true;
            openingTagPending = false;
        } else if (isLineTerminator(u)) {
            openedOnThisLine = false;
        }
    }
    return false;
}

// All markers are ASCII, so any other UTF-16 unit ends every partial match.
// An Aho-Corasick automaton finds all of them in one pass, one table step
// per unit, however the text looks. Units are first mapped to the few
// characters the markers use, so that the table stays small enough for the
// first-level cache.
class MarkerSet
{
public:
    explicit MarkerSet(std::initializer_list<const char *> markers)
    {
        Q_ASSERT(markers.size() <= 32);
        m_class.fill(0); // class 0: a character no marker holds
        for (const char *marker : markers) {
            for (const char *p = marker; *p; ++p) {
                auto &cls = m_class[static_cast<unsigned char>(*p) & 0x7F];
                if (!cls)
                    cls = ++m_classes;
            }
        }
        ++m_classes;

        std::vector<std::vector<quint16>> trie(1, std::vector<quint16>(m_classes, 0));
        m_found.assign(1, 0);
        quint32 bit = 1;
        for (const char *marker : markers) {
            quint16 state = 0;
            for (const char *p = marker; *p; ++p) {
                const quint8 c = m_class[static_cast<unsigned char>(*p) & 0x7F];
                if (!trie[state][c]) {
                    trie[state][c] = static_cast<quint16>(trie.size());
                    trie.emplace_back(m_classes, 0);
                    m_found.push_back(0);
                }
                state = trie[state][c];
            }
            m_found[state] |= bit;
            bit <<= 1;
        }
        // Breadth first: turn the trie into a complete automaton, each
        // state also reporting the markers that end at its longest proper
        // suffix that is a state.
        std::vector<quint16> fallback(trie.size(), 0);
        std::vector<quint16> queue;
        for (quint8 c = 1; c < m_classes; ++c) {
            if (trie[0][c])
                queue.push_back(trie[0][c]);
        }
        for (size_t head = 0; head < queue.size(); ++head) {
            const quint16 state = queue[head];
            m_found[state] |= m_found[fallback[state]];
            for (quint8 c = 1; c < m_classes; ++c) {
                quint16 &child = trie[state][c];
                const quint16 viaFallback = trie[fallback[state]][c];
                if (child) {
                    fallback[child] = viaFallback;
                    queue.push_back(child);
                } else {
                    child = viaFallback;
                }
            }
        }
        m_next.reserve(trie.size() * m_classes);
        for (const auto &row : trie)
            m_next.insert(m_next.end(), row.begin(), row.end());
    }

    // Markers seen so far and the state of the partial matches.
    class Scan
    {
    public:
        explicit Scan(const MarkerSet &set) : m_next(set.m_next.data()), m_found(set.m_found.data()),
            m_class(set.m_class.data()), m_classes(set.m_classes) { }
        void reset() { m_state = 0; }
        void feed(char16_t u)
        {
            const unsigned c = u < 128 ? m_class[u] : 0;
            m_state = m_next[m_state * m_classes + c];
            m_seen |= m_found[m_state];
        }
        quint32 seen() const { return m_seen; }

    private:
        const quint16 *m_next;
        const quint32 *m_found;
        const quint8 *m_class;
        unsigned m_classes;
        unsigned m_state = 0;
        quint32 m_seen = 0;
    };

private:
    std::array<quint8, 128> m_class;
    quint8 m_classes = 0;
    std::vector<quint16> m_next; // row per state, column per class
    std::vector<quint32> m_found;
};

// The markers looked for in the text as it is; one bit each, in this order.
enum Marker : quint32 {
    // Swift
    StructSpace, FuncSpace, GuardLet, IfLet, ImportSwiftUI, ImportAppKit, VarBody, AtState,
    // Python
    DefSpace, ImportSpace, ColonNewline, SelfDot,
    // scripts
    ConstSpace, LetSpace, Function, ExportDefault, ConsoleLog, Arrow,
    // TypeScript
    InterfaceSpace, ColonString,
    // Bash
    NpmRun, BrewInstall,
    // code symbols
    SpaceBrace, BraceSpace, CallSemicolon, CallBrace, Assign, Equals, ReturnArrow,
    MarkerCount
};
static_assert(MarkerCount <= 32);

constexpr quint32 bits(Marker first, Marker last)
{
    quint32 mask = 0;
    for (quint32 m = first; m <= last; ++m)
        mask |= 1u << m;
    return mask;
}
constexpr quint32 bit(Marker m) { return 1u << m; }

const MarkerSet &textMarkers()
{
    static const MarkerSet set{
        "struct ", "func ", "guard let", "if let", "import SwiftUI", "import AppKit",
        "var body: some View", "@State",
        "def ", "import ", ":\n", "self.",
        "const ", "let ", "function", "export default", "console.log", "=>",
        "interface ", ": string",
        "npm run", "brew install",
        " {", "} ", "();", "() {", " = ", " == ", " -> ",
    };
    return set;
}

const MarkerSet &sqlMarkers()
{
    static const MarkerSet set{"SELECT ", "FROM ", "WHERE ", "INSERT INTO", "UPDATE ", "DELETE FROM"};
    return set;
}

// Full upper-case mapping in the root locale maps each code point on its
// own, with no context. The markers are ASCII, so only code points whose
// mapping holds an ASCII letter need their mapping (ß to SS, the ff and st
// ligatures, dotless i to I, long s to S, ...); every other non-ASCII code
// point maps to non-ASCII text and just breaks a partial match.
struct UpperMapping
{
    char32_t codePoint;
    std::u16string upper;
};

const std::vector<UpperMapping> &nonAsciiUpperingToAscii()
{
    static const std::vector<UpperMapping> table = [] {
        std::vector<UpperMapping> result;
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeSet changing;
        changing.applyIntPropertyValue(UCHAR_CHANGES_WHEN_UPPERCASED, 1, status);
        if (U_FAILURE(status))
            return result;
        for (int32_t r = 0; r < changing.getRangeCount(); ++r) {
            for (UChar32 c = std::max<UChar32>(changing.getRangeStart(r), 0x80); c <= changing.getRangeEnd(r); ++c) {
                UChar src[2];
                int32_t srcLength = 0;
                U16_APPEND_UNSAFE(src, srcLength, c);
                UChar dst[16];
                UErrorCode s = U_ZERO_ERROR;
                const int32_t n = u_strToUpper(dst, 16, src, srcLength, "", &s);
                if (U_FAILURE(s))
                    continue;
                if (std::any_of(dst, dst + n, [](UChar u) { return u < 0x80; }))
                    result.push_back({static_cast<char32_t>(c), std::u16string(dst, dst + n)});
            }
        }
        return result; // ranges come in order, so the table is sorted
    }();
    return table;
}

struct MarkersSeen
{
    quint32 inText = 0;
    quint32 inUpperCase = 0; // SQL markers in the text's upper-case form
};

// One pass for both marker sets: the two automata run side by side. The
// scan ends early once a decisive marker is seen: nothing later can
// change the answer.
MarkersSeen scanMarkers(QStringView t, quint32 decisive)
{
    const auto &special = nonAsciiUpperingToAscii();
    MarkerSet::Scan text(textMarkers());
    MarkerSet::Scan upper(sqlMarkers());
    const qsizetype n = t.size();
    for (qsizetype i = 0; i < n; ++i) {
        if ((i & 0xFFF) == 0 && (text.seen() & decisive))
            break;
        const char16_t u = t[i].unicode();
        text.feed(u);
        if (u < 0x80) {
            upper.feed(u >= 'a' && u <= 'z' ? u - ('a' - 'A') : u);
            continue;
        }
        char32_t cp = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(t[i + 1].unicode())) {
            cp = QChar::surrogateToUcs4(u, t[i + 1].unicode());
            text.feed(t[++i].unicode());
        }
        const auto it = std::lower_bound(special.begin(), special.end(), cp,
                                         [](const UpperMapping &m, char32_t v) { return m.codePoint < v; });
        if (it != special.end() && it->codePoint == cp) {
            for (char16_t mapped : it->upper)
                upper.feed(mapped);
        } else {
            upper.reset();
        }
    }
    return {text.seen(), upper.seen()};
}

bool hasLoneSurrogate(QStringView t)
{
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char16_t u = t[i].unicode();
        if (QChar::isHighSurrogate(u)) {
            if (i + 1 >= t.size() || !QChar::isLowSurrogate(t[i + 1].unicode()))
                return true;
            ++i;
        } else if (QChar::isLowSurrogate(u)) {
            return true;
        }
    }
    return false;
}

// Text with a lone surrogate has no faithful UTF-8 form (the conversion
// would put a '?' in its place), so it is not JSON.
bool isJsonDocument(QStringView t)
{
    const bool object = t.startsWith(u'{') && t.endsWith(u'}');
    const bool array = t.startsWith(u'[') && t.endsWith(u']');
    if (!object && !array)
        return false;
    if (hasLoneSurrogate(t))
        return false;
    const QByteArray utf8 = t.toUtf8();
    const StrictJson::TopLevel top = StrictJson::check(utf8);
    return top == StrictJson::TopLevel::Object || top == StrictJson::TopLevel::Array;
}

// ASCII only: Qt's case-insensitive comparison folds, and would take a long
// s for an 's'.
bool startsWithAsciiCaseInsensitive(QStringView t, const char *prefix)
{
    qsizetype i = 0;
    for (; *prefix; ++prefix, ++i) {
        if (i >= t.size())
            return false;
        char16_t u = t[i].unicode();
        if (u >= 'A' && u <= 'Z')
            u += 'a' - 'A';
        if (u != static_cast<unsigned char>(*prefix))
            return false;
    }
    return true;
}

} // namespace

bool isColorValue(QStringView t)
{
    const qsizetype end = dollarEnd(t);
    return isHexColour(t, end) || isFunctionColour(t, end, "rgb", false)
        || isFunctionColour(t, end, "hsl", true);
}

// The parse is QUrl's strict mode: it fails on characters outside the URL
// grammar (space, control characters, < > " { } | \ ^ `), malformed percent
// escapes, ports out of range, bad IP literals and host names IDNA rejects.
// Non-ASCII letters in the host and the path are accepted, as browsers copy
// them, but no kind of whitespace or line break is: QUrl would quietly
// percent-encode a no-break space or a U+2028, and such a text is a link
// followed by more text, not a link. The scheme must be the first thing in
// the text, so a text that does not begin with "http:" or "https:" is
// rejected before QUrl sees it.
bool isWebURL(QStringView t)
{
    if (!startsWithAsciiCaseInsensitive(t, "http:") && !startsWithAsciiCaseInsensitive(t, "https:"))
        return false;
    // Covers the line feed and the space; all such characters are in the BMP.
    for (QChar c : t) {
        const UChar32 u = c.unicode();
        if (u < 0x7F ? u <= 0x20 : u_isUWhiteSpace(u) || u_charType(u) == U_CONTROL_CHAR)
            return false;
    }
    const QUrl url(t.toString(), QUrl::StrictMode);
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

std::optional<QString> detectCodeLanguage(QStringView t)
{
    if (isJsonDocument(t))
        return QStringLiteral("JSON");
    if (containsMarkup(t))
        return QStringLiteral("HTML");

    const MarkersSeen markers = scanMarkers(t, bits(StructSpace, AtState));
    const quint32 seen = markers.inText;
    if (seen & bits(StructSpace, AtState))
        return QStringLiteral("Swift");
    if ((seen & (bit(DefSpace) | bit(ImportSpace))) && (seen & (bit(ColonNewline) | bit(SelfDot))))
        return QStringLiteral("Python");
    if (seen & bits(ConstSpace, Arrow))
        return (seen & bits(InterfaceSpace, ColonString)) ? QStringLiteral("TypeScript")
                                                         : QStringLiteral("JavaScript");
    if (markers.inUpperCase)
        return QStringLiteral("SQL");
    if (t.startsWith(u"#!/bin/") || (seen & bits(NpmRun, BrewInstall)))
        return QStringLiteral("Bash");
    if (std::popcount(seen & bits(SpaceBrace, ReturnArrow)) >= 2)
        return QStringLiteral("Code");
    return std::nullopt;
}

Classification classify(QStringView content)
{
    // Whitespace and line breaks are all in the BMP, so trimming by UTF-16
    // unit is exact, and a view spares a copy of a large text.
    qsizetype begin = 0;
    qsizetype end = content.size();
    while (begin < end && TextRules::isWhitespaceOrNewline(content[begin].unicode()))
        ++begin;
    while (end > begin && TextRules::isWhitespaceOrNewline(content[end - 1].unicode()))
        --end;
    const QStringView t = content.sliced(begin, end - begin);
    if (isColorValue(t))
        return {ClipContentType::Color, std::nullopt};
    if (isWebURL(t))
        return {ClipContentType::Link, std::nullopt};
    if (auto language = detectCodeLanguage(t))
        return {ClipContentType::Code, std::move(language)};
    return {ClipContentType::Text, std::nullopt};
}

} // namespace Classifier
