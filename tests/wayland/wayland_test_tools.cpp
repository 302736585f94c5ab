#include "wayland_test_tools.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace WaylandTestTools {

HeadlessSway::HeadlessSway(const QByteArray &extraConfig)
{
    if (QStandardPaths::findExecutable("sway").isEmpty() || QStandardPaths::findExecutable("swaymsg").isEmpty()) {
        m_error = QStringLiteral("sway is not installed");
        return;
    }
    const bool asNobody = geteuid() == 0;
    const passwd *nobody = getpwnam("nobody");
    if (asNobody && !nobody) {
        m_error = QStringLiteral("no user nobody");
        return;
    }
    // Sway's user must reach its configuration and own its runtime folder.
    const QString base = m_folder.path();
    ::chmod(QFile::encodeName(base).constData(), 0755);
    const QString runtime = base + QStringLiteral("/runtime");
    const QString home = base + QStringLiteral("/home");
    for (const QString &path : {runtime, home}) {
        QDir().mkpath(path);
        ::chmod(QFile::encodeName(path).constData(), 0700);
        if (::chown(QFile::encodeName(path).constData(), asNobody ? nobody->pw_uid : geteuid(),
                    asNobody ? nobody->pw_gid : getegid()) != 0) {
            m_error = QStringLiteral("cannot hand %1 to sway's user").arg(path);
            return;
        }
    }
    const QString config = base + QStringLiteral("/sway.conf");
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write("output HEADLESS-1 resolution 1280x800\nxwayland enable\nfocus_on_window_activation focus\n"
               + extraConfig);
    file.close();
    ::chmod(QFile::encodeName(config).constData(), 0644);

    QProcessEnvironment swayEnvironment;
    swayEnvironment.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    swayEnvironment.insert("HOME", home);
    swayEnvironment.insert("XDG_RUNTIME_DIR", runtime);
    swayEnvironment.insert("WLR_BACKENDS", "headless");
    swayEnvironment.insert("WLR_LIBINPUT_NO_DEVICES", "1");
    swayEnvironment.insert("WLR_RENDERER", "pixman");
    // No session bus: what sway starts must not launch one (and a portal)
    // of its own that outlives the test.
    swayEnvironment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + base + "/no-bus");
    m_process.setProcessEnvironment(swayEnvironment);
    m_process.setStandardOutputFile(base + QStringLiteral("/sway.log"));
    m_process.setStandardErrorFile(base + QStringLiteral("/sway.log"));
    if (asNobody)
        m_process.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "sway", "-c", config});
    else
        m_process.start("sway", {"-c", config});

    // Ready once its socket and its command socket are there and answer.
    QString display;
    QString ipc;
    AppProcess::waitUntil([&] {
        for (const QString &entry : QDir(runtime).entryList(QDir::System | QDir::Files)) {
            if (entry.startsWith(QLatin1String("wayland-")) && !entry.endsWith(QLatin1String(".lock")))
                display = entry;
            if (entry.startsWith(QLatin1String("sway-ipc.")))
                ipc = runtime + QLatin1Char('/') + entry;
        }
        return (!display.isEmpty() && !ipc.isEmpty()) || m_process.state() == QProcess::NotRunning;
    }, 10000);
    environment.insert("XDG_RUNTIME_DIR", runtime);
    environment.insert("WAYLAND_DISPLAY", display);
    environment.insert("SWAYSOCK", ipc);
    environment.remove("WAYLAND_SOCKET");
    environment.remove("DISPLAY");
    m_ready = !display.isEmpty() && !ipc.isEmpty() && !swaymsg({"-t", "get_version"}).isEmpty();
    if (!m_ready)
        m_error = QStringLiteral("sway did not start or does not answer; see %1/sway.log").arg(base);
}

HeadlessSway::~HeadlessSway()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(3000);
}

QByteArray HeadlessSway::swaymsg(const QStringList &arguments)
{
    return AppProcess::run("swaymsg", arguments, {}, environment).out;
}

std::optional<QJsonObject> HeadlessSway::find(const std::function<bool(const QJsonObject &)> &match)
{
    const std::function<std::optional<QJsonObject>(const QJsonObject &)> search = [&](const QJsonObject &node) {
        if (match(node))
            return std::optional(node);
        for (const char *children : {"nodes", "floating_nodes"}) {
            for (const QJsonValue &child : node.value(QLatin1String(children)).toArray()) {
                if (auto found = search(child.toObject()))
                    return found;
            }
        }
        return std::optional<QJsonObject>();
    };
    return search(QJsonDocument::fromJson(swaymsg({"-t", "get_tree", "-r"})).object());
}

bool HeadlessSway::focuses(const QString &appId)
{
    return find([&](const QJsonObject &node) {
        return node.value(QLatin1String("focused")).toBool() && node.value(QLatin1String("app_id")).toString() == appId;
    }).has_value();
}

} // namespace WaylandTestTools
