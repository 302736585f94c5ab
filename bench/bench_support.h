#pragma once

// Shared by the widget benchmarks: `bench_x --show ...` opens a view on a
// real display for a person to look at; otherwise the benchmarks run
// offscreen.
#include "clipboard_manager.h"
#include "clock.h"
#include "history_file.h"
#include "memory/memory_pasteboard.h"
#include "panel_notifications.h"
#include "panel_services.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace BenchSupport {

class FixedClock final : public Clock
{
public:
    TimeInterval now() const override { return 800000000.0; }
};

// A store whose history file holds the given items, loaded as at start-up,
// with the services a panel needs (nothing pastes or opens).
struct BenchStore
{
    explicit BenchStore(const QList<ClipItemPtr> &items)
    {
        const QString folder = dir.path() + QStringLiteral("/Tavorindle");
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/history.json"));
        if (file.open(QIODevice::WriteOnly))
            file.write(HistoryFile::encode(items));
        file.close();
        store = std::make_unique<ClipboardManager>(pasteboard, HistoryStorage(folder), clock);
    }

    QTemporaryDir dir;
    MemoryPasteboard pasteboard;
    FixedClock clock;
    PanelNotifications notifications;
    std::unique_ptr<ClipboardManager> store;
    PanelServices services() { return {*store, notifications, {}, {}, {}}; }
};

// Shows the view as the panel window would be, centred, and runs the loop.
inline int showCentred(QWidget &view)
{
    view.setWindowFlags(Qt::FramelessWindowHint | Qt::Tool | Qt::WindowStaysOnTopHint);
    view.setAttribute(Qt::WA_TranslucentBackground);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        view.move(screen->geometry().center() - QPoint(view.width() / 2, view.height() / 2));
    view.show();
    return QApplication::exec();
}

// `--show [argument]` calls show with the argument (empty when none).
inline int runOrShow(int argc, char **argv, const std::function<int(const QByteArray &)> &show)
{
    const bool showing = argc > 1 && qstrcmp(argv[1], "--show") == 0;
    if (!showing)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (showing)
        return show(argc > 2 ? QByteArray(argv[2]) : QByteArray());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace BenchSupport
