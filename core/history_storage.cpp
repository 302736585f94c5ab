#include "history_storage.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(const char *what, const QString &path)
{
    return QStringLiteral("%1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(errno)));
}

// Every byte, retrying short writes and interruptions.
bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// Saves write here first; a name no user file is likely to have.
QString temporaryPrefix()
{
    return QStringLiteral(".history.json.tmp-");
}

// Temporary files of saves that were killed before their rename.
void sweepTemporaries(const QString &folder)
{
    for (const QString &name : QDir(folder).entryList({temporaryPrefix() + QStringLiteral("??????")},
                                                      QDir::Files | QDir::Hidden))
        QFile::remove(folder + u'/' + name);
}

// Later items with an id seen before get a new one, so that a delete or
// a selection never means two items. Returns their positions.
QStringList renewDuplicateIds(QList<ClipItemPtr> &items)
{
    QStringList renewed;
    QSet<QUuid> seen;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!seen.contains(items[i]->id())) {
            seen.insert(items[i]->id());
            continue;
        }
        ClipItem::Stored stored = items[i]->stored();
        stored.id = QUuid::createUuid();
        items[i] = std::make_shared<ClipItem>(std::move(stored));
        seen.insert(items[i]->id());
        renewed << QString::number(i);
    }
    return renewed;
}

} // namespace

HistoryStorage::HistoryStorage() = default;

HistoryStorage::HistoryStorage(QString folder)
    : m_fixedFolder(std::move(folder))
{
}

QString HistoryStorage::folderPath() const
{
    if (!m_fixedFolder.isEmpty())
        return m_fixedFolder;
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Tavorindle");
}

QString HistoryStorage::filePath() const
{
    return folderPath() + QStringLiteral("/history.json");
}

QString HistoryStorage::lockPath() const
{
    return folderPath() + QStringLiteral("/history.lock");
}

ProcessLock::Outcome HistoryStorage::lock(ProcessLock &lock) const
{
    ensureFolder();
    return lock.acquire(lockPath());
}

QString HistoryStorage::ensureFolder() const
{
    const QString folder = folderPath();
    if (QFileInfo(folder).isDir())
        return folder;
    QDir().mkpath(QFileInfo(folder).absolutePath());
    // The history holds whatever the user copied: only the user may look.
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return folder;
}

// The file a save replaces: history.json, or the end of the chain of
// links it starts (say into a synced folder), which may not exist yet.
QString HistoryStorage::writeTarget(QString *error) const
{
    QString path = filePath();
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo info(path);
        if (!info.isSymLink())
            return path;
        path = info.symLinkTarget();
    }
    errno = ELOOP;
    *error = errnoText("cannot follow", filePath());
    return {};
}

HistoryStorage::LoadResult HistoryStorage::load() const
{
    sweepTemporaries(ensureFolder());
    const QString path = filePath();
    QString ignored;
    const QString target = writeTarget(&ignored);
    if (!target.isEmpty() && target != path)
        sweepTemporaries(QFileInfo(target).absolutePath());

    LoadResult result;
    if (!QFileInfo::exists(path))
        return result;
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        // Not read is not corrupt: the file stays for the user to mend.
        result.error = QStringLiteral("cannot read %1: %2 (the file is left as it is and not written; "
                                      "copies are kept in memory only)")
                           .arg(path, file.errorString());
        result.mayWrite = false;
        return result;
    }
    HistoryFile::DecodeResult decoded = HistoryFile::decode(bytes);
    if (decoded.ok()) {
        result.items = std::move(decoded.items);
        const QStringList renewed = renewDuplicateIds(result.items);
        if (renewed.size() == 1)
            result.notice = QStringLiteral("item %1 repeated the id of an earlier item and got a new id "
                                           "(saved with the next change)").arg(renewed.first());
        else if (renewed.size() > 1)
            result.notice = QStringLiteral("items %1 repeated ids of earlier items and got new ids "
                                           "(saved with the next change)").arg(renewed.join(QStringLiteral(", ")));
        return result;
    }
    result.error = decoded.error;

    // Keep what we could not decode: the next save would otherwise destroy it.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString aside = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 1; QFileInfo::exists(aside) || QFileInfo(aside).isSymLink(); ++n)
        aside = path + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) == 0)
        result.error += QStringLiteral(" (the file was kept as %1)").arg(aside);
    else
        result.error += QStringLiteral(" (%1)").arg(errnoText("could not move aside", path));
    return result;
}

QString HistoryStorage::save(const QList<ClipItemPtr> &items) const
{
    return save(HistoryFile::snapshot(items));
}

QString HistoryStorage::save(const HistoryFile::Snapshot &items) const
{
    if (m_beforeWrite)
        m_beforeWrite();
    ensureFolder();
    QString error;
    const QString path = writeTarget(&error);
    if (path.isEmpty())
        return error;
    const QString folder = QFileInfo(path).absolutePath();

    QByteArray temp = QFile::encodeName(folder + u'/' + temporaryPrefix() + QStringLiteral("XXXXXX"));
    const int fd = ::mkstemp(temp.data()); // created with mode 0600
    if (fd < 0)
        return errnoText("cannot create a file in", folder);
    const bool written = HistoryFile::encode(items, [fd](const QByteArray &piece) { return writeAll(fd, piece); })
                         && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temp.constData());
        errno = writeErrno;
        return errnoText("cannot write", path);
    }
    // The rename is atomic: readers see the old or the new list, never a mix.
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int renameErrno = errno;
        ::unlink(temp.constData());
        errno = renameErrno;
        return errnoText("cannot replace", path);
    }
    const int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}
