#pragma once

// The compositors the Wayland tests run against: headless sway (as an
// unprivileged user when we are root: sway refuses root), and the ext test
// compositor, which plays other programs itself.
#include "helper_process.h"

#include <QJsonObject>

#include <functional>
#include <memory>

namespace WaylandTestTools {

// A stand-in program built beside the test.
inline QString helperPath(const char *name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

// A compositor and, for its clients, the runtime folder and the display.
struct Compositor
{
    QByteArray socketPath() const
    {
        return QFile::encodeName(environment.value("XDG_RUNTIME_DIR") + '/' + environment.value("WAYLAND_DISPLAY"));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

// The ext_data_control_v1 test compositor; commands as its source says.
class TestCompositor final : public Compositor
{
public:
    TestCompositor()
    {
        environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        environment.insert("WAYLAND_DISPLAY", "wayland-test");
        environment.remove("WAYLAND_SOCKET");
        m_program.emplace(helperPath("test_compositor"), QStringList{"wayland-test"}, environment);
        m_ready = m_program->waitForLine("ready").has_value();
    }
    bool isReady() const { return m_ready; }
    // Sends a command and waits for its "ok".
    bool command(const QByteArray &line)
    {
        m_program->write(line);
        return m_program->waitForLine("ok").has_value();
    }
    HelperProcess &program() { return *m_program; }

private:
    QTemporaryDir m_runtime;
    std::optional<HelperProcess> m_program;
    bool m_ready = false;
};

// Headless sway. Started as "nobody" when we are root, with a runtime
// folder that user owns; clients running as root connect to its socket.
class HeadlessSway final : public Compositor
{
public:
    // extraConfig: more lines for sway's configuration.
    explicit HeadlessSway(const QByteArray &extraConfig = {});
    ~HeadlessSway();
    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }
    // Runs swaymsg with the arguments; its output.
    QByteArray swaymsg(const QStringList &arguments);
    // The first node of sway's tree that matches.
    std::optional<QJsonObject> find(const std::function<bool(const QJsonObject &)> &match);
    // Whether the window with that app id has the focus.
    bool focuses(const QString &appId);
    // Holds the configuration, the log, and sway's home and runtime folders.
    QString folder() const { return m_folder.path(); }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    bool m_ready = false;
    QString m_error;
};

} // namespace WaylandTestTools
