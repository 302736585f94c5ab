// Classifies arbitrary text read two ways: the bytes as UTF-8 (invalid
// sequences become U+FFFD, as from the clipboard) and as raw UTF-16 units
// (lone surrogates included). Besides crashes and sanitizer reports it
// checks the matchers against ICU's own regular expressions on short texts,
// and the JSON step against the strict reader.
#include "classifier.h"
#include "strict_json.h"

#include <QString>

#include <unicode/regex.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

class IcuPattern
{
public:
    IcuPattern(const char *pattern, uint32_t flags)
    {
        UErrorCode status = U_ZERO_ERROR;
        m_matcher = std::make_unique<icu::RegexMatcher>(icu::UnicodeString::fromUTF8(pattern), flags, status);
        if (U_FAILURE(status))
            std::abort();
    }
    bool find(QStringView text)
    {
        UErrorCode status = U_ZERO_ERROR;
        // The matcher keeps a reference to its input, not a copy.
        const icu::UnicodeString input(reinterpret_cast<const UChar *>(text.utf16()),
                                       static_cast<int32_t>(text.size()));
        m_matcher->reset(input);
        const bool found = m_matcher->find(status);
        if (U_FAILURE(status))
            std::abort();
        return found;
    }

private:
    std::unique_ptr<icu::RegexMatcher> m_matcher;
};

bool isColourByIcu(QStringView t)
{
    static IcuPattern hex("^#(?:[0-9a-fA-F]{3,4}|[0-9a-fA-F]{6}|[0-9a-fA-F]{8})$", 0);
    static IcuPattern rgb("^(?:rgb|rgba)\\s*\\(\\s*\\d{1,3}\\s*,\\s*\\d{1,3}\\s*,\\s*\\d{1,3}"
                          "(?:\\s*,\\s*(?:0|1|0?\\.\\d+))?\\s*\\)$", 0);
    static IcuPattern hsl("^(?:hsl|hsla)\\s*\\(\\s*\\d{1,3}\\s*,\\s*\\d{1,3}%\\s*,\\s*\\d{1,3}%"
                          "(?:\\s*,\\s*(?:0|1|0?\\.\\d+))?\\s*\\)$", 0);
    return hex.find(t) || rgb.find(t) || hsl.find(t);
}

bool hasMarkupByIcu(QStringView t)
{
    static IcuPattern markup("<(!DOCTYPE|[a-z0-9-]+)[^>]*>.*<\\/[a-z0-9-]+>", UREGEX_CASE_INSENSITIVE);
    return markup.find(t);
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void exercise(const QString &text)
{
    const Classifier::Classification c = Classifier::classify(text);
    check(c.language.has_value() == (c.type == ClipContentType::Code));

    // ICU backtracks; keep the oracle to short texts.
    if (text.size() > 256)
        return;
    check(Classifier::isColorValue(text) == isColourByIcu(text));
    // A leading letter keeps the JSON step from deciding first.
    const QString guarded = u'x' + text;
    check((Classifier::detectCodeLanguage(guarded) == QStringLiteral("HTML")) == hasMarkupByIcu(guarded));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    exercise(QString::fromUtf8(bytes));
    exercise(QString(reinterpret_cast<const QChar *>(data), static_cast<qsizetype>(size / 2)));

    // Valid UTF-8 bytes starting with a bracket: the JSON step and the
    // reader must agree.
    const QString utf8 = QString::fromUtf8(bytes);
    if (!utf8.isEmpty() && utf8.toUtf8() == bytes && (bytes.startsWith('{') || bytes.startsWith('['))
        && (bytes.endsWith('}') || bytes.endsWith(']'))) {
        const auto top = StrictJson::check(bytes);
        const bool json = top == StrictJson::TopLevel::Object || top == StrictJson::TopLevel::Array;
        const bool bracketsMatch = bytes.front() == (bytes.back() == '}' ? '{' : '[');
        check((Classifier::detectCodeLanguage(utf8) == QStringLiteral("JSON")) == (json && bracketsMatch));
    }
    return 0;
}
