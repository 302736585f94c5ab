#pragma once

// The compositors and programs the Wayland tests run against: headless sway
// (as an unprivileged user when we are root: sway refuses root), the ext
// test compositor, and stand-ins for other programs.
#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>

namespace WaylandTestTools {

QString helperPath(const char *name);

// A process whose output lines are read as they come, while our event
// loop keeps running.
class Program
{
public:
    Program(const QString &path, const QStringList &arguments, const QProcessEnvironment &environment);
    ~Program();
    // Waits for a line that starts with prefix; the line, or nothing.
    std::optional<QByteArray> waitForLine(const QByteArray &prefix, int timeoutMs = 10000);
    bool printed(const QByteArray &prefix);
    QList<QByteArray> lines();
    void write(const QByteArray &line);
    void kill();
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

private:
    QProcess m_process;
    QByteArray m_output;
    int m_consumed = 0;
};

// Runs a program to its end while our event loop keeps running.
bool run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
         QByteArray *output = nullptr, const QByteArray &input = {}, int timeoutMs = 10000);

// A compositor of our own or sway, with the folder its socket lives in.
class Compositor
{
public:
    virtual ~Compositor() = default;
    // For clients: the runtime folder and the display.
    QProcessEnvironment environment() const { return m_environment; }
    QByteArray socketPath() const;
    // Makes this process's own Wayland connections go to it.
    void useForThisProcess() const;

protected:
    QProcessEnvironment m_environment;
};

// The ext_data_control_v1 test compositor; commands as its source says.
class TestCompositor final : public Compositor
{
public:
    TestCompositor();
    bool isReady() const { return m_ready; }
    // Sends a command and waits for its "ok".
    bool command(const QByteArray &line);
    Program &program() { return *m_program; }

private:
    QTemporaryDir m_runtime;
    std::unique_ptr<Program> m_program;
    bool m_ready = false;
};

// Headless sway. Started as "nobody" when we are root, with a runtime
// folder that user owns; clients running as root connect to its socket.
class HeadlessSway final : public Compositor
{
public:
    // extraConfig: more lines for sway's configuration.
    explicit HeadlessSway(const QByteArray &extraConfig = {});
    ~HeadlessSway() override;
    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }
    // Runs swaymsg with the arguments; its output.
    QByteArray swaymsg(const QStringList &arguments);
    // Holds the configuration and the runtime folder; readable by sway's user.
    QString folder() const { return m_folder.path(); }
    bool runAsNobody() const { return m_asNobody; }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<QProcess> m_process;
    bool m_ready = false;
    bool m_asNobody = false;
    QString m_error;
};

// Whether sway and the tools the tests drive are installed.
bool swayAvailable();

} // namespace WaylandTestTools
