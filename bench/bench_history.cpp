// History file and capture costs: save and load at several sizes, and one
// new capture against a full history of large items.
#include "clipboard_manager.h"
#include "clock.h"
#include "history_file.h"
#include "memory/memory_pasteboard.h"

#include <QCoreApplication>
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
// search over the history, classification, insertion and the save.
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
        item->isCanonicallyEqual(QString(), 0); // prime the per-item hash
    int n = 0;
    for (auto _ : state) {
        const QString text = QStringLiteral("a brand new copy number %1").arg(n++);
        const QString canonical = text.normalized(QString::NormalizationForm_C);
        const size_t hash = ClipItem::canonicalHash(canonical);
        bool found = false;
        for (const auto &item : items)
            found |= item->isCanonicallyEqual(canonical, hash);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_RecopySearch)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
