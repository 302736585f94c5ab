#pragma once

#include "unique_fd.h"

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <list>
#include <memory>

// Our content written to the pipes of the programs that paste it, never
// waiting for one of them: what a pipe does not take now is written once it
// has room, and a reader that takes nothing for the timeout is given up on.
class PipeWriters final : public QObject
{
public:
    explicit PipeWriters(std::chrono::milliseconds timeout);
    ~PipeWriters() override;

    void write(UniqueFd fd, QByteArray data);
    // How many readers are being written to right now.
    int count() const { return int(m_writes.size()); }
    void clear();

private:
    struct Write;
    void resume(Write *write);
    void end(Write *write);

    std::chrono::milliseconds m_timeout;
    std::list<std::unique_ptr<Write>> m_writes;
};
