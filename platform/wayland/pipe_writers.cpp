#include "wayland/pipe_writers.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

struct PipeWriters::Write
{
    UniqueFd fd;
    QByteArray data;
    qsizetype offset = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer timer;
};

PipeWriters::PipeWriters(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{
}

PipeWriters::~PipeWriters() = default;

void PipeWriters::clear()
{
    m_writes.clear();
}

void PipeWriters::write(UniqueFd fd, QByteArray data)
{
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
    auto write = std::make_unique<Write>();
    write->fd = std::move(fd);
    write->data = std::move(data);
    Write *raw = write.get();
    write->timer.setSingleShot(true);
    connect(&write->timer, &QTimer::timeout, this, [this, raw] { end(raw); });
    m_writes.push_back(std::move(write));
    resume(raw);
}

void PipeWriters::resume(Write *write)
{
    while (write->offset < write->data.size()) {
        const ssize_t count = ::write(write->fd.get(), write->data.constData() + write->offset,
                                      size_t(write->data.size() - write->offset));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                if (!write->notifier) {
                    write->notifier = std::make_unique<QSocketNotifier>(write->fd.get(), QSocketNotifier::Write);
                    connect(write->notifier.get(), &QSocketNotifier::activated, this, [this, write] { resume(write); });
                }
                write->timer.start(m_timeout);
                return;
            }
            break; // the reader went away
        }
        write->offset += count;
    }
    end(write);
}

void PipeWriters::end(Write *write)
{
    m_writes.remove_if([write](const std::unique_ptr<Write> &w) { return w.get() == write; });
}
