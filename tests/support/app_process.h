#pragma once

// The built program as a separate process, with folders of its own; the
// clients the end-to-end tests drive it with; its history file as they
// read it; and our windows on an X display. QtCore only, so that every
// end-to-end test can use it.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
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

// A tool's standard output, trimmed.
inline QString output(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    return QString::fromUtf8(run(program, arguments, input).out).trimmed();
}

// One item of a history file, as a user of the file sees it.
struct HistoryItem
{
    QString text;
    QString kind; // "text", "code", "link", "color"
    bool pinned = false;
    double timestamp = 0;
};

// The items of the history file at path, newest first; none while it is
// missing or not whole.
inline QList<HistoryItem> readHistory(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<HistoryItem> items;
    for (const QJsonValue &value : QJsonDocument::fromJson(file.readAll()).array()) {
        const QJsonObject item = value.toObject();
        items.append({item["rawContent"].toString(), item["contentTypeRaw"].toString(),
                      item["isPinned"].toBool(), item["timestamp"].toDouble()});
    }
    return items;
}

inline QStringList texts(const QList<HistoryItem> &items)
{
    QStringList result;
    for (const HistoryItem &item : items)
        result.append(item.text);
    return result;
}

// Waits until the history file at path holds an item with this text.
inline bool waitForItem(const QString &path, const QString &text, int timeoutMs = 8000)
{
    return waitUntil([&] { return texts(readHistory(path)).contains(text); }, timeoutMs);
}

// On an X display: our viewable top-level windows (class "tavorindle"),
// from the server's own tree, and the active window.
struct Window
{
    quint64 id = 0;
    QRect geometry;
};

inline QList<Window> ourWindows()
{
    static const QRegularExpression line(
        R"(^\s*(0x[0-9a-f]+) .*\("tavorindle" "Tavorindle"\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+))");
    QList<Window> result;
    for (const QString &text : output("xwininfo", {"-root", "-tree"}).split(u'\n')) {
        const auto m = line.match(text);
        if (m.hasMatch() && output("xwininfo", {"-id", m.captured(1)}).contains("IsViewable"))
            result.append({m.captured(1).toULongLong(nullptr, 16),
                           QRect(m.captured(6).toInt(), m.captured(7).toInt(), m.captured(2).toInt(),
                                 m.captured(3).toInt())});
    }
    return result;
}

inline quint64 activeWindow()
{
    return output("xdotool", {"getactivewindow"}).toULongLong();
}

// Gives window the focus, as a click on it would.
inline bool activate(quint64 window)
{
    run("xdotool", {"windowactivate", "--sync", QString::number(window)});
    return waitUntil([&] { return activeWindow() == window; });
}

// The program with a history and a runtime folder of its own.
class App
{
public:
    explicit App(const QString &binary = QStringLiteral(TAVORINDLE_BINARY)) : m_binary(binary)
    {
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment.insert("XDG_DATA_HOME", m_data.path());
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.remove("QT_QPA_PLATFORM");
    }
    ~App() { stop(); }

    // Starts it and waits until it is ready.
    bool start()
    {
        QProcessEnvironment traced = m_environment;
        traced.insert("TAVORINDLE_TRACE", "1");
        m_process.setProcessEnvironment(traced);
        m_process.start(m_binary, {});
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
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // Waits for its end, which may have come already (waitForFinished()
    // says false then).
    bool ended()
    {
        return waitUntil([&] { return m_process.state() == QProcess::NotRunning; });
    }

    // The program's command line, as a second copy.
    Finished command(const QStringList &arguments, const QByteArray &input = {}, int timeoutMs = 10000) const
    {
        return run(m_binary, arguments, input, m_environment, timeoutMs);
    }
    QString historyPath() const { return m_data.path() + "/Tavorindle/history.json"; }
    QList<HistoryItem> history() const { return readHistory(historyPath()); }
    bool recorded(const QString &text) const { return waitForItem(historyPath(), text); }
    QString socketPath() const { return m_runtime.path() + "/tavorindle.sock"; }
    // For the commands run beside it; change it before start() to start it so.
    QProcessEnvironment &environment() { return m_environment; }
    QProcess &process() { return m_process; }

private:
    QString m_binary;
    QTemporaryDir m_data;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_process;
};

} // namespace AppProcess
