#include "clip_item.h"

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

QString derivedTitle(QStringView rawContent)
{
    qsizetype end = 0;
    while (end < rawContent.size() && !TextRules::isLineBreak(rawContent[end].unicode()))
        ++end;
    const QStringView firstLine = TextRules::trimmedSpacesAndTabs(rawContent.first(end));
    if (firstLine.isEmpty())
        return QStringLiteral("Empty Snippet");
    return TextRules::leadingGraphemes(firstLine, titleLength).toString();
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
    m_s.charCount = TextRules::graphemeCount(m_s.rawContent);
    m_s.wordCount = TextRules::wordCount(m_s.rawContent);
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
