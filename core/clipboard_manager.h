#pragma once

#include "capture_queue.h"
#include "classifier.h"
#include "clip_item.h"
#include "history_storage.h"
#include "history_writer.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>

class Clock;
class Pasteboard;

// The one history store: the ordered list of items (index 0 is the top),
// its persistence, and the watcher that turns clipboard changes into items.
class ClipboardManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int historyLimit = 200;
    static constexpr int pollIntervalMs = 250;
    using Classification = Classifier::Classification;

    // Reads the pasteboard's change count (what is on it now is never
    // captured) and loads the history file.
    ClipboardManager(Pasteboard &pasteboard, HistoryStorage storage, const Clock &clock,
                     QObject *parent = nullptr);
    ~ClipboardManager() override;

    // Until every copy taken has entered and the last change is in the
    // history file (or its write failed); false when the time ran out
    // first. Quitting waits here.
    bool waitForSaved(std::chrono::milliseconds timeout = HistoryWriter::quitTimeout);

    const QList<ClipItemPtr> &items() const { return m_items; }
    bool isPasting() const { return m_pastes > 0; }
    // The clipboard change the watcher dealt with last, or our own write.
    qint64 lastChangeCount() const { return m_lastChangeCount; }
    // For reading; the program writes only through the calls below.
    const Pasteboard &pasteboard() const { return m_pasteboard; }

    // Every write of the program to the clipboard goes through one of these
    // three, which keep the rule that our own write is no copy of the user's.
    // A copy the user asked for (the copy buttons and menu entries, the
    // command line's copy): taken as any copy is.
    void copyToClipboard(const QString &text);
    // An item put back for a paste: on the clipboard, but not a new copy.
    void writeAsOwn(const QString &text);
    // The lost copy offered again after its owner quit, as writeAsOwn, but
    // only while nobody has copied since; true when it is on the clipboard.
    bool restoreAsOwn(const QString &text);

    // While a guard lives the watcher looks at nothing (a paste under way);
    // when the last one goes it looks once, so a copy made meanwhile is
    // taken. Guards may overlap.
    using PasteGuard = std::shared_ptr<void>;
    [[nodiscard]] PasteGuard beginPaste();
    const Clock &clock() const { return m_clock; }
    const HistoryStorage &storage() const { return m_storage; }

    // Takes each change the pasteboard reports as it comes; only where it
    // does not report them all does a poll run as well.
    void startObserving();
    void stopObserving();
    bool isObserving() const { return m_observing; }
    bool isPolling() const { return m_timer.isActive(); }
    // One poll: records a new copy, or moves a re-copied item to the top.
    void checkForChanges();
    // Records text as a new copy would be: trimmed (blank text is dropped),
    // a canonically equal item moved to the top, else classified, added,
    // the limit enforced, saved. What checkForChanges() does with the
    // clipboard's text, for texts that come from elsewhere. A large text is
    // analysed on a worker thread and enters later, still in copy order.
    // done() runs once it has entered (or was found blank).
    void capture(QString text, CaptureQueue::Done done = {});
    // The same for UTF-8 bytes, decoded off the GUI thread when large.
    void captureUtf8(QByteArray bytes, CaptureQueue::Done done);
    // Enters every copy still being analysed, waiting for it.
    void finishCaptures() { m_captures.finish(); }
    // Whether text, as copied, is the newest copy taken: the top item, or
    // a copy still on its way that will enter above it.
    bool isNewestCapture(const QString &text) const;

    void togglePin(const ClipItemPtr &item);
    void deleteItem(const ClipItemPtr &item);
    void clearUnpinned();
    void recordPaste(const ClipItemPtr &item);

    static Classification classify(QStringView content) { return Classifier::classify(content); }

    // Concealed and transient markers: their presence suppresses capture.
    static const QStringList &concealedTypes();

signals:
    // Fired before every change of items() and before a pin toggle...
    void itemsAboutToChange();
    // ...and after it, for views that redraw from the new state.
    void itemsChanged();

private:
    void enter(CaptureQueue::Analysed copy);
    void loadExistingItems();
    void saveItems();
    void enforceLimit();
    void removeAt(qsizetype index);
    void insertAtTop(const ClipItemPtr &item);
    qsizetype indexOf(const ClipItemPtr &item) const;

    Pasteboard &m_pasteboard;
    HistoryStorage m_storage;
    const Clock &m_clock;
    QList<ClipItemPtr> m_items;
    int m_pastes = 0;
    qint64 m_lastChangeCount = 0;
    QTimer m_timer;
    bool m_observing = false;
    CaptureQueue m_captures;
    bool m_mayWriteHistory = true;
    std::unique_ptr<HistoryWriter> m_writer;
    bool m_saveWaitRanOut = false; // the quit already waited its bound
};
