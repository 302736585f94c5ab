#include "app_delegate.h"
#include "auto_paster.h"
#include "clipboard_keeper.h"
#include "clipboard_manager.h"
#include "clock.h"
#include "history_storage.h"
#include "commands/command_line.h"
#include "commands/command_runner.h"
#include "commands/history_commands.h"
#include "commands/instance_channel.h"
#include "hot_key_manager.h"
#include "panel_notifications.h"
#include "panel_services.h"
#include "panel_view.h"
#include "platform_services.h"
#include "termination_signals.h"
#include "trace.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>

#include <cstdio>
#include <optional>

namespace {

QString processText(qint64 pid)
{
    return pid > 0 ? QStringLiteral(" (process %1)").arg(pid) : QString();
}

void printLine(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    if (!text.endsWith(u'\n'))
        std::fputc('\n', stream);
}

int runApplication(int &argc, char **argv, InstanceChannel &channel, const CommandLine &command,
                   const HistoryStorage &storage)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("tavorindle"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tavorindle/tavorindle.svg")));

    TerminationSignals termination;
    // exit(), not quit(): newer Qt turns quit() into a close of every window,
    // and the panel turns a close into a hide, which would cancel the quit.
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                     [] { QCoreApplication::exit(0); });

    QString error;
    if (!channel.listen(&error))
        printLine(stderr, QStringLiteral("tavorindle: cannot open the command socket: %1 "
                                         "(--toggle and --quit will not reach this copy)")
                              .arg(error));

    // Everything is made here and handed down, in the order of need; each
    // lives until the event loop is over.
    PlatformServices platform = createPlatformServices();
    for (const QString &note : platform.notes)
        printLine(stderr, QStringLiteral("tavorindle: %1").arg(note));
    const SystemClock clock;
    ClipboardManager manager(*platform.pasteboard, storage, clock);
    ClipboardKeeper keeper(manager);
    AutoPaster paster(manager, *platform.inputSynthesizer, *platform.windowSystem, *platform.scheduler);
    HotKeyManager hotKeys(*platform.hotKeys);
    PanelNotifications notifications;
    const auto openUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    const auto quit = [] { QCoreApplication::exit(0); };
    PanelServices panelServices{
        manager,
        notifications,
        [&paster](const ClipItemPtr &item, const std::function<void()> &hide) { paster.paste(item, hide); },
        openUrl,
        quit,
    };

    AppDelegate delegate({
        manager,
        *platform.windowSystem,
        hotKeys,
        notifications,
        [&panelServices](std::function<void()> onDismiss) -> QWidget * {
            return new TavorindleView(panelServices, std::move(onDismiss));
        },
        openUrl,
        quit,
    });
    HistoryCommands commands({
        manager,
        [&delegate, &paster](const ClipItemPtr &item, std::function<void(bool)> finished) {
            const auto hide = [&delegate] {
                if (delegate.isHUDVisible())
                    delegate.hideHUD();
            };
            paster.paste(item, hide, std::move(finished));
        },
        // Queued: the reply goes out before the panel moves or the program ends.
        [&delegate] { QMetaObject::invokeMethod(&delegate, &AppDelegate::showHUD, Qt::QueuedConnection); },
        [&delegate] { QMetaObject::invokeMethod(&delegate, &AppDelegate::toggleHUD, Qt::QueuedConnection); },
        [&delegate] { QMetaObject::invokeMethod(&delegate, &AppDelegate::quitAction, Qt::QueuedConnection); },
    });
    channel.onRequest = [&commands](const ChannelProtocol::Request &request, QByteArray body,
                                    const ChannelConnection::Respond &respond) {
        commands.handle(request, std::move(body), respond);
    };

    // The key may be refused at start or much later (a portal that asks
    // the user): either way the user learns how to bind the toggle instead.
    hotKeys.onUnavailable = [](const QString &advice) { printLine(stderr, advice); };
    delegate.applicationDidFinishLaunching();
    if (command.request == CommandLine::Request::Toggle)
        QMetaObject::invokeMethod(&delegate, &AppDelegate::toggleHUD, Qt::QueuedConnection);

    const int status = app.exec();
    channel.onRequest = nullptr;
    manager.stopObserving();
    manager.waitForSaved(); // however the quit came, the last change is kept
    hotKeys.onUnavailable = nullptr;
    hotKeys.unregisterHotKey();
    return status;
}

} // namespace

static int programMain(int argc, char *argv[])
{
    Q_INIT_RESOURCE(shell);
    QCoreApplication::setApplicationName(QStringLiteral("Tavorindle"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVORINDLE_VERSION));
    Trace::mark("main");

    std::optional<InstanceChannel> channel;
    std::optional<HistoryStorage> storage;
    ProcessLock historyLock; // held until the process ends
    CommandLine command;
    {
        // What runs before the decision to be the program needs no display.
        QCoreApplication core(argc, argv);
        command = CommandLine::parse(QCoreApplication::arguments());
        switch (command.request) {
        case CommandLine::Request::Help:
        case CommandLine::Request::Version:
            printLine(stdout, command.message);
            return 0;
        case CommandLine::Request::Invalid:
            printLine(stderr, QStringLiteral("tavorindle: %1").arg(command.message));
            return 2;
        default:
            break;
        }

        QString error;
        const QString folder = InstanceChannel::runtimeFolder(&error);
        if (folder.isEmpty()) {
            printLine(stderr, QStringLiteral("tavorindle: no private runtime folder: %1").arg(error));
            return 1;
        }
        channel.emplace(folder);
        if (!channel->claim()) {
            if (const auto status = runCommand(channel->socketPath(), command))
                return *status;
            // It may have ended meanwhile: then this copy runs instead.
            if (!channel->claim()) {
                printLine(stderr, QStringLiteral("tavorindle: the running copy%1 does not answer")
                                      .arg(processText(channel->holderPid())));
                return 1;
            }
        }
        // The runtime lock can be lost (a cleaner empties the folder) or
        // differ (another runtime folder): the history's own lock is what
        // keeps two copies from writing one file.
        storage.emplace();
        switch (storage->lock(historyLock)) {
        case ProcessLock::Outcome::Acquired:
            break;
        case ProcessLock::Outcome::HeldElsewhere:
            if (const auto status = runCommand(channel->socketPath(), command))
                return *status;
            printLine(stderr, QStringLiteral("tavorindle: another running copy%1 keeps the history in %2 "
                                             "and cannot be reached; this one ends")
                                  .arg(processText(historyLock.holderPid()), storage->folderPath()));
            return 1;
        case ProcessLock::Outcome::Failed:
            printLine(stderr, QStringLiteral("tavorindle: %1 (nothing keeps a second copy from writing the "
                                             "history too)").arg(historyLock.error()));
            break;
        }
        if (command.request == CommandLine::Request::Quit) {
            printLine(stderr, QStringLiteral("Tavorindle is not running."));
            return 0;
        }
        if (command.request == CommandLine::Request::Command)
            return failCommand(QStringLiteral("Tavorindle is not running; start it with 'tavorindle' "
                                              "(this command does not start it)"));
    }
    if (const QByteArray platform = preferredQtPlatform(); !platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    // On Wayland Qt asks its EGL buffer integration whether it can draw
    // title bars before it looks at a window's flags: the first show of our
    // frameless panel, painted by the CPU, loaded EGL and the GL driver (a
    // first show of 80 to 110 ms in headless sway, later ones 8 ms). No
    // window of ours has a title bar.
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"))
        qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
    return runApplication(argc, argv, *channel, command, *storage);
}

// Called by the launcher (launcher.cpp) once it has loaded this module.
extern "C" __attribute__((visibility("default"))) int tavorindleMain(int argc, char *argv[])
{
    return programMain(argc, argv);
}
