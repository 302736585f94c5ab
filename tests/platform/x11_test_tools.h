#pragma once

// Small helpers shared by the X11 tests of this folder.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

namespace X11TestTools {

inline QString helperPath(const char *name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

// Runs a command to its end while our event loop keeps running (we may be
// the clipboard owner it talks to). False when it failed or took too long.
inline bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
                int timeoutMs = 10000)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return false;
    process.closeWriteChannel();
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    while (process.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs) {
        QTest::qWait(5);
        out += process.readAllStandardOutput();
    }
    out += process.readAllStandardOutput();
    if (output)
        *output = out;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

inline bool xdotool(const QStringList &arguments)
{
    return run(QStringLiteral("xdotool"), arguments);
}

// A process whose output lines are collected as they come.
class LineReader
{
public:
    explicit LineReader(QProcess &process) : m_process(process) {}
    // Everything the process printed so far.
    const QByteArray &output()
    {
        m_output += m_process.readAllStandardOutput();
        return m_output;
    }
    QList<QByteArray> lines() { return output().split('\n'); }

private:
    QProcess &m_process;
    QByteArray m_output;
};

} // namespace X11TestTools
