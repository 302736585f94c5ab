#pragma once

#include "history_file.h"
#include "process_lock.h"

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
    // history.lock beside the file: whoever holds it is the one process
    // that writes this history, whatever happens to the runtime folder.
    QString lockPath() const;
    // Takes that lock (making the folder first).
    ProcessLock::Outcome lock(ProcessLock &lock) const;

    struct LoadResult
    {
        QList<ClipItemPtr> items;
        QString error; // empty when items are the file's
        // Said about a file that loaded: what was mended on the way in.
        QString notice;
        // False when the file is there but could not be read: it is left
        // where and as it is, and must not be written over.
        bool mayWrite = true;
        bool ok() const { return error.isEmpty(); }
    };
    // No file: ok with no items. A file that was read but does not decode
    // is moved aside to history.json.corrupt-<UTC time> so that the next
    // save cannot destroy it; the error text says where it went. Items
    // that repeat an earlier item's id get new ids.
    LoadResult load() const;
    // Empty string on success, else the reason. When history.json is a
    // symbolic link, the file it leads to is replaced and the link stays.
    QString save(const QList<ClipItemPtr> &items) const;
    // The same for a snapshot; safe on any thread.
    QString save(const HistoryFile::Snapshot &items) const;

    // Runs before each save, on the saving thread: tests make the disk slow
    // with it.
    void setBeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }

private:
    QString ensureFolder() const;
    QString writeTarget(QString *error) const;
    QString m_fixedFolder;
    std::function<void()> m_beforeWrite;
};
