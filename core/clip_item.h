#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

#include <array>
#include <memory>
#include <optional>

enum class ClipContentType { Code, Link, Text, Color };

inline constexpr std::array<ClipContentType, 4> allClipContentTypes{
    ClipContentType::Code, ClipContentType::Link, ClipContentType::Text, ClipContentType::Color};

QString rawValue(ClipContentType type);
// Exact, case-sensitive match against the four raw values.
std::optional<ClipContentType> clipContentTypeFromRaw(QStringView raw);

// Seconds since 2001-01-01 00:00:00 UTC, the history file's time base.
using TimeInterval = double;
QDateTime dateFromReferenceInterval(TimeInterval seconds);
TimeInterval referenceIntervalFromDate(const QDateTime &date);

class ClipItem;
// Items are shared: the list, the panel and the auto-paster hold one object.
using ClipItemPtr = std::shared_ptr<ClipItem>;

class ClipItem
{
public:
    // Derives the counts, and the title when none (or an empty one) is given.
    ClipItem(QUuid id, QString rawContent, ClipContentType contentType,
             std::optional<QString> detectedLanguage, std::optional<QString> title,
             TimeInterval timestamp, bool isPinned);

    // The stored form, taken as it is: nothing is derived.
    struct Stored
    {
        QUuid id;
        QString rawContent;
        QString contentTypeRaw;
        std::optional<QString> detectedLanguage;
        QString title;
        TimeInterval timestamp = 0;
        bool isPinned = false;
        qint64 wordCount = 0;
        qint64 charCount = 0;
    };
    explicit ClipItem(Stored stored);

    // A new copy; the canonical hash is passed when the caller has it.
    static ClipItemPtr create(QString rawContent, ClipContentType contentType,
                              std::optional<QString> detectedLanguage, TimeInterval timestamp,
                              std::optional<size_t> canonicalHash = std::nullopt);

    const QUuid &id() const { return m_s.id; }
    const QString &rawContent() const { return m_s.rawContent; }
    const QString &contentTypeRaw() const { return m_s.contentTypeRaw; }
    const std::optional<QString> &detectedLanguage() const { return m_s.detectedLanguage; }
    const QString &title() const { return m_s.title; }
    TimeInterval timestamp() const { return m_s.timestamp; }
    bool isPinned() const { return m_s.isPinned; }
    qint64 wordCount() const { return m_s.wordCount; }
    qint64 charCount() const { return m_s.charCount; }
    const Stored &stored() const { return m_s; }

    // Reads an unknown raw value as Text.
    ClipContentType contentType() const;
    void setContentType(ClipContentType type) { m_s.contentTypeRaw = rawValue(type); }
    void setTimestamp(TimeInterval t) { m_s.timestamp = t; }
    void setPinned(bool pinned) { m_s.isPinned = pinned; }

    // The hash of rawContent's canonical form, computed on first use only.
    size_t canonicalHash() const;
    // Whether rawContent is canonically equivalent to text, given text's
    // canonical hash: constant time unless the hashes agree, so that a
    // search of the whole history costs one hash of the new text.
    bool isCanonicallyEqual(QStringView text, size_t textHash) const;
    // One comparison: identical text answers at once.
    bool isCanonicallyEqual(QStringView text) const;

private:
    Stored m_s;
    mutable std::optional<size_t> m_canonicalHash;
};

// The title rule: the first line trimmed of spaces and tabs, cut to 60
// characters, or "Empty Snippet".
QString derivedTitle(QStringView rawContent);
