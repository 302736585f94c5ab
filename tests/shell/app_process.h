#pragma once

// The built program as a separate process, with folders of its own, and the
// command-line clients the tests drive it with.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

namespace AppProcess {

// Polls with the event loop running (the test process may own the target
// window and must answer the clipboard requests of a paste).
template<typename Check>
bool waitUntil(Check check, int timeoutMs = 8000)
{
    QElapsedTimer clock;
    clock.start();
    while (!check()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

struct Finished
{
    int exitCode = -1; // -1: did not end in time, or crashed
    QByteArray out;
    QByteArray err;
};

inline Finished run(const QString &program, const QStringList &arguments, const QByteArray &input = {},
                    const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                    int timeoutMs = 10000)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Finished result;
    if (!process.waitForStarted(3000))
        return result;
    process.write(input);
    process.closeWriteChannel();
    waitUntil([&] {
        result.out += process.readAllStandardOutput();
        return process.state() == QProcess::NotRunning;
    }, timeoutMs);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.out += process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

// The program with a history and a runtime folder of its own.
class App
{
public:
    App()
    {
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment.insert("XDG_DATA_HOME", m_data.path());
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.remove("QT_QPA_PLATFORM");
        QProcessEnvironment traced = m_environment;
        traced.insert("TAVORINDLE_TRACE", "1");
        m_process.setProcessEnvironment(traced);
    }
    ~App() { stop(); }

    // Starts it and waits until it is ready.
    bool start()
    {
        m_process.start(TAVORINDLE_BINARY, {});
        QByteArray errors;
        return m_process.waitForStarted(5000) && waitUntil([&] {
            return (errors += m_process.readAllStandardError()).contains("tavorindle-trace ready");
        });
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    // The program's command line, as a second copy.
    Finished command(const QStringList &arguments, const QByteArray &input = {}) const
    {
        return run(TAVORINDLE_BINARY, arguments, input, m_environment);
    }
    QString historyText() const
    {
        QFile file(m_data.path() + "/Tavorindle/history.json");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QString socketPath() const { return m_runtime.path() + "/tavorindle.sock"; }
    const QProcessEnvironment &environment() const { return m_environment; }
    QProcess &process() { return m_process; }

private:
    QTemporaryDir m_data;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_process;
};

} // namespace AppProcess
