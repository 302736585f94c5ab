#pragma once

#include "history_file.h"

#include <chrono>
#include <functional>
#include <memory>

// How soon a failed write is tried again: first, then twice as long each
// time, up to longest.
struct HistoryRetry
{
    std::chrono::milliseconds first{1000};
    std::chrono::milliseconds longest{60000};
};

// Writes the history file on a thread of its own, so that no change of
// the list waits for the disk. It always writes the newest list it was
// given: lists handed over while a write runs replace one another, and a
// burst of changes costs one or two writes. A failed write is tried again,
// later and later, until it succeeds or a newer list replaces it; the
// wait at quit tries it once more.
class HistoryWriter
{
public:
    using Retry = HistoryRetry;
    // Writes a snapshot; returns the reason it failed, or nothing.
    using Save = std::function<QString(const HistoryFile::Snapshot &)>;
    // Told on the writer's thread of a write that failed (once for each new
    // reason, not at every retry), and of the write that succeeded after
    // failures (failed false, reason empty).
    using Report = std::function<void(bool failed, const QString &reason)>;

    HistoryWriter(Save save, Report report, Retry retry = {});
    // Does not wait: the owner waits (waitUntilWritten, bounded) first. A
    // write still running goes on, and the thread ends after it.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter &) = delete;
    HistoryWriter &operator=(const HistoryWriter &) = delete;

    void submit(HistoryFile::Snapshot snapshot);
    // Tries a failed write again now, then waits until everything submitted
    // has been written (or has failed); false when the time ran out first.
    bool waitUntilWritten(std::chrono::milliseconds timeout) const;

    static constexpr std::chrono::seconds quitTimeout{10};

private:
    struct State;
    std::shared_ptr<State> m_state;
};
