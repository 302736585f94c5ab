#pragma once

#include "clip_item.h"

#include <QObject>
#include <QThreadPool>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Copies on their way into the store. Each text is trimmed and hashed (its
// canonical form), and a large one also classified and counted, on a
// worker thread, so that no copy freezes the program; copies are handed
// back in the order they came, so a small copy made just after a large one
// still lands above it.
class CaptureQueue : public QObject
{
    Q_OBJECT
public:
    // Texts up to this many UTF-16 units are analysed at once: a few
    // milliseconds at most, whatever they hold.
    static constexpr qsizetype inlineLimit = 32 * 1024;

    struct Analysed
    {
        QString text; // trimmed, never empty
        size_t canonicalHash = 0;
        // Built ahead for a large text (timestamp left for the store);
        // a small one is classified only if it turns out to be new.
        ClipItemPtr item;
    };
    using Enter = std::function<void(Analysed)>;

    explicit CaptureQueue(Enter enter, QObject *parent = nullptr);
    ~CaptureQueue() override;

    // done() runs once the text has entered (or was found blank).
    void add(QString text, std::function<void()> done = {});
    // The text of the newest copy still on its way, if any.
    std::optional<QString> newestPending() const;
    // Waits for what is being analysed and enters everything.
    void finish();

private:
    struct Job
    {
        QString text;
        std::function<void()> entered;
        bool done = false;
        std::optional<Analysed> result; // nothing for a blank text
    };
    static std::optional<Analysed> analyse(QString text, bool large);
    void enterReady();

    Enter m_enter;
    mutable std::mutex m_mutex;
    std::deque<std::shared_ptr<Job>> m_jobs;
    QThreadPool m_pool;
};
