#include "wayland_test_tools.h"

#include "app_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace WaylandTestTools {

QString helperPath(const char *name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

Program::Program(const QString &path, const QStringList &arguments, const QProcessEnvironment &environment)
{
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(path, arguments);
    m_process.waitForStarted();
}

Program::~Program()
{
    kill();
}

void Program::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

QList<QByteArray> Program::lines()
{
    m_output += m_process.readAllStandardOutput();
    QList<QByteArray> result = m_output.split('\n');
    if (!m_output.endsWith('\n'))
        result.removeLast(); // not complete yet
    else
        result.removeLast();
    return result;
}

bool Program::printed(const QByteArray &prefix)
{
    for (const QByteArray &line : lines()) {
        if (line.startsWith(prefix))
            return true;
    }
    return false;
}

std::optional<QByteArray> Program::waitForLine(const QByteArray &prefix, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const QList<QByteArray> all = lines();
        for (int i = m_consumed; i < all.size(); ++i) {
            if (all[i].startsWith(prefix)) {
                m_consumed = i + 1;
                return all[i];
            }
        }
        if (timer.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning)
            return std::nullopt;
        QTest::qWait(2);
    }
}

void Program::write(const QByteArray &line)
{
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(1000);
}

bool run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
         QByteArray *output, const QByteArray &input, int timeoutMs)
{
    const AppProcess::Finished finished = AppProcess::run(program, arguments, input, environment, timeoutMs);
    if (output)
        *output = finished.out;
    return finished.exitCode == 0;
}

QByteArray Compositor::socketPath() const
{
    return QFile::encodeName(m_environment.value(QStringLiteral("XDG_RUNTIME_DIR")) + QLatin1Char('/')
                             + m_environment.value(QStringLiteral("WAYLAND_DISPLAY")));
}

void Compositor::useForThisProcess() const
{
    qputenv("XDG_RUNTIME_DIR", m_environment.value(QStringLiteral("XDG_RUNTIME_DIR")).toLocal8Bit());
    qputenv("WAYLAND_DISPLAY", m_environment.value(QStringLiteral("WAYLAND_DISPLAY")).toLocal8Bit());
}

TestCompositor::TestCompositor()
{
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-test"));
    m_environment.remove(QStringLiteral("WAYLAND_SOCKET"));
    m_program = std::make_unique<Program>(helperPath("test_compositor"), QStringList{"wayland-test"},
                                          m_environment);
    m_ready = m_program->waitForLine("ready").has_value();
}

bool TestCompositor::command(const QByteArray &line)
{
    m_program->write(line);
    const auto answer = m_program->waitForLine("ok");
    return answer.has_value();
}

bool swayAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("sway")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("swaymsg")).isEmpty();
}

HeadlessSway::HeadlessSway(const QByteArray &extraConfig)
{
    if (!swayAvailable()) {
        m_error = QStringLiteral("sway is not installed");
        return;
    }
    m_asNobody = geteuid() == 0;
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (m_asNobody) {
        const passwd *nobody = getpwnam("nobody");
        if (!nobody) {
            m_error = QStringLiteral("no user nobody");
            return;
        }
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
    }
    // Sway's user must reach its configuration and own its runtime folder.
    const QString base = m_folder.path();
    ::chmod(QFile::encodeName(base).constData(), 0755);
    const QString runtime = base + QStringLiteral("/runtime");
    const QString home = base + QStringLiteral("/home");
    for (const QString &path : {runtime, home}) {
        QDir().mkpath(path);
        ::chmod(QFile::encodeName(path).constData(), 0700);
        if (::chown(QFile::encodeName(path).constData(), uid, gid) != 0) {
            m_error = QStringLiteral("cannot hand %1 to sway's user").arg(path);
            return;
        }
    }
    QFile config(base + QStringLiteral("/sway.conf"));
    config.open(QIODevice::WriteOnly);
    config.write("output HEADLESS-1 resolution 1280x800\n"
                 "xwayland enable\n"
                 "focus_on_window_activation focus\n");
    config.write(extraConfig);
    config.close();
    ::chmod(QFile::encodeName(config.fileName()).constData(), 0644);

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", "/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    environment.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    // No session bus: what sway starts must not launch one (and a portal)
    // of its own that outlives the test.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + base
                       + QStringLiteral("/no-bus"));
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(environment);
    m_process->setStandardOutputFile(base + QStringLiteral("/sway.log"));
    m_process->setStandardErrorFile(base + QStringLiteral("/sway.log"));
    const QString config_ = config.fileName();
    if (m_asNobody)
        m_process->start(QStringLiteral("setpriv"), {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                                     "sway", "-c", config_});
    else
        m_process->start(QStringLiteral("sway"), {"-c", config_});
    if (!m_process->waitForStarted()) {
        m_error = QStringLiteral("sway did not start");
        return;
    }

    // Ready once its socket and its command socket are there and answer.
    QElapsedTimer timer;
    timer.start();
    QString display;
    QString ipc;
    while (timer.elapsed() < 10000 && m_process->state() == QProcess::Running) {
        const QStringList entries = QDir(runtime).entryList(QDir::System | QDir::Files);
        for (const QString &entry : entries) {
            if (entry.startsWith(QLatin1String("wayland-")) && !entry.endsWith(QLatin1String(".lock")))
                display = entry;
            if (entry.startsWith(QLatin1String("sway-ipc.")))
                ipc = runtime + QLatin1Char('/') + entry;
        }
        if (!display.isEmpty() && !ipc.isEmpty())
            break;
        QTest::qWait(20);
    }
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), display);
    m_environment.insert(QStringLiteral("SWAYSOCK"), ipc);
    m_environment.remove(QStringLiteral("WAYLAND_SOCKET"));
    m_environment.remove(QStringLiteral("DISPLAY"));
    if (display.isEmpty() || ipc.isEmpty()) {
        m_error = QStringLiteral("sway made no sockets; see %1/sway.log").arg(base);
        return;
    }
    m_ready = !swaymsg({"-t", "get_version"}).isEmpty();
    if (!m_ready)
        m_error = QStringLiteral("sway does not answer");
}

HeadlessSway::~HeadlessSway()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

QByteArray HeadlessSway::swaymsg(const QStringList &arguments)
{
    QByteArray output;
    run(QStringLiteral("swaymsg"), arguments, m_environment, &output);
    return output;
}

} // namespace WaylandTestTools
