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
    enum class Outcome { Entered, Blank, NotUtf8 };
    // Runs once the text has entered, or was found blank or not text.
    using Done = std::function<void(Outcome)>;

    explicit CaptureQueue(Enter enter, QObject *parent = nullptr);
    ~CaptureQueue() override;

    void add(QString text, Done done = {});
    // Text as UTF-8 bytes, decoded strictly where it is analysed (on the
    // worker when large): what was not UTF-8 enters nothing.
    void addUtf8(QByteArray bytes, Done done = {});
    // The text of the newest copy still on its way, if any; empty for
    // bytes not decoded yet.
    std::optional<QString> newestPending() const;
    // Waits for what is being analysed and enters everything.
    void finish();

private:
    struct Job
    {
        QString text;
        Done entered;
        bool done = false;
        Outcome outcome = Outcome::Entered;
        std::optional<Analysed> result; // nothing for a blank text
    };
    // The text or the bytes (one of them), trimmed, hashed, and when large
    // classified.
    static std::pair<Outcome, std::optional<Analysed>> analyse(QString text, QByteArray bytes, bool large);
    void enqueue(QString text, QByteArray bytes, bool large, Done done);
    void enterReady();

    Enter m_enter;
    mutable std::mutex m_mutex;
    std::deque<std::shared_ptr<Job>> m_jobs;
    QThreadPool m_pool;
};
