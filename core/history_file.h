#pragma once

#include "clip_item.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The history file: a compact JSON array of item objects, keys in record
// order, "detectedLanguage" left out when absent.
namespace HistoryFile {

// The list as it was at one moment, for writing on another thread: the
// texts are shared, not copied.
using Snapshot = QList<ClipItem::Stored>;
Snapshot snapshot(const QList<ClipItemPtr> &items);

// Streams the file's bytes to sink in pieces of about a megabyte; stops,
// returning false, as soon as sink does.
bool encode(const Snapshot &items, const std::function<bool(const QByteArray &)> &sink);
QByteArray encode(const QList<ClipItemPtr> &items);
// One item object, as the array holds it.
QByteArray encodeItem(const ClipItem &item);
// A JSON string's content without its quotes, for writing a long one in
// pieces (split between surrogate pairs, never inside one).
void appendEscaped(QByteArray &out, QStringView value);

struct DecodeResult
{
    QList<ClipItemPtr> items;
    QString error; // empty on success
    bool ok() const { return error.isEmpty(); }
};
// Any key order and spacing; unknown keys ignored; one bad element fails
// the whole array.
DecodeResult decode(const QByteArray &json);

} // namespace HistoryFile
