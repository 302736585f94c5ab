#include "history_writer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Shared with the thread, which may outlive the writer when a write hangs
// at quit.
struct HistoryWriter::State
{
    using Clock = std::chrono::steady_clock;

    Save save;
    Report report;
    Retry retry;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::optional<HistoryFile::Snapshot> pending;
    // The newest list, not written because its write failed.
    std::optional<HistoryFile::Snapshot> failed;
    Clock::time_point retryAt;
    std::chrono::milliseconds nextDelay{0};
    QString lastError;
    bool writing = false;
    bool stopping = false;

    // With the lock held: a failed list whose time has come is pending again.
    void takeDueRetry()
    {
        if (failed && !pending && Clock::now() >= retryAt) {
            pending = std::move(failed);
            failed.reset();
        }
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            const auto ready = [&] { return pending || stopping; };
            if (failed)
                wake.wait_until(lock, retryAt, ready);
            else
                wake.wait(lock, ready);
            if (stopping && !pending)
                return;
            takeDueRetry();
            if (!pending)
                continue;
            HistoryFile::Snapshot snapshot = std::move(*pending);
            pending.reset();
            writing = true;
            lock.unlock();
            const QString error = save(snapshot);
            lock.lock();
            if (error.isEmpty()) {
                const bool recovered = !lastError.isEmpty();
                lastError.clear();
                nextDelay = std::chrono::milliseconds(0);
                failed.reset(); // older than what was just written
                if (recovered) {
                    lock.unlock();
                    report(false, {});
                    lock.lock();
                }
            } else {
                const bool news = error != lastError;
                lastError = error;
                nextDelay = nextDelay.count() ? std::min(nextDelay * 2, retry.longest) : retry.first;
                retryAt = Clock::now() + nextDelay;
                if (!pending) // a newer list is tried anyway
                    failed = std::move(snapshot);
                if (news) {
                    lock.unlock();
                    report(true, error);
                    lock.lock();
                }
            }
            snapshot.clear(); // the texts are let go before anyone is told
            writing = false;
            idle.notify_all();
        }
    }
};

HistoryWriter::HistoryWriter(Save save, Report report, Retry retry)
    : m_state(std::make_shared<State>())
{
    m_state->save = std::move(save);
    m_state->report = std::move(report);
    m_state->retry = retry;
    std::thread([state = m_state] { state->run(); }).detach();
}

HistoryWriter::~HistoryWriter()
{
    std::lock_guard lock(m_state->mutex);
    m_state->stopping = true;
    m_state->wake.notify_all();
}

void HistoryWriter::submit(HistoryFile::Snapshot snapshot)
{
    std::lock_guard lock(m_state->mutex);
    m_state->pending = std::move(snapshot);
    m_state->failed.reset();
    m_state->wake.notify_all();
}

bool HistoryWriter::waitUntilWritten(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    if (m_state->failed && !m_state->pending) {
        m_state->retryAt = State::Clock::now();
        m_state->takeDueRetry();
        m_state->wake.notify_all();
    }
    return m_state->idle.wait_for(lock, timeout, [&] { return !m_state->pending && !m_state->writing; });
}
