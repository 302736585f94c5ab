#pragma once

#include "clip_item.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The history file: a compact JSON array of item objects, keys in record
// order, "detectedLanguage" left out when absent.
namespace HistoryFile {

QByteArray encode(const QList<ClipItemPtr> &items);
// One item object, as the array holds it.
QByteArray encodeItem(const ClipItem &item);

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

// Where the history lives and how it is written: atomically, in a private
// folder (0700) as a private file (0600).
class HistoryStorage
{
public:
    // $XDG_DATA_HOME/Tavorindle (looked up afresh on every use).
    HistoryStorage();
    // A fixed folder, for tests.
    explicit HistoryStorage(QString folder);

    QString folderPath() const;
    QString filePath() const;

    // No file: ok with no items. A file that cannot be read or decoded is
    // moved aside to history.json.corrupt-<UTC time> so that the next save
    // cannot destroy it; the error text says where it went.
    HistoryFile::DecodeResult load() const;
    // Empty string on success, else the reason.
    QString save(const QList<ClipItemPtr> &items) const;

private:
    QString ensureFolder() const;
    QString m_fixedFolder;
};
