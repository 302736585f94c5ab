// The native Wayland clipboard under load, in a running compositor that
// offers data-control (run it inside headless sway: bench/scripts/
// bench_wayland.sh): how long the event loop stalls while an owner hangs and
// while a 50 MB copy is read, the latency from a wl-copy to the saved
// history, the idle cost of watching, and private memory.
//
// Times are reported as manual time (one measurement per iteration, median
// over repetitions); memory and CPU as counters.
#include "clipboard_manager.h"
#include "wayland/wayland_connection.h"
#include "wayland/wayland_pasteboard.h"

#include "clipboard_bench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

using namespace ClipboardBench;

struct Watcher
{
    Watcher()
        : connection(WaylandConnection::open())
        , pasteboard(connection, connection && connection->hasGlobal("ext_data_control_manager_v1")
                                     ? WaylandPasteboard::Protocol::Ext
                                     : WaylandPasteboard::Protocol::Wlr)
        , manager(pasteboard, HistoryStorage(folder.path()), clock)
    {
        manager.startObserving();
    }
    QTemporaryDir folder;
    SystemishClock clock;
    std::shared_ptr<WaylandConnection> connection;
    WaylandPasteboard pasteboard;
    ClipboardManager manager;
};

// Started and left to run: wl-copy forks into the background and serves
// until another copy replaces its own. A large copy comes from a file, so
// that no copy of it in this process counts in the peak measured here.
void startWlCopy(const QStringList &arguments, const QString &inputFile = {})
{
    auto *process = new QProcess;
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    if (!inputFile.isEmpty())
        process->setStandardInputFile(inputFile);
    process->start(QStringLiteral("wl-copy"), arguments);
    process->waitForStarted();
    if (inputFile.isEmpty())
        process->closeWriteChannel();
}

void BM_WaylandStallBaseline(benchmark::State &state)
{
    Watcher watcher;
    for (auto _ : state) {
        const LoopWatch watch = runLoop([] { return false; }, 1000);
        state.SetIterationTime(double(watch.longestMs) / 1000.0);
    }
}
BENCHMARK(BM_WaylandStallBaseline)->UseManualTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

// An owner that takes the clipboard and never writes (the tests' stand-in
// owner, beside this benchmark in the build tree).
void BM_WaylandStallWhileOwnerHangs(benchmark::State &state)
{
    const QString owner = QCoreApplication::applicationDirPath() + QStringLiteral("/../tests/wayland/wl_clip_owner");
    if (!QFile::exists(owner)) {
        state.SkipWithError("build the tests too: the hung owner is tests/wayland/wl_clip_owner");
        return;
    }
    Watcher watcher;
    for (auto _ : state) {
        QProcess hung;
        hung.start(owner, {"hang", "text/plain;charset=utf-8", "b64:aHVuZw=="});
        hung.waitForReadyRead(5000);
        const qint64 before = watcher.pasteboard.changeCount();
        const LoopWatch watch = runLoop([&] { return watcher.pasteboard.changeCount() != before; }, 10000);
        hung.kill();
        hung.waitForFinished();
        if (!watch.done)
            state.SkipWithError("the hung owner's read never ended");
        state.SetIterationTime(double(watch.longestMs) / 1000.0);
        state.counters["given_up_after_ms"] = double(watch.elapsedMs);
        const qint64 settled = watcher.pasteboard.changeCount();
        runLoop([&] { return watcher.pasteboard.changeCount() != settled; }, 500);
    }
}
BENCHMARK(BM_WaylandStallWhileOwnerHangs)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_WaylandRead50MBCopy(benchmark::State &state)
{
    Watcher watcher;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("copy.txt"));
    const qsizetype size = 50 * 1000 * 1000;
    writeCopyFile(path, size);
    // Only the read is measured: what the store does with the text is
    // another benchmark's matter.
    watcher.manager.stopObserving();
    for (auto _ : state) {
        const double before = anonymousMiB();
        const qint64 count = watcher.pasteboard.changeCount();
        QElapsedTimer sinceOffer;
        startWlCopy({"--type", "text/plain;charset=utf-8"}, path);
        const LoopWatch watch = runLoop([&] {
            if (!sinceOffer.isValid() && watcher.pasteboard.isReading())
                sinceOffer.start();
            return watcher.pasteboard.changeCount() != count && watcher.pasteboard.string()
                   && watcher.pasteboard.string()->size() == size;
        }, 30000);
        if (!watch.done)
            state.SkipWithError("the copy was not read");
        state.SetIterationTime(double(watch.longestMs) / 1000.0);
        state.counters["read_ms"] = double(watch.elapsedMs);
        state.counters["transfer_ms"] = sinceOffer.isValid() ? double(sinceOffer.elapsed()) : -1;
        state.counters["anon_before_MiB"] = before;
        state.counters["anon_peak_MiB"] = watch.peakMiB;
        startWlCopy({"x"});
        const qint64 small = watcher.pasteboard.changeCount();
        runLoop([&] { return watcher.pasteboard.changeCount() != small; }, 5000);
    }
}
BENCHMARK(BM_WaylandRead50MBCopy)->UseManualTime()->Iterations(1)->Repetitions(5)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_WaylandCopyToSaved(benchmark::State &state)
{
    Watcher watcher;
    int n = 0;
    for (auto _ : state) {
        std::vector<double> latencies;
        std::vector<double> reads;
        for (int i = 0; i < 50; ++i) {
            const QString text = QStringLiteral("copy number %1 of the latency run").arg(++n);
            const qint64 count = watcher.pasteboard.changeCount();
            QElapsedTimer timer;
            timer.start();
            double readAt = -1;
            startWlCopy({text});
            const LoopWatch watch = runLoop([&] {
                if (readAt < 0 && watcher.pasteboard.changeCount() != count)
                    readAt = double(timer.nsecsElapsed()) / 1e6;
                return !watcher.manager.items().isEmpty()
                       && watcher.manager.items().first()->rawContent() == text;
            }, 5000);
            if (!watch.done) {
                state.SkipWithError("a copy was not recorded");
                break;
            }
            reads.push_back(readAt);
            latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        if (latencies.empty())
            break;
        std::sort(latencies.begin(), latencies.end());
        std::sort(reads.begin(), reads.end());
        state.SetIterationTime(latencies[latencies.size() / 2] / 1000.0);
        // Of that, until our snapshot of the copy was complete (the rest is
        // the queued check, classifying and saving).
        state.counters["read_median_ms"] = reads[reads.size() / 2];
        state.counters["p90_ms"] = latencies[latencies.size() * 9 / 10];
        state.counters["max_ms"] = latencies.back();
    }
}
BENCHMARK(BM_WaylandCopyToSaved)->UseManualTime()->Iterations(1)->Repetitions(3)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

void BM_WaylandIdleCost(benchmark::State &state)
{
    Watcher watcher;
    measureIdleCost(state);
}
BENCHMARK(BM_WaylandIdleCost)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_WaylandMemory(benchmark::State &state)
{
    for (auto _ : state) {
        Watcher watcher;
        runLoop([] { return false; }, 300);
        state.counters["anon_idle_MiB"] = anonymousMiB();
        state.SetIterationTime(0.3);
    }
}
BENCHMARK(BM_WaylandMemory)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // The widgets' platform does not matter here: the clipboard has its own connection.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (!WaylandConnection::open()) {
        std::fprintf(stderr, "no Wayland compositor: set WAYLAND_DISPLAY (see bench/README.md)\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
