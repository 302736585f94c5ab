#include "process_lock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int openLockFile(const QByteArray &path)
{
    return ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
}

qint64 readPid(int fd)
{
    char buffer[32] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    if (n <= 0)
        return 0;
    const qint64 pid = QByteArray(buffer, n).trimmed().toLongLong();
    return pid > 0 ? pid : 0;
}

} // namespace

ProcessLock::Outcome ProcessLock::acquire(const QString &path)
{
    m_fd.reset();
    m_holderPid = 0;
    m_error.clear();
    const QByteArray native = QFile::encodeName(path);
    UniqueFd fd(openLockFile(native));
    struct stat info = {};
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        // Junk where the lock belongs: a power cut, a cleaner or a hand put
        // it there. Nothing can hold a lock on what we cannot open.
        fd.reset();
        if (::unlink(native.constData()) != 0 && errno != ENOENT && ::rmdir(native.constData()) != 0) {
            m_error = QStringLiteral("cannot replace %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return Outcome::Failed;
        }
        fd = UniqueFd(openLockFile(native));
        if (!fd) {
            m_error = QStringLiteral("cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return Outcome::Failed;
        }
    }
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK) {
            m_holderPid = readPid(fd.get());
            return Outcome::HeldElsewhere;
        }
        m_error = QStringLiteral("cannot lock %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return Outcome::Failed;
    }
    (void)::fchmod(fd.get(), 0600);
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd.get(), 0) == 0)
        (void)!::pwrite(fd.get(), pid.constData(), size_t(pid.size()), 0);
    m_fd = std::move(fd);
    return Outcome::Acquired;
}
