#pragma once

// A stand-in program the tests start (a clipboard owner, a window that logs
// its keys, a test compositor), whose output lines are read as they come
// while our event loop keeps running; and the longest stall of that loop.
#include "app_process.h"

#include <QTest>
#include <QTimer>

#include <optional>

// Polls with our event loop turning all the while (unlike
// AppProcess::waitUntil, which sleeps between looks): the test may be
// serving what the other program reads, a chunk a turn.
template<typename Check>
bool waitServing(Check check, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!check()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(2);
    }
    return true;
}

// Runs a program to its end that may read from us; its standard output.
inline QByteArray runServing(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    QByteArray out;
    waitServing([&] {
        out += process.readAllStandardOutput();
        return process.state() == QProcess::NotRunning;
    });
    return out + process.readAllStandardOutput();
}

class HelperProcess
{
public:
    HelperProcess(const QString &program, const QStringList &arguments,
                  const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(environment);
        m_process.start(program, arguments);
        m_process.waitForStarted();
    }
    ~HelperProcess() { kill(); }

    // The next line, after those already taken, that starts with prefix.
    std::optional<QByteArray> waitForLine(const QByteArray &prefix, int timeoutMs = 10000)
    {
        std::optional<QByteArray> found;
        waitServing([&] {
            const QList<QByteArray> all = lines();
            for (qsizetype i = m_taken; i < all.size() && !found; ++i) {
                if (all[i].startsWith(prefix)) {
                    found = all[i];
                    m_taken = i + 1;
                }
            }
            return found || m_process.state() == QProcess::NotRunning;
        }, timeoutMs);
        return found;
    }
    // The whole lines printed so far.
    QList<QByteArray> lines()
    {
        m_partial += m_process.readAllStandardOutput();
        if (const qsizetype end = m_partial.lastIndexOf('\n'); end >= 0) {
            m_lines += m_partial.left(end).split('\n');
            m_partial.remove(0, end + 1);
        }
        return m_lines;
    }
    bool printed(const QByteArray &prefix)
    {
        const QList<QByteArray> all = lines();
        return std::any_of(all.begin(), all.end(), [&](const QByteArray &line) { return line.startsWith(prefix); });
    }
    void write(const QByteArray &line)
    {
        m_process.write(line + '\n');
        m_process.waitForBytesWritten(1000);
    }
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

private:
    QProcess m_process;
    QByteArray m_partial;
    QList<QByteArray> m_lines;
    qsizetype m_taken = 0;
};

// The longest time the event loop went without turning while it lives.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setInterval(5);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_longest = qMax(m_longest, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};
