// History file and capture costs: save and load at several sizes, one new
// capture against a full history of large items, and texts whose canonical
// form differs from what was copied.
#include "canonical_text.h"
#include "clipboard_bench.h"
#include "clipboard_manager.h"
#include "clock.h"
#include "history_file.h"
#include "memory/memory_pasteboard.h"
#include "text_rules.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

class FixedClock final : public Clock
{
public:
    TimeInterval now() const override { return t += 1; }
    mutable TimeInterval t = 700000000;
};

QList<ClipItemPtr> makeItems(int count, int size)
{
    QList<ClipItemPtr> items;
    for (int i = 0; i < count; ++i) {
        QString text = QStringLiteral("item %1 ").arg(i);
        text += QString(size - text.size(), QChar(u'a' + i % 26));
        items << ClipItem::create(text, ClipContentType::Text, std::nullopt, 700000000 - i);
    }
    return items;
}

void BM_Save(benchmark::State &state)
{
    QTemporaryDir dir;
    const HistoryStorage storage(dir.path());
    const auto items = makeItems(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(storage.save(items));
    state.SetBytesProcessed(state.iterations() * state.range(0) * state.range(1));
}
BENCHMARK(BM_Save)->Args({200, 1000})->Args({200, 100000})->Unit(benchmark::kMillisecond);

void BM_Load(benchmark::State &state)
{
    QTemporaryDir dir;
    const HistoryStorage storage(dir.path());
    storage.save(makeItems(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    for (auto _ : state) {
        auto result = storage.load();
        if (result.items.size() != state.range(0))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_Load)->Args({200, 1000})->Args({200, 100000})->Args({10000, 1000})->Unit(benchmark::kMillisecond);

// One new copy with 200 stored items of 100 KB: the canonical-equivalence
// search over the history, classification, insertion, and the hand-over of
// the list to the writer (which writes on its own thread).
void BM_NewCapture(benchmark::State &state)
{
    QTemporaryDir dir;
    HistoryStorage(dir.path()).save(makeItems(200, 100000));
    MemoryPasteboard pasteboard;
    FixedClock clock;
    ClipboardManager manager(pasteboard, HistoryStorage(dir.path()), clock);
    pasteboard.simulateCopy(QStringLiteral("warm-up"));
    manager.checkForChanges(); // each item hashes its text once, on first use
    int n = 0;
    for (auto _ : state) {
        pasteboard.simulateCopy(QStringLiteral("a brand new copy number %1").arg(n++));
        manager.checkForChanges();
    }
}
BENCHMARK(BM_NewCapture)->Unit(benchmark::kMillisecond);

// The same history, the search alone: what a capture costs beyond the save.
void BM_RecopySearch(benchmark::State &state)
{
    const auto items = makeItems(200, 100000);
    for (const auto &item : items)
        item->canonicalHash(); // as at load
    int n = 0;
    for (auto _ : state) {
        const QString text = QStringLiteral("a brand new copy number %1").arg(n++);
        const size_t hash = TextRules::canonicalHash(text);
        bool found = false;
        for (const auto &item : items)
            found |= item->isCanonicallyEqual(text, hash);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_RecopySearch)->Unit(benchmark::kMicrosecond);

// Decomposed texts and a composed one of about the same size: 1M "e" +
// U+0301 pairs (3 MB of UTF-8), 4 MB of Korean in NFD, and the same Korean
// in NFC (4 MB).
QString canonicalCase(int64_t kind)
{
    if (kind == 0)
        return QStringLiteral("e\u0301").repeated(1000000);
    const QString syllables = QStringLiteral("\uD55C\uAD6D\uC5B4\uB97C \uC785\uB825\uD558\uB294 "
                                             "\uBC95\uC744 \uBC30\uC6B0\uAE30. ");
    const QString unit = kind == 1 ? syllables.normalized(QString::NormalizationForm_D) : syllables;
    return unit.repeated(4000000 / unit.toUtf8().size());
}

const char *canonicalCaseName(int64_t kind)
{
    return kind == 0 ? "1M e+U+0301" : kind == 1 ? "4MB Korean NFD" : "4MB Korean NFC";
}

// A store over a history folder, loaded as at start, with an in-memory
// clipboard.
struct Store
{
    explicit Store(const QString &folder)
        : manager(pasteboard, HistoryStorage(folder), clock)
    {
    }

    // Copies text and runs the event loop until it is at the top.
    ClipboardBench::LoopWatch copy(const QString &text)
    {
        const qsizetype size = TextRules::trimmedWhitespaceAndNewlines(text).size();
        return ClipboardBench::runAfter(
            [&] {
                pasteboard.simulateCopy(text);
                manager.checkForChanges();
            },
            [&] { return manager.items().first()->rawContent().size() == size; }, 600000);
    }

    MemoryPasteboard pasteboard;
    FixedClock clock;
    ClipboardManager manager;
};

// A folder whose history holds extra and 20 small items.
std::unique_ptr<QTemporaryDir> historyFolder(const QList<ClipItemPtr> &extra = {})
{
    auto dir = std::make_unique<QTemporaryDir>();
    HistoryStorage(dir->path()).save(extra + makeItems(20, 1000));
    return dir;
}

// A copy of such a text on the capture path: until it is in the history,
// and the longest event-loop stall meanwhile.
void BM_CaptureCanonical(benchmark::State &state)
{
    const QString text = canonicalCase(state.range(0));
    state.SetLabel(canonicalCaseName(state.range(0)));
    for (auto _ : state) {
        const auto dir = historyFolder();
        Store store(dir->path());
        const auto watch = store.copy(text);
        if (!watch.done)
            state.SkipWithError("not captured");
        state.SetIterationTime(double(watch.elapsedMs) / 1000);
        state.counters["stall_ms"] = double(watch.longestMs);
    }
}
BENCHMARK(BM_CaptureCanonical)->DenseRange(0, 2)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// The same text saved in the history: a start (load) and then a small
// copy, which must not normalise the stored text again.
void BM_RestartCanonical(benchmark::State &state)
{
    state.SetLabel(canonicalCaseName(state.range(0)));
    const auto dir = historyFolder(
        {ClipItem::create(canonicalCase(state.range(0)), ClipContentType::Text, std::nullopt, 800000000)});
    for (auto _ : state) {
        QElapsedTimer start;
        start.start();
        Store store(dir->path());
        const double loadMs = double(start.nsecsElapsed()) / 1e6;
        const auto watch = store.copy(QStringLiteral("a small copy"));
        if (!watch.done)
            state.SkipWithError("not captured");
        state.SetIterationTime(double(watch.elapsedMs) / 1000);
        state.counters["stall_ms"] = double(watch.longestMs);
        state.counters["load_ms"] = loadMs;
    }
}
BENCHMARK(BM_RestartCanonical)->DenseRange(0, 2)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// A large copy of ordinary text (lines of words), as the store takes it:
// until it is in the history, until it is saved, the longest stall.
void BM_CaptureLarge(benchmark::State &state)
{
    const QString line = QStringLiteral("0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\n");
    const QString text = line.repeated(state.range(0) * 1000 * 1000 / line.size());
    for (auto _ : state) {
        const auto dir = historyFolder();
        Store store(dir->path());
        QElapsedTimer timer;
        timer.start();
        const auto watch = store.copy(text);
        const double storedMs = double(timer.nsecsElapsed()) / 1e6;
        const auto saving = ClipboardBench::runLoop(
            [&] { return store.manager.waitForSaved(std::chrono::milliseconds(0)); }, 60000);
        if (!watch.done || !saving.done)
            state.SkipWithError("not captured");
        state.SetIterationTime(storedMs / 1000);
        state.counters["saved_ms"] = double(timer.nsecsElapsed()) / 1e6;
        state.counters["stall_ms"] = double(std::max(watch.longestMs, saving.longestMs));
    }
}
BENCHMARK(BM_CaptureLarge)->Arg(10)->Arg(50)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
