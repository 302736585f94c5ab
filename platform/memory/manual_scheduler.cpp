#include "memory/manual_scheduler.h"

#include <algorithm>

void ManualScheduler::schedule(std::chrono::milliseconds delay, std::function<void()> task)
{
    m_tasks.push_back({m_now + std::max(delay, std::chrono::milliseconds(0)), m_sequence++,
                       std::move(task)});
}

void ManualScheduler::advance(std::chrono::milliseconds span)
{
    const auto end = m_now + span;
    for (;;) {
        auto next = std::min_element(m_tasks.begin(), m_tasks.end(), [](const Task &a, const Task &b) {
            return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
        });
        if (next == m_tasks.end() || next->due > end)
            break;
        m_now = next->due;
        auto run = std::move(next->run);
        m_tasks.erase(next);
        run();
    }
    m_now = end;
}
