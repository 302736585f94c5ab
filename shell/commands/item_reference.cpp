#include "commands/item_reference.h"

#include "commands/history_listing.h"

namespace {

std::optional<qsizetype> parseNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const qsizetype number = text.toLongLong();
    return number > 0 ? std::optional(number) : std::nullopt;
}

std::optional<QUuid> parseId(const QString &text)
{
    const QUuid id = QUuid::fromString(text);
    const qsizetype digits = text.startsWith(u'{') ? 38 : 36;
    if (id.isNull() || text.size() != digits)
        return std::nullopt;
    return id;
}

} // namespace

std::optional<ItemReference> ItemReference::parse(const QString &text)
{
    ItemReference reference;
    // "<number>: <preview>", the space gone when a launcher trimmed an empty preview.
    if (const qsizetype colon = text.indexOf(u':'); colon >= 0 && colon < 10) {
        reference.index = parseNumber(QStringView(text).left(colon));
        reference.preview = text.mid(colon + 1);
        if (reference.preview->startsWith(u' '))
            reference.preview->remove(0, 1);
        return reference.index ? std::optional(reference) : std::nullopt;
    }
    if ((reference.index = parseNumber(text)) || (reference.id = parseId(text)))
        return reference;
    return std::nullopt;
}

std::variant<ClipItemPtr, QString> ItemReference::resolve(const QList<ClipItemPtr> &displayOrder) const
{
    if (id) {
        for (const ClipItemPtr &item : displayOrder) {
            if (item->id() == *id)
                return item;
        }
        return QStringLiteral("no item has the id %1").arg(id->toString(QUuid::WithoutBraces).toUpper());
    }
    const qsizetype count = displayOrder.size();
    const ClipItemPtr atIndex = index && *index <= count ? displayOrder[*index - 1] : nullptr;
    if (!preview) {
        if (atIndex)
            return atIndex;
        return count == 0 ? QStringLiteral("the history is empty")
                          : QStringLiteral("no item %1: the history holds %2 items").arg(*index).arg(count);
    }
    // The list may have moved since the picker showed it: follow the text,
    // but only where it names one item (previews are cut, so two long
    // items can share one).
    ClipItemPtr match;
    for (const ClipItemPtr &item : displayOrder) {
        if (HistoryListing::preview(*item) != *preview)
            continue;
        if (match)
            return QStringLiteral("more than one item matches the chosen line; choose it by number or id");
        match = item;
    }
    if (match)
        return match;
    return QStringLiteral("no item matches the chosen line; the history changed since it was listed");
}
