#include "capture_queue.h"

#include "classifier.h"
#include "free_memory.h"
#include "text_rules.h"

CaptureQueue::CaptureQueue(Enter enter, QObject *parent)
    : QObject(parent)
    , m_enter(std::move(enter))
{
    // One worker: large copies are rare, and two at once would only
    // compete for the same cores as the program.
    m_pool.setMaxThreadCount(1);
}

CaptureQueue::~CaptureQueue()
{
    m_pool.clear();
    m_pool.waitForDone();
}

std::optional<CaptureQueue::Analysed> CaptureQueue::analyse(QString text, bool large)
{
    Analysed copy;
    copy.text = TextRules::trimmedWhitespaceAndNewlines(text);
    text = QString(); // hold the copy once
    if (copy.text.isEmpty())
        return std::nullopt;
    copy.canonicalHash = TextRules::canonicalHash(copy.text);
    if (large) {
        const auto kind = Classifier::classify(copy.text);
        copy.item = ClipItem::create(copy.text, kind.type, kind.language, 0, copy.canonicalHash);
    }
    return copy;
}

void CaptureQueue::add(QString text, std::function<void()> done)
{
    const bool large = text.size() > inlineLimit;
    std::unique_lock lock(m_mutex);
    if (!large && m_jobs.empty()) {
        lock.unlock();
        if (auto copy = analyse(std::move(text), false))
            m_enter(std::move(*copy));
        if (done)
            done();
        return;
    }
    auto job = std::make_shared<Job>();
    job->text = text;
    job->entered = std::move(done);
    m_jobs.push_back(job);
    lock.unlock();
    if (!large) {
        job->result = analyse(std::move(text), false);
        job->done = true; // only this thread looks at a small job
        return;
    }
    m_pool.start([this, job, text = std::move(text)]() mutable {
        auto result = analyse(std::move(text), true);
        // What carried the copy here (the transfer's buffers) is free now.
        returnFreeMemoryToSystem();
        {
            std::lock_guard guard(m_mutex);
            job->result = std::move(result);
            job->done = true;
        }
        QMetaObject::invokeMethod(this, &CaptureQueue::enterReady, Qt::QueuedConnection);
    });
}

std::optional<QString> CaptureQueue::newestPending() const
{
    std::lock_guard lock(m_mutex);
    if (m_jobs.empty())
        return std::nullopt;
    return m_jobs.back()->text;
}

void CaptureQueue::finish()
{
    m_pool.waitForDone();
    enterReady();
}

void CaptureQueue::enterReady()
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::lock_guard lock(m_mutex);
            if (m_jobs.empty() || !m_jobs.front()->done)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        if (job->result)
            m_enter(std::move(*job->result));
        if (job->entered)
            job->entered();
    }
}
