#pragma once

#include "unique_fd.h"

#include <QString>

// An exclusive lock that the kernel holds for as long as this object (and
// so the process) lives: flock() on an open file. It goes with the process
// however that ends, so a file left behind, empty or not, holds nothing.
// The holder writes its process id into the file, for the message of the
// one turned away.
class ProcessLock
{
public:
    enum class Outcome { Acquired, HeldElsewhere, Failed };

    ProcessLock() = default;
    // Takes the lock on path without waiting. A file there that cannot be
    // a lock (a dangling link, a folder, one we may not open) is replaced:
    // keep path in a folder only this user can write.
    Outcome acquire(const QString &path);

    bool isHeld() const { return bool(m_fd); }
    // After HeldElsewhere: the holder's process id, 0 when not known.
    qint64 holderPid() const { return m_holderPid; }
    // After Failed: why.
    const QString &error() const { return m_error; }

private:
    UniqueFd m_fd;
    qint64 m_holderPid = 0;
    QString m_error;
};
