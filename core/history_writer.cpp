#include "history_writer.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Shared with the thread, which may outlive the writer when a write hangs
// at quit.
struct HistoryWriter::State
{
    Save save;
    Report report;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::optional<HistoryFile::Snapshot> pending;
    bool writing = false;
    bool stopping = false;

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return pending || stopping; });
            if (!pending)
                return;
            HistoryFile::Snapshot snapshot = std::move(*pending);
            pending.reset();
            writing = true;
            lock.unlock();
            const QString error = save(snapshot);
            if (!error.isEmpty())
                report(error);
            snapshot.clear(); // the texts are let go before anyone is told
            lock.lock();
            writing = false;
            idle.notify_all();
        }
    }
};

HistoryWriter::HistoryWriter(Save save, Report report)
    : m_state(std::make_shared<State>())
{
    m_state->save = std::move(save);
    m_state->report = std::move(report);
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
    m_state->wake.notify_all();
}

bool HistoryWriter::waitUntilWritten(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->idle.wait_for(lock, timeout, [&] { return !m_state->pending && !m_state->writing; });
}
