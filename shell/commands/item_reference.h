#pragma once

#include "clip_item.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

// How the command line names one history item: its number in the list
// (1 is the first row: pinned items first, newest first), its id, or a
// whole line of the picker listing as a launcher hands it back.
struct ItemReference
{
    std::optional<qsizetype> index;
    std::optional<QUuid> id;
    // With an index: the picker's text for it, checked against the item.
    std::optional<QString> preview;

    static std::optional<ItemReference> parse(const QString &text);

    // The item in displayOrder, or why there is none.
    std::variant<ClipItemPtr, QString> resolve(const QList<ClipItemPtr> &displayOrder) const;
};
