#include "clip_item.h"

#include "text_rules.h"

#include <QHash>
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
                             std::optional<QString> detectedLanguage, TimeInterval timestamp)
{
    return std::make_shared<ClipItem>(QUuid::createUuid(), std::move(rawContent), contentType,
                                      std::move(detectedLanguage), std::nullopt, timestamp, false);
}

ClipContentType ClipItem::contentType() const
{
    return clipContentTypeFromRaw(m_s.contentTypeRaw).value_or(ClipContentType::Text);
}

size_t ClipItem::canonicalHash(const QString &nfcText)
{
    return qHash(nfcText);
}

bool ClipItem::isCanonicallyEqual(const QString &nfcText, size_t nfcHash) const
{
    if (m_s.rawContent == nfcText)
        return true;
    if (!m_nfcHash)
        m_nfcHash = canonicalHash(m_s.rawContent.normalized(QString::NormalizationForm_C));
    if (*m_nfcHash != nfcHash)
        return false;
    return m_s.rawContent.normalized(QString::NormalizationForm_C) == nfcText;
}
