#pragma once

#include "history_file.h"

#include <chrono>
#include <functional>
#include <memory>

// Writes the history file on a thread of its own, so that no change of
// the list waits for the disk. It always writes the newest list it was
// given: lists handed over while a write runs replace one another, and a
// burst of changes costs one or two writes.
class HistoryWriter
{
public:
    // Writes a snapshot; returns the reason it failed, or nothing.
    using Save = std::function<QString(const HistoryFile::Snapshot &)>;
    // Told of each failed write, on the writer's thread.
    using Report = std::function<void(const QString &error)>;

    HistoryWriter(Save save, Report report);
    // Does not wait: the owner waits (waitUntilWritten, bounded) first. A
    // write still running goes on, and the thread ends after it.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter &) = delete;
    HistoryWriter &operator=(const HistoryWriter &) = delete;

    void submit(HistoryFile::Snapshot snapshot);
    // True once everything submitted has been written (or has failed);
    // false when the time ran out first.
    bool waitUntilWritten(std::chrono::milliseconds timeout) const;

    static constexpr std::chrono::seconds quitTimeout{10};

private:
    struct State;
    std::shared_ptr<State> m_state;
};
