// Panel costs: one search keystroke (filter, sort, model update, inspector,
// repaint of the visible rows) and one hover change across rows.
//
// `bench_panel --show [count]` opens the panel over a sample history
// instead, for looking at it by hand.

#include "clipboard_bench.h"
#include "bench_support.h"
#include "clipboard_manager.h"
#include "clock.h"
#include "history_file.h"
#include "list/history_list_view.h"
#include "memory/memory_pasteboard.h"
#include "panel_notifications.h"
#include "panel_view.h"
#include "inspector/text_pane.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QScreen>
#include <QTemporaryDir>


#include <benchmark/benchmark.h>

#include <memory>

namespace {

ClipItemPtr sampleItem(int i)
{
    static const char *const words[] = {"alpha", "render", "queue", "Function", "payload", "widget",
                                        "token", "buffer", "lambda", "cursor", "orbit", "stream"};
    const auto word = [](int n) { return QString::fromLatin1(words[n % 12]); };
    QString text;
    ClipContentType type = ClipContentType::Text;
    std::optional<QString> language;
    switch (i % 5) {
    case 0:
        text = QStringLiteral("func %1%2(_ %3: Int) -> Int {\n    return %3 * %4\n}")
                   .arg(word(i), QString::number(i), word(i + 3))
                   .arg(i % 97);
        type = ClipContentType::Code;
        language = QStringLiteral("Swift");
        break;
    case 1:
        text = QStringLiteral("https://example.org/%1/%2?id=%3").arg(word(i), word(i + 5)).arg(i);
        type = ClipContentType::Link;
        break;
    case 2:
        text = QStringLiteral("#%1").arg((i * 2654435761u) & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
        type = ClipContentType::Color;
        break;
    default:
        text = QStringLiteral("%1 %2 notes for the %3 meeting, item %4: keep the %5 small")
                   .arg(word(i), word(i + 1), word(i + 7))
                   .arg(i)
                   .arg(word(i + 2));
        break;
    }
    return std::make_shared<ClipItem>(QUuid::createUuid(), text, type, language, std::nullopt,
                                      800000000.0 - i * 37.0, i % 41 == 0);
}

// A store over a history file of count sample items.
// The history of `count` sample items.
QList<ClipItemPtr> sampleItems(int count)
{
    QList<ClipItemPtr> items;
    for (int i = 0; i < count; ++i)
        items.append(sampleItem(i));
    return items;
}

void BM_SearchKeystroke(benchmark::State &bench)
{
    BenchSupport::BenchStore sample(sampleItems(int(bench.range(0))));
    TavorindleView view(sample.services(), [] {});
    view.show();
    QCoreApplication::processEvents();
    // A word typed and erased again, one keystroke per iteration.
    const QStringList steps{"r", "re", "ren", "rend", "rende", "render", "rende", "rend", "ren", "re", "r", ""};
    qsizetype step = 0;
    for (auto _ : bench) {
        view.state().setSearchText(steps[step++ % steps.size()]);
        QCoreApplication::processEvents(); // the inspector's coalesced rebuild
        view.historyList()->viewport()->repaint();
    }
    bench.counters["items"] = double(sample.store->items().size());
}
BENCHMARK(BM_SearchKeystroke)->Arg(200)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_HoverAcrossRows(benchmark::State &bench)
{
    BenchSupport::BenchStore sample(sampleItems(200));
    TavorindleView view(sample.services(), [] {});
    view.show();
    QCoreApplication::processEvents();
    HistoryListView *list = view.historyList();
    const QList<ClipItemPtr> rows = view.state().filteredItems();
    QList<QPoint> centres;
    for (int i = 0; i < 20 && i < rows.size(); ++i)
        centres.append(list->rowRectFor(rows[i]->id()).center());
    qsizetype n = 0;
    for (auto _ : bench) {
        const QPoint pos = centres[n++ % centres.size()];
        QMouseEvent move(QEvent::MouseMove, pos, list->viewport()->mapToGlobal(pos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &move);
        QCoreApplication::processEvents(); // inspector rebuild for the hovered row
        list->viewport()->repaint();
    }
}
BENCHMARK(BM_HoverAcrossRows)->Unit(benchmark::kMicrosecond);

// The text pane for a 10 MB item. Arg 0: lines of 100 characters; arg 1:
// one single line with a space every 100 characters; arg 2: one single
// line without any space. Measured: the pane built and painted (what the
// user waits for), then separately the whole text loaded in the background,
// with the longest turn of the event loop meanwhile.
QString largeText(int kind)
{
    QString text;
    const QChar end = kind == 0 ? QLatin1Char('\n') : kind == 1 ? QLatin1Char(' ') : QLatin1Char('w');
    const QString line = QString(99, QLatin1Char('w')) + end;
    text.reserve(10 * 1024 * 1024 + line.size());
    while (text.size() < 10 * 1024 * 1024)
        text += line;
    return text;
}

void BM_TextPaneFirstPaint(benchmark::State &bench)
{
    const ClipItemPtr item = ClipItem::create(largeText(int(bench.range(0))), ClipContentType::Text,
                                              std::nullopt, 800000000.0);
    for (auto _ : bench) {
        TextPane pane(item, 800000000.0);
        pane.resize(400, 380);
        pane.show();
        pane.repaint();
    }
}
BENCHMARK(BM_TextPaneFirstPaint)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_TextPaneFullLoad(benchmark::State &bench)
{
    const ClipItemPtr item = ClipItem::create(largeText(int(bench.range(0))), ClipContentType::Text,
                                              std::nullopt, 800000000.0);
    qint64 longestTurnNs = 0;
    const double anonBefore = ClipboardBench::anonymousMiB();
    double anonLoaded = 0;
    for (auto _ : bench) {
        TextPane pane(item, 800000000.0);
        pane.resize(400, 380);
        pane.show();
        bool done = false;
        QObject::connect(&pane, &TextPane::loaded, [&done] { done = true; });
        QElapsedTimer turn;
        while (!done) {
            turn.start();
            QCoreApplication::processEvents();
            longestTurnNs = std::max(longestTurnNs, turn.nsecsElapsed());
        }
        pane.repaint();
        anonLoaded = ClipboardBench::anonymousMiB();
    }
    bench.counters["longest_turn_ms"] = double(longestTurnNs) / 1e6;
    // What the loaded pane holds beyond the item's own text.
    bench.counters["pane_MiB"] = anonLoaded - anonBefore;
}
BENCHMARK(BM_TextPaneFullLoad)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(2);

int showPanel(int count)
{
    BenchSupport::BenchStore sample(sampleItems(count));
    TavorindleView view(sample.services(), [] {});
    return BenchSupport::showCentred(view);
}

} // namespace

int main(int argc, char **argv)
{
    return BenchSupport::runOrShow(argc, argv, [](const QByteArray &count) {
        return showPanel(count.isEmpty() ? 30 : count.toInt());
    });
}
