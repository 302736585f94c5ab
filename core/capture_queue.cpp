#include "capture_queue.h"

#include "canonical_text.h"
#include "classifier.h"
#include "free_memory.h"
#include "text_rules.h"

#include <QStringDecoder>

#include <tuple>

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

std::pair<CaptureQueue::Outcome, std::optional<CaptureQueue::Analysed>>
CaptureQueue::analyse(QString text, QByteArray bytes, bool large)
{
    if (!bytes.isNull()) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = decoder.decode(bytes);
        bytes = QByteArray();
        if (decoder.hasError())
            return {Outcome::NotUtf8, std::nullopt};
    }
    Analysed copy;
    copy.text = TextRules::trimmedWhitespaceAndNewlines(text);
    text = QString(); // hold the copy once
    if (TextRules::isBlank(copy.text))
        return {Outcome::Blank, std::nullopt};
    copy.canonicalHash = TextRules::canonicalHash(copy.text);
    if (large) {
        const auto kind = Classifier::classify(copy.text);
        copy.item = ClipItem::create(copy.text, kind.type, kind.language, 0, copy.canonicalHash);
    }
    return {Outcome::Entered, std::move(copy)};
}

void CaptureQueue::add(QString text, Done done)
{
    const bool large = text.size() > inlineLimit;
    enqueue(std::move(text), {}, large, std::move(done));
}

void CaptureQueue::addUtf8(QByteArray bytes, Done done)
{
    // Never more UTF-16 units than bytes.
    const bool large = bytes.size() > inlineLimit;
    if (bytes.isNull())
        bytes = QByteArray("", 0);
    enqueue({}, std::move(bytes), large, std::move(done));
}

void CaptureQueue::enqueue(QString text, QByteArray bytes, bool large, Done done)
{
    std::unique_lock lock(m_mutex);
    if (!large && m_jobs.empty()) {
        lock.unlock();
        auto [outcome, copy] = analyse(std::move(text), std::move(bytes), false);
        if (copy)
            m_enter(std::move(*copy));
        if (done)
            done(outcome);
        return;
    }
    auto job = std::make_shared<Job>();
    job->text = text; // empty for bytes
    job->entered = std::move(done);
    m_jobs.push_back(job);
    lock.unlock();
    if (!large) {
        std::tie(job->outcome, job->result) = analyse(std::move(text), std::move(bytes), false);
        job->done = true; // only this thread looks at a small job
        return;
    }
    m_pool.start([this, job, text = std::move(text), bytes = std::move(bytes)]() mutable {
        auto [outcome, result] = analyse(std::move(text), std::move(bytes), true);
        // What carried the copy here (the transfer's buffers) is free now.
        returnFreeMemoryToSystem();
        {
            std::lock_guard guard(m_mutex);
            job->outcome = outcome;
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
            job->entered(job->outcome);
    }
}
