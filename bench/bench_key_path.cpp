// What a large history costs on the key path: with 200 items of 1 MB each
// (a 200 MB history file), a new copy, a pin, a delete and opening the
// panel. Each is measured as the longest event-loop stall from the action
// until its change is saved (the history's write runs meanwhile), beside
// the same with nothing happening.
#include "clipboard_bench.h"
#include "bench_support.h"
#include "panel_view.h"

#include <benchmark/benchmark.h>

namespace {

QList<ClipItemPtr> largeItems()
{
    const QString line = QStringLiteral("a large history item, line after line of ordinary words;\n");
    QList<ClipItemPtr> items;
    for (int i = 0; i < 200; ++i) {
        const QString text = QStringLiteral("item %1\n").arg(i) + line.repeated(1000 * 1000 / line.size());
        items << ClipItem::create(text, ClipContentType::Text, std::nullopt, 800000000.0 - i);
    }
    return items;
}

BenchSupport::BenchStore &store()
{
    static BenchSupport::BenchStore sample(largeItems());
    return sample;
}

TavorindleView &panel()
{
    static TavorindleView view(store().services(), [] {});
    return view;
}

enum Action { Nothing, NewCopy, Pin, Delete, OpenPanel };

void BM_KeyPath(benchmark::State &state)
{
    static const char *const names[] = {"nothing", "new copy", "pin", "delete", "open the panel"};
    const auto action = Action(state.range(0));
    state.SetLabel(names[action]);
    ClipboardManager &manager = *store().store;
    int n = 0;
    for (auto _ : state) {
        panel().hide();
        manager.waitForSaved();
        const auto watch = ClipboardBench::runAfter(
            [&] {
                switch (action) {
                case Nothing: break;
                case NewCopy:
                    store().pasteboard.simulateCopy(QStringLiteral("a new small copy %1").arg(++n));
                    manager.checkForChanges();
                    break;
                case Pin: manager.togglePin(manager.items()[5]); break;
                case Delete: manager.deleteItem(manager.items()[7]); break;
                case OpenPanel:
                    emit store().notifications.tavorindleWindowWillShow();
                    panel().show();
                    panel().repaint();
                    break;
                }
            },
            [&] { return manager.waitForSaved(std::chrono::milliseconds(0)); }, 60000);
        // Until the write is over, or 300 ms for what writes nothing.
        const auto rest = ClipboardBench::runLoop([] { return false; }, action == OpenPanel || action == Nothing ? 300 : 0);
        state.SetIterationTime(double(std::max(watch.longestMs, rest.longestMs)) / 1000);
        state.counters["items"] = double(manager.items().size());
        state.counters["until_saved_ms"] = double(watch.elapsedMs);
    }
}
BENCHMARK(BM_KeyPath)->DenseRange(Nothing, OpenPanel)->UseManualTime()->Iterations(1)->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return BenchSupport::runOrShow(argc, argv, [](const QByteArray &) { return 0; });
}
