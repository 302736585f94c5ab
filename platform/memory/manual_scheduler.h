#pragma once

#include "scheduler.h"

#include <QtGlobal>

#include <vector>

// Virtual time for tests: tasks run only when advance() passes their due
// time, in due order (ties in the order they were scheduled).
class ManualScheduler final : public Scheduler
{
public:
    void schedule(std::chrono::milliseconds delay, std::function<void()> task) override;

    // Moves virtual time forward, running every task that falls due,
    // including tasks those tasks schedule within the span.
    void advance(std::chrono::milliseconds span);
    std::chrono::milliseconds now() const { return m_now; }
    qsizetype pendingCount() const { return qsizetype(m_tasks.size()); }

private:
    struct Task
    {
        std::chrono::milliseconds due;
        quint64 sequence;
        std::function<void()> run;
    };
    std::chrono::milliseconds m_now{0};
    quint64 m_sequence = 0;
    std::vector<Task> m_tasks;
};
