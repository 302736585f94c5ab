#include "clipboard_manager.h"

#include "canonical_text.h"
#include "clock.h"
#include "concealed_types.h"
#include "pasteboard.h"
#include "text_rules.h"

#include <QPointer>

#include <cstdio>

namespace {

// One write per line: the history writer reports from its own thread.
void report(const char *prefix, const QString &error)
{
    const QByteArray line = prefix + error.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace

ClipboardManager::ClipboardManager(Pasteboard &pasteboard, HistoryStorage storage, const Clock &clock,
                                   QObject *parent)
    : QObject(parent)
    , m_pasteboard(pasteboard)
    , m_storage(std::move(storage))
    , m_clock(clock)
    , m_lastChangeCount(pasteboard.changeCount())
    , m_captures([this](CaptureQueue::Analysed copy) { enter(std::move(copy)); })
    , m_writer(std::make_unique<HistoryWriter>(
          [storage = m_storage](const HistoryFile::Snapshot &items) { return storage.save(items); },
          [](bool failed, const QString &error) {
              if (failed)
                  report("Could not save clip history: ", error);
              else
                  report("Saved clip history after an earlier failure", {});
          }))
{
    m_timer.setInterval(pollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ClipboardManager::checkForChanges);
    loadExistingItems();
}

ClipboardManager::~ClipboardManager()
{
    using namespace std::chrono_literals;
    // A quit that already waited out a hung disk is not held a second time.
    if (!waitForSaved(m_saveWaitRanOut ? 0ms : HistoryWriter::quitTimeout))
        report("Could not save clip history: ", QStringLiteral("the last change was still being written when "
                                                              "the program ended; the file keeps an earlier list"));
}

bool ClipboardManager::waitForSaved(std::chrono::milliseconds timeout)
{
    m_captures.finish();
    m_saveWaitRanOut = !m_writer->waitUntilWritten(timeout);
    return !m_saveWaitRanOut;
}

const QStringList &ClipboardManager::concealedTypes()
{
    // One list, shared with the clipboard backends that must not even ask
    // for the text of such a copy.
    return concealedPasteboardTypes();
}

void ClipboardManager::startObserving()
{
    m_observing = true;
    connect(&m_pasteboard, &Pasteboard::changed, this, &ClipboardManager::checkForChanges,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    // Nothing wakes the program at rest where the backend reports changes.
    if (m_pasteboard.reportsChanges())
        m_timer.stop();
    else
        m_timer.start();
}

void ClipboardManager::stopObserving()
{
    m_observing = false;
    m_timer.stop();
    disconnect(&m_pasteboard, &Pasteboard::changed, this, &ClipboardManager::checkForChanges);
}

void ClipboardManager::copyToClipboard(const QString &text)
{
    m_pasteboard.clearContents();
    m_pasteboard.setString(text);
    // Backends report only other programs' changes: the watcher looks at
    // ours now.
    if (isObserving())
        QMetaObject::invokeMethod(this, &ClipboardManager::checkForChanges, Qt::QueuedConnection);
}

void ClipboardManager::writeAsOwn(const QString &text)
{
    m_pasteboard.clearContents();
    m_pasteboard.setString(text);
    m_lastChangeCount = m_pasteboard.changeCount();
}

bool ClipboardManager::restoreAsOwn(const QString &text)
{
    if (!m_pasteboard.setStringIfUnowned(text))
        return false;
    m_lastChangeCount = m_pasteboard.changeCount();
    return true;
}

ClipboardManager::PasteGuard ClipboardManager::beginPaste()
{
    ++m_pastes;
    QPointer<ClipboardManager> self(this);
    return PasteGuard(nullptr, [self](void *) {
        if (self && --self->m_pastes == 0)
            self->checkForChanges();
    });
}

void ClipboardManager::checkForChanges()
{
    if (isPasting())
        return;
    const qint64 count = m_pasteboard.changeCount();
    if (count == m_lastChangeCount)
        return;
    m_lastChangeCount = count;

    if (const auto types = m_pasteboard.types(); types && hasConcealedType(*types))
        return;
    if (auto text = m_pasteboard.string())
        capture(std::move(*text));
}

void ClipboardManager::capture(QString text, CaptureQueue::Done done)
{
    m_captures.add(std::move(text), std::move(done));
}

void ClipboardManager::captureUtf8(QByteArray bytes, CaptureQueue::Done done)
{
    m_captures.addUtf8(std::move(bytes), std::move(done));
}

bool ClipboardManager::isNewestCapture(const QString &text) const
{
    const QString trimmed = TextRules::trimmedWhitespaceAndNewlines(text);
    if (trimmed.isEmpty())
        return false;
    if (const auto pending = m_captures.newestPending()) {
        const bool sameBuffer = pending->data() == text.data() && pending->size() == text.size();
        return sameBuffer || TextRules::canonicallyEqual(TextRules::trimmedWhitespaceAndNewlines(*pending), trimmed);
    }
    return !m_items.isEmpty() && m_items.first()->isCanonicallyEqual(trimmed);
}

void ClipboardManager::enter(CaptureQueue::Analysed copy)
{
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (!m_items[i]->isCanonicallyEqual(copy.text, copy.canonicalHash))
            continue;
        const ClipItemPtr item = m_items[i];
        removeAt(i);
        item->setTimestamp(m_clock.now());
        insertAtTop(item);
        saveItems();
        return;
    }

    ClipItemPtr item = std::move(copy.item);
    if (item) {
        item->setTimestamp(m_clock.now());
    } else {
        const Classification kind = classify(copy.text);
        item = ClipItem::create(std::move(copy.text), kind.type, kind.language, m_clock.now(), copy.canonicalHash);
    }
    insertAtTop(item);
    enforceLimit();
    saveItems();
}

void ClipboardManager::togglePin(const ClipItemPtr &item)
{
    const qsizetype index = indexOf(item);
    if (index < 0)
        return;
    emit itemsAboutToChange();
    m_items[index]->setPinned(!m_items[index]->isPinned());
    emit itemsChanged();
    saveItems();
}

void ClipboardManager::deleteItem(const ClipItemPtr &item)
{
    const QUuid id = item->id();
    emit itemsAboutToChange();
    m_items.removeIf([&](const ClipItemPtr &candidate) { return candidate->id() == id; });
    emit itemsChanged();
    saveItems();
}

void ClipboardManager::clearUnpinned()
{
    emit itemsAboutToChange();
    m_items.removeIf([](const ClipItemPtr &candidate) { return !candidate->isPinned(); });
    emit itemsChanged();
    saveItems();
}

void ClipboardManager::recordPaste(const ClipItemPtr &item)
{
    const qsizetype index = indexOf(item);
    if (index < 0)
        return;
    const ClipItemPtr stored = m_items[index];
    removeAt(index);
    stored->setTimestamp(m_clock.now());
    insertAtTop(stored);
    saveItems();
}

void ClipboardManager::loadExistingItems()
{
    HistoryStorage::LoadResult result = m_storage.load();
    m_mayWriteHistory = result.mayWrite;
    if (!result.ok()) {
        report("Could not load clip history: ", result.error);
        return;
    }
    if (!result.notice.isEmpty())
        report("Could not load clip history: ", result.notice);
    if (result.items.isEmpty() && m_items.isEmpty())
        return;
    // Hashed now, at start, so that no copy later waits for the history.
    for (const ClipItemPtr &item : result.items)
        item->canonicalHash();
    emit itemsAboutToChange();
    m_items = std::move(result.items);
    emit itemsChanged();
}

void ClipboardManager::saveItems()
{
    if (m_mayWriteHistory)
        m_writer->submit(HistoryFile::snapshot(m_items));
}

void ClipboardManager::enforceLimit()
{
    if (m_items.size() <= historyLimit)
        return;
    for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
        if (!m_items[i]->isPinned()) {
            removeAt(i);
            return;
        }
    }
}

void ClipboardManager::removeAt(qsizetype index)
{
    emit itemsAboutToChange();
    m_items.removeAt(index);
    emit itemsChanged();
}

void ClipboardManager::insertAtTop(const ClipItemPtr &item)
{
    emit itemsAboutToChange();
    m_items.prepend(item);
    emit itemsChanged();
}

qsizetype ClipboardManager::indexOf(const ClipItemPtr &item) const
{
    if (!item)
        return -1;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->id() == item->id())
            return i;
    }
    return -1;
}
