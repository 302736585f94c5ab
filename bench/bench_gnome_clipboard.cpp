// The clipboard through GNOME Shell's bridge, in a headless GNOME Shell whose
// bridge trusts this executable (bench/scripts/bench_gnome.sh sets that up):
// the latency from a Wayland copy to the saved history, and how long the
// event loop stalls while a 50 MB copy comes through the pipe the shell writes.
#include "clipboard_manager.h"
#include "clock.h"
#include "gnome/gnome_bridge.h"
#include "gnome/gnome_pasteboard.h"

#include "clipboard_bench.h"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace ClipboardBench;

struct Watcher
{
    Watcher()
        : bridge(std::make_shared<GnomeBridge>(QDBusConnection::sessionBus()))
        , pasteboard(bridge)
        , manager(pasteboard, HistoryStorage(folder.path()), clock)
    {
        manager.startObserving();
        // The bridge checks who we are before it reports anything.
        connected = runLoop([&] { return bridge->isConnected(); }, 10000).done;
    }
    QTemporaryDir folder;
    SystemishClock clock;
    std::shared_ptr<GnomeBridge> bridge;
    GnomePasteboard pasteboard;
    ClipboardManager manager;
    bool connected = false;
};

void wlCopy(const QStringList &arguments)
{
    QProcess::execute(QStringLiteral("wl-copy"), arguments);
}

void BM_GnomeStallBaseline(benchmark::State &state)
{
    Watcher watcher;
    for (auto _ : state) {
        const LoopWatch watch = runLoop([] { return false; }, 1000);
        state.SetIterationTime(double(watch.longestMs) / 1000.0);
    }
}
BENCHMARK(BM_GnomeStallBaseline)->UseManualTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_GnomeRead50MBCopy(benchmark::State &state)
{
    Watcher watcher;
    if (!watcher.connected) {
        state.SkipWithError("the bridge did not accept this executable");
        return;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("copy.txt"));
    const qsizetype size = 50 * 1000 * 1000;
    writeCopyFile(path, size);
    watcher.manager.stopObserving();
    for (auto _ : state) {
        const qint64 count = watcher.pasteboard.changeCount();
        QProcess copy;
        copy.setStandardInputFile(path);
        copy.start(QStringLiteral("wl-copy"), {});
        const LoopWatch watch = runLoop([&] {
            return watcher.pasteboard.changeCount() != count && watcher.pasteboard.string()
                   && watcher.pasteboard.string()->size() == size;
        }, 60000);
        if (!watch.done)
            state.SkipWithError("the 50 MB copy was not read");
        state.SetIterationTime(double(watch.longestMs) / 1000.0);
        state.counters["read_ms"] = double(watch.elapsedMs);
        state.counters["anon_peak_MiB"] = watch.peakMiB;
        copy.waitForFinished(5000);
        wlCopy({QStringLiteral("x")});
        const qint64 small = watcher.pasteboard.changeCount();
        runLoop([&] { return watcher.pasteboard.changeCount() != small; }, 10000);
    }
}
BENCHMARK(BM_GnomeRead50MBCopy)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_GnomeCopyToSaved(benchmark::State &state)
{
    Watcher watcher;
    if (!watcher.connected) {
        state.SkipWithError("the bridge did not accept this executable");
        return;
    }
    int n = 0;
    QElapsedTimer timer;
    double reportedAt = -1;
    QObject::connect(watcher.bridge.get(), &GnomeBridge::clipboardChanged, [&] {
        if (reportedAt < 0)
            reportedAt = double(timer.nsecsElapsed()) / 1e6;
    });
    for (auto _ : state) {
        std::vector<double> latencies;
        std::vector<double> reports;
        std::vector<double> reads;
        for (int i = 0; i < 50; ++i) {
            const QString text = QStringLiteral("copy number %1 of the latency run").arg(++n);
            const qint64 count = watcher.pasteboard.changeCount();
            double readAt = -1;
            reportedAt = -1;
            timer.start();
            QProcess copy;
            copy.start(QStringLiteral("wl-copy"), {text});
            const LoopWatch watch = runLoop([&] {
                if (readAt < 0 && watcher.pasteboard.changeCount() != count)
                    readAt = double(timer.nsecsElapsed()) / 1e6;
                return !watcher.manager.items().isEmpty()
                       && watcher.manager.items().first()->rawContent() == text;
            }, 5000);
            reports.push_back(reportedAt);
            reads.push_back(readAt);
            if (!watch.done) {
                state.SkipWithError("a copy was not recorded");
                break;
            }
            latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
            copy.waitForFinished(2000);
        }
        if (latencies.empty())
            break;
        std::sort(latencies.begin(), latencies.end());
        state.SetIterationTime(latencies[latencies.size() / 2] / 1000.0);
        // Of that: until the shell's report arrived (wl-copy starting and
        // taking the clipboard, the shell noticing), and until the text was
        // read through the pipe.
        std::sort(reports.begin(), reports.end());
        std::sort(reads.begin(), reads.end());
        state.counters["reported_median_ms"] = reports[reports.size() / 2];
        state.counters["read_median_ms"] = reads[reads.size() / 2];
        state.counters["p90_ms"] = latencies[latencies.size() * 9 / 10];
        state.counters["max_ms"] = latencies.back();
    }
}
BENCHMARK(BM_GnomeCopyToSaved)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
