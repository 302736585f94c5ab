// The store on the X11 backend with real xclip owners: how long a copy
// takes from the moment its program takes the clipboard until it is in the
// history (store updated, views told) and until it is durably saved, the
// longest event-loop stall meanwhile, memory, and the key path with a
// 200 MB history. One run of this fills the table in bench/README.md.
//
// The clock starts when an observer on a connection of its own (a thread,
// so that our own stalls cannot delay it) sees the new owner.
#include "clipboard_bench.h"
#include "clipboard_manager.h"
#include "x11/x11_connection.h"
#include "x11/x11_pasteboard.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <atomic>
#include <chrono>
#include <poll.h>
#include <thread>
#include <vector>

namespace {

using namespace ClipboardBench;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Notes the time of every change of the clipboard's owner.
class OwnerWatch
{
public:
    OwnerWatch()
        : m_display(XOpenDisplay(nullptr))
    {
        int eventBase = 0, errorBase = 0;
        XFixesQueryExtension(m_display, &eventBase, &errorBase);
        XFixesSelectSelectionInput(m_display, DefaultRootWindow(m_display), XInternAtom(m_display, "CLIPBOARD", False),
                                   XFixesSetSelectionOwnerNotifyMask);
        XFlush(m_display);
        m_thread = std::thread([this, eventBase] {
            pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
            while (!m_stop) {
                if (!XPending(m_display) && ::poll(&fd, 1, 20) <= 0)
                    continue;
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == eventBase + XFixesSelectionNotify)
                    m_last = Clock::now().time_since_epoch().count();
            }
        });
    }
    ~OwnerWatch()
    {
        m_stop = true;
        m_thread.join();
        XCloseDisplay(m_display);
    }
    // The last change of owner after since, if any.
    std::optional<Clock::time_point> changedAfter(Clock::time_point since) const
    {
        const Clock::time_point at{Clock::duration(m_last.load())};
        return at >= since ? std::optional(at) : std::nullopt;
    }

private:
    Display *m_display;
    std::atomic<bool> m_stop = false;
    std::atomic<Clock::rep> m_last = 0;
    std::thread m_thread;
};

OwnerWatch &ownerWatch()
{
    static OwnerWatch watch;
    return watch;
}

struct Store
{
    explicit Store(const QList<ClipItemPtr> &history = {})
        : connection(X11Connection::open())
        , pasteboard(connection)
    {
        if (!history.isEmpty())
            HistoryStorage(folder.path()).save(history);
        manager = std::make_unique<ClipboardManager>(pasteboard, HistoryStorage(folder.path()), clock);
        manager->startObserving();
        QObject::connect(manager.get(), &ClipboardManager::itemsChanged, [this] { lastChange = Clock::now(); });
    }
    bool saved() const { return manager->waitForSaved(std::chrono::milliseconds(0)); }
    bool topIs(qsizetype size) const { return !manager->items().isEmpty() && manager->items().first()->rawContent().size() == size; }
    bool topIs(const QString &text) const { return !manager->items().isEmpty() && manager->items().first()->rawContent() == text; }

    QTemporaryDir folder;
    SystemishClock clock;
    std::shared_ptr<X11Connection> connection;
    X11Pasteboard pasteboard;
    std::unique_ptr<ClipboardManager> manager;
    Clock::time_point lastChange;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

double statusMiB(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// The peak resident size starts again from the present one.
void resetResidentPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

// Private memory with one 10 MB copy in the history, once it is saved:
// first, while the heap is still the program's own.
void BM_MemoryAfter10MB(benchmark::State &state)
{
    for (auto _ : state) {
        startXclip({}, "before"); // whatever was on the clipboard is not ours to count
        runLoop([] { return false; }, 300);
        Store store;
        runLoop([] { return false; }, 300);
        state.counters["anon_idle_MiB"] = anonymousMiB();
        QTemporaryDir dir;
        writeCopyFile(dir.filePath("copy"), 10 * 1000 * 1000);
        startXclip({dir.filePath("copy")});
        const auto watch = runLoop([&] { return store.topIs(10 * 1000 * 1000) && store.saved(); }, 30000);
        if (!watch.done)
            state.SkipWithError("the copy was not saved");
        runLoop([] { return false; }, 300);
        state.counters["anon_after_MiB"] = anonymousMiB();
        startXclip({}, "small");
        runLoop([&] { return store.topIs(5) && store.saved(); }, 3000);
        runLoop([] { return false; }, 300);
        state.counters["anon_after_small_MiB"] = anonymousMiB();
        store.manager->deleteItem(store.manager->items()[1]);
        runLoop([&] { return store.saved(); }, 3000);
        runLoop([] { return false; }, 300);
        state.counters["anon_after_delete_MiB"] = anonymousMiB();
        state.SetIterationTime(double(watch.elapsedMs) / 1000);
    }
}
BENCHMARK(BM_MemoryAfter10MB)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Fifty small copies, each by an xclip that answers at once.
void BM_SmallCopy(benchmark::State &state)
{
    Store store;
    int n = 0;
    for (auto _ : state) {
        std::vector<double> stored, saved;
        qint64 stall = 0;
        for (int i = 0; i < 50; ++i) {
            const QString text = QStringLiteral("small copy number %1").arg(++n);
            const Clock::time_point start = Clock::now();
            startXclip({"-quiet", "-loops", "2"}, text.toUtf8());
            const auto watch = runLoop([&] { return store.topIs(text) && store.saved(); }, 5000);
            // The observer thread may be scheduled late; what it noted is
            // when the event reached it all the same.
            runLoop([&] { return ownerWatch().changedAfter(start).has_value(); }, 1000);
            const auto owner = ownerWatch().changedAfter(start);
            if (!watch.done || !owner) {
                state.SkipWithError("a copy was not saved");
                break;
            }
            stored.push_back(std::chrono::duration<double, std::milli>(store.lastChange - *owner).count());
            saved.push_back(msSince(*owner));
            stall = std::max(stall, watch.longestMs);
        }
        state.SetIterationTime(median(stored) / 1000);
        state.counters["stored_p90_ms"] = stored.empty() ? -1 : (std::sort(stored.begin(), stored.end()), stored[stored.size() * 9 / 10]);
        state.counters["saved_ms"] = median(saved);
        state.counters["saved_p90_ms"] = saved.empty() ? -1 : (std::sort(saved.begin(), saved.end()), saved[saved.size() * 9 / 10]);
        state.counters["stall_ms"] = double(stall);
    }
}
BENCHMARK(BM_SmallCopy)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// A large copy by xclip (an incremental transfer), state.range(0) MB.
void BM_LargeCopy(benchmark::State &state)
{
    QTemporaryDir dir;
    const qsizetype size = state.range(0) * 1000 * 1000;
    writeCopyFile(dir.filePath("copy"), size);
    for (auto _ : state) {
        startXclip({}, "before"); // the last round's copy is not ours to hold
        runLoop([] { return false; }, 300);
        Store store;
        runLoop([] { return false; }, 200);
        resetResidentPeak();
        const Clock::time_point start = Clock::now();
        startXclip({dir.filePath("copy")});
        const auto watch = runLoop([&] { return store.topIs(size) && store.saved(); }, 60000);
        const auto owner = ownerWatch().changedAfter(start);
        if (!watch.done || !owner) {
            state.SkipWithError("the copy was not saved");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(store.lastChange - *owner).count());
        state.counters["saved_ms"] = msSince(*owner);
        state.counters["stall_ms"] = double(watch.longestMs);
        state.counters["resident_peak_MiB"] = statusMiB("VmHWM:");
    }
}
BENCHMARK(BM_LargeCopy)->Arg(10)->Arg(50)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// With 200 items of 1 MB: a new copy by xclip, a pin, a delete; the
// longest stall until the 200 MB history is saved again.
void BM_LargeHistory(benchmark::State &state)
{
    static const char *const names[] = {"new copy", "pin", "delete"};
    state.SetLabel(names[state.range(0)]);
    QList<ClipItemPtr> history;
    const QString line = QStringLiteral("a large history item, line after line of ordinary words;\n");
    for (int i = 0; i < 200; ++i)
        history << ClipItem::create(QStringLiteral("item %1\n").arg(i) + line.repeated(1000 * 1000 / line.size()),
                                    ClipContentType::Text, std::nullopt, 800000000.0 - i);
    Store store(history);
    ClipboardManager &m = *store.manager;
    int n = 0;
    for (auto _ : state) {
        const QString text = QStringLiteral("a new copy %1").arg(++n);
        const auto watch = runAfter(
            [&] {
                if (state.range(0) == 0)
                    startXclip({"-quiet", "-loops", "2"}, text.toUtf8());
                else if (state.range(0) == 1)
                    m.togglePin(m.items()[3]);
                else
                    m.deleteItem(m.items()[5]);
            },
            [&] { return (state.range(0) != 0 || store.topIs(text)) && store.saved(); }, 60000);
        if (!watch.done)
            state.SkipWithError("not saved");
        state.SetIterationTime(double(watch.longestMs) / 1000);
        state.counters["saved_ms"] = double(watch.elapsedMs);
    }
}
BENCHMARK(BM_LargeHistory)->DenseRange(0, 2)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_StallBaseline(benchmark::State &state)
{
    Store store;
    for (auto _ : state)
        state.SetIterationTime(double(runLoop([] { return false; }, 1000).longestMs) / 1000);
}
BENCHMARK(BM_StallBaseline)->UseManualTime()->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    XInitThreads(); // the owner watch reads its connection on a thread
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    ownerWatch();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
