#pragma once

// Shared by the clipboard benchmarks: the event loop watched for stalls,
// this process's private memory and CPU time, a clock and a large copy.
#include "clock.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>

namespace ClipboardBench {

// Each item a second after the last, as copies would come.
class SystemishClock final : public Clock
{
public:
    TimeInterval now() const override { return m_t += 1; }

private:
    mutable TimeInterval m_t = 800000000;
};

// A text file of exactly `size` bytes made of short lines, for a large copy.
inline void writeCopyFile(const QString &path, qsizetype size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QByteArray line("0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ\n");
    QByteArray data;
    data.reserve(size);
    while (data.size() + line.size() <= size)
        data += line;
    data += QByteArray(size - data.size(), 'x');
    file.write(data);
}

// Private anonymous memory of this process, in MiB.
inline double anonymousMiB()
{
    QFile file(QStringLiteral("/proc/self/smaps_rollup"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("Anonymous:"))
            return line.mid(10).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// The same figure from the kernel's counter (RssAnon): cheap enough to take
// every few milliseconds, where smaps_rollup walks every page table and
// would itself stall the loop it measures, longer the more memory there is.
inline double residentAnonymousMiB()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until done() holds or the time is up; returns the
// longest gap between ticks of a 5 ms timer and the peak anonymous memory.
struct LoopWatch
{
    qint64 longestMs = 0;
    double peakMiB = 0;
    qint64 elapsedMs = 0;
    bool done = false;
};

template<typename Done>
LoopWatch runLoop(Done done, int timeoutMs)
{
    LoopWatch watch;
    QElapsedTimer total;
    QElapsedTimer gap;
    total.start();
    gap.start();
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    int ticks = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        watch.longestMs = std::max(watch.longestMs, gap.restart());
        if (++ticks % 4 == 0)
            watch.peakMiB = std::max(watch.peakMiB, residentAnonymousMiB());
    });
    // done() is looked at every millisecond, and the loop sleeps between.
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if ((watch.done = done()) || total.elapsed() >= timeoutMs)
            loop.quit();
    });
    if (!(watch.done = done())) {
        ticker.start();
        check.start();
        loop.exec();
        // A stall that ends the wait shows in no tick.
        watch.longestMs = std::max(watch.longestMs, gap.elapsed());
    }
    watch.elapsedMs = total.elapsed();
    return watch;
}

// Runs action() from the event loop, then the loop until done(): the
// stall includes whatever action() itself blocks.
template<typename Action, typename Done>
LoopWatch runAfter(Action action, Done done, int timeoutMs)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        action();
        ran = true;
    });
    return runLoop([&] { return ran && done(); }, timeoutMs);
}

// Starts xclip copying input (or the file named in arguments) to the
// clipboard; it deletes itself when it ends.
inline QProcess *startXclip(const QStringList &arguments, const QByteArray &input = {})
{
    auto *xclip = new QProcess;
    xclip->start(QStringLiteral("xclip"), QStringList{"-selection", "clipboard", "-i"} + arguments);
    xclip->waitForStarted();
    xclip->write(input);
    xclip->closeWriteChannel();
    QObject::connect(xclip, &QProcess::finished, xclip, &QObject::deleteLater);
    return xclip;
}

// Runs the event loop with nothing copied for TAVORINDLE_IDLE_SECONDS (60)
// and reports the process's CPU time over it.
inline void measureIdleCost(benchmark::State &state)
{
    const int seconds = qEnvironmentVariableIntValue("TAVORINDLE_IDLE_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("TAVORINDLE_IDLE_SECONDS")
                            : 60;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const double cpu = cpuSeconds() - cpuBefore;
        state.SetIterationTime(cpu);
        state.counters["cpu_ms_per_60s"] = cpu * 1000.0 * 60.0 / seconds;
        state.counters["cpu_percent"] = 100.0 * cpu / seconds;
    }
}

} // namespace ClipboardBench
