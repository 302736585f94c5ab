#include "clip_item.h"

#include "canonical_text.h"
#include "text_rules.h"

#include <QTimeZone>

namespace {

const QDateTime &referenceDate()
{
    static const QDateTime date(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return date;
}

constexpr qsizetype titleLength = 60;

} // namespace

QString rawValue(ClipContentType type)
{
    switch (type) {
    case ClipContentType::Code: return QStringLiteral("code");
    case ClipContentType::Link: return QStringLiteral("link");
    case ClipContentType::Text: return QStringLiteral("text");
    case ClipContentType::Color: return QStringLiteral("color");
    }
    return QStringLiteral("text");
}

std::optional<ClipContentType> clipContentTypeFromRaw(QStringView raw)
{
    for (ClipContentType type : allClipContentTypes) {
        if (raw == rawValue(type))
            return type;
    }
    return std::nullopt;
}

QDateTime dateFromReferenceInterval(TimeInterval seconds)
{
    return referenceDate().addMSecs(static_cast<qint64>(seconds * 1000.0));
}

TimeInterval referenceIntervalFromDate(const QDateTime &date)
{
    return static_cast<double>(referenceDate().msecsTo(date)) / 1000.0;
}

// Looks at the first line's first 60 characters only (and at trailing
// blanks past them), however long the line.
QString derivedTitle(QStringView rawContent)
{
    qsizetype begin = 0;
    while (begin < rawContent.size() && TextRules::isSpaceOrTab(TextRules::codePointAt(rawContent, begin)))
        begin += QChar::requiresSurrogates(TextRules::codePointAt(rawContent, begin)) ? 2 : 1;
    const QStringView rest = rawContent.sliced(begin);
    QStringView title = TextRules::leadingGraphemes(rest, titleLength);
    qsizetype lineEnd = 0;
    while (lineEnd < title.size() && !TextRules::isLineBreak(title[lineEnd].unicode()))
        ++lineEnd;
    // Where the line goes on past the cut with more than blanks, the cut
    // stands as it is; otherwise the line's end is trimmed.
    qsizetype after = title.size();
    while (lineEnd == title.size() && after < rest.size() && TextRules::isSpaceOrTab(rest[after].unicode()))
        ++after;
    if (lineEnd < title.size() || after == rest.size() || TextRules::isLineBreak(rest[after].unicode()))
        title = TextRules::trimmedSpacesAndTabs(title.first(lineEnd));
    if (title.isEmpty())
        return QStringLiteral("Empty Snippet");
    return title.toString();
}

ClipItem::ClipItem(QUuid id, QString rawContent, ClipContentType contentType,
                   std::optional<QString> detectedLanguage, std::optional<QString> title,
                   TimeInterval timestamp, bool isPinned)
{
    m_s.id = id;
    m_s.rawContent = std::move(rawContent);
    m_s.contentTypeRaw = rawValue(contentType);
    m_s.detectedLanguage = std::move(detectedLanguage);
    m_s.timestamp = timestamp;
    m_s.isPinned = isPinned;
    const TextRules::TextCounts counts = TextRules::counts(m_s.rawContent);
    m_s.charCount = counts.characters;
    m_s.wordCount = counts.words;
    m_s.title = title && !title->isEmpty() ? *title : derivedTitle(m_s.rawContent);
}

ClipItem::ClipItem(Stored stored)
    : m_s(std::move(stored))
{
}

ClipItemPtr ClipItem::create(QString rawContent, ClipContentType contentType,
                             std::optional<QString> detectedLanguage, TimeInterval timestamp,
                             std::optional<size_t> canonicalHash)
{
    auto item = std::make_shared<ClipItem>(QUuid::createUuid(), std::move(rawContent), contentType,
                                           std::move(detectedLanguage), std::nullopt, timestamp, false);
    item->m_canonicalHash = canonicalHash;
    return item;
}

ClipContentType ClipItem::contentType() const
{
    return clipContentTypeFromRaw(m_s.contentTypeRaw).value_or(ClipContentType::Text);
}

size_t ClipItem::canonicalHash() const
{
    if (!m_canonicalHash)
        m_canonicalHash = TextRules::canonicalHash(m_s.rawContent);
    return *m_canonicalHash;
}

bool ClipItem::isCanonicallyEqual(QStringView text, size_t textHash) const
{
    if (canonicalHash() != textHash)
        return false;
    return TextRules::canonicallyEqual(m_s.rawContent, text);
}

bool ClipItem::isCanonicallyEqual(QStringView text) const
{
    const bool sameBuffer = text.data() == m_s.rawContent.data() && text.size() == m_s.rawContent.size();
    return sameBuffer || m_s.rawContent == text || isCanonicallyEqual(text, TextRules::canonicalHash(text));
}
