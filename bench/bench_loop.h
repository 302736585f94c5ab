#pragma once

// Watching the event loop from inside: the longest gap between ticks of a
// 5 ms timer while something happens, and private memory on the way.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>

namespace BenchLoop {

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

struct Watch
{
    qint64 longestMs = 0;
    double peakMiB = 0;
    double elapsedMs = 0;
    bool done = false;
};

// Runs the event loop until done() holds or the time is up. done() is
// looked at every millisecond; the loop sleeps in between. Reading memory
// takes the loop a millisecond or more with a large heap: only on request.
template<typename Done>
Watch run(Done done, int timeoutMs, bool sampleMemory = false)
{
    Watch watch;
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
        if (sampleMemory && ++ticks % 4 == 0)
            watch.peakMiB = std::max(watch.peakMiB, anonymousMiB());
    });
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
    }
    watch.longestMs = std::max(watch.longestMs, gap.elapsed());
    watch.elapsedMs = double(total.nsecsElapsed()) / 1e6;
    return watch;
}

// Runs action() from the event loop, then the loop until done(): the
// stall includes whatever action() itself blocks.
template<typename Action, typename Done>
Watch runAfter(Action action, Done done, int timeoutMs, bool sampleMemory = false)
{
    bool ran = false;
    QTimer::singleShot(0, [&] {
        action();
        ran = true;
    });
    return run([&] { return ran && done(); }, timeoutMs, sampleMemory);
}

} // namespace BenchLoop
