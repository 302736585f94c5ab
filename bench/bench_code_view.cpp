// Code viewer and inspector costs with large snippets: building and first
// painting a code pane of 1,000 and 200,000 lines (about 10 MB), scrolling
// the large one to its end, and switching the inspector between two large
// items by hover.
//
// `bench_code_view --show <code|huge|link|color|text>` opens the panel over a
// history whose newest item is of that kind instead, for looking at it.

#include "bench_support.h"
#include "clipboard_manager.h"
#include "clock.h"
#include "code_view/code_area.h"
#include "history_file.h"
#include "inspector/view.h"
#include "memory/memory_pasteboard.h"
#include "panel_notifications.h"
#include "panel_state.h"
#include "panel_view.h"
#include "code_view/syntax_highlighter_view.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>


#include <benchmark/benchmark.h>

#include <memory>

namespace {

// Lines of about 50 characters in the mix the line classes see.
QString snippet(int lines)
{
    static const char *const samples[] = {
        "import Foundation // collections, strings and dates here",
        "// Computes the running total of the samples seen so far.",
        "func total(of values: [Int], limit: Int) -> Int { // sums",
        "    guard !values.isEmpty else { return 0 } // nothing to add",
        "    let clipped = values.map { min($0, limit) } // capped values",
        "    return clipped.reduce(0, +) // the sum of all the rows in view",
        "} // end of total(of:limit:), which callers use for the footer",
        "    print(\"total \\(total(of: [1, 2, 3], limit: 2)) of the three\")",
    };
    QString s;
    s.reserve(qsizetype(lines) * 52);
    for (int i = 0; i < lines; ++i) {
        if (i)
            s += u'\n';
        s += QLatin1String(samples[i % 8]);
    }
    return s;
}

const QString &cachedSnippet(int lines)
{
    static std::map<int, QString> cache;
    auto it = cache.find(lines);
    if (it == cache.end())
        it = cache.emplace(lines, snippet(lines)).first;
    return it->second;
}

// Construction of the whole viewer and its first frame.
void BM_ShowCodeView(benchmark::State &bench)
{
    const QString &code = cachedSnippet(int(bench.range(0)));
    for (auto _ : bench) {
        SyntaxHighlighterView view(code, QStringLiteral("Swift"), [] {});
        view.resize(402, 380);
        QPixmap frame = view.grab();
        benchmark::DoNotOptimize(frame);
    }
    bench.counters["bytes"] = double(code.toUtf8().size());
}
BENCHMARK(BM_ShowCodeView)->Arg(1000)->Arg(200000)->Unit(benchmark::kMillisecond);

// Jumps between the top and the end of a large snippet, painting each time.
void BM_ScrollToEnd(benchmark::State &bench)
{
    SyntaxHighlighterView view(cachedSnippet(200000), QStringLiteral("Swift"), [] {});
    view.resize(402, 380);
    view.show();
    QScrollBar *bar = view.codeArea()->verticalScrollBar();
    bool atEnd = false;
    for (auto _ : bench) {
        atEnd = !atEnd;
        bar->setValue(atEnd ? bar->maximum() : 0);
        QPixmap frame = view.codeArea()->viewport()->grab();
        benchmark::DoNotOptimize(frame);
    }
}
BENCHMARK(BM_ScrollToEnd)->Unit(benchmark::kMillisecond);

ClipItemPtr codeItem(const QString &text, TimeInterval timestamp)
{
    return std::make_shared<ClipItem>(QUuid::createUuid(), text, ClipContentType::Code,
                                      QStringLiteral("Swift"), std::nullopt, timestamp, false);
}

// Hover moves between two 200,000-line items: the inspector builds the
// other code pane and paints it.
void BM_InspectorHoverSwitch(benchmark::State &bench)
{
    const QString &code = cachedSnippet(200000);
    BenchSupport::BenchStore large({codeItem(code, 800000000.0), codeItem(code + QStringLiteral("\n}"), 799999000.0)});
    const PanelServices services = large.services();
    PanelState state(*large.store, {}, [] {});
    InspectorView inspector(state, services);
    inspector.resize(430, 400);
    static_cast<QWidget &>(inspector).show();
    const QList<ClipItemPtr> items = large.store->items();
    qsizetype n = 0;
    for (auto _ : bench) {
        state.setHoveredItemId(items[n++ % 2]->id());
        inspector.refresh();
        QPixmap frame = inspector.grab();
        benchmark::DoNotOptimize(frame);
    }
    bench.counters["builds"] = double(inspector.buildCount());
}
BENCHMARK(BM_InspectorHoverSwitch)->Unit(benchmark::kMillisecond);

ClipItemPtr showcaseItem(const QString &kind)
{
    const auto make = [](const QString &text, ClipContentType type,
                         std::optional<QString> language = std::nullopt) {
        return std::make_shared<ClipItem>(QUuid::createUuid(), text, type, language, std::nullopt,
                                          800000000.0, false);
    };
    if (kind == QLatin1String("huge"))
        return make(cachedSnippet(200000), ClipContentType::Code, QStringLiteral("Swift"));
    if (kind == QLatin1String("link"))
        return make(QStringLiteral("https://developer.example.org/documentation/reference/"
                                   "articles/2024/working-with-long-addresses-that-wrap?"
                                   "utm_source=newsletter&utm_medium=email&utm_campaign=spring"),
                    ClipContentType::Link);
    if (kind == QLatin1String("color"))
        return make(QStringLiteral("#1e90ff"), ClipContentType::Color);
    if (kind == QLatin1String("text"))
        return make(QStringLiteral("Plain words to look at."), ClipContentType::Text);
    return make(QStringLiteral("import SwiftUI\n\n// A counter that counts.\nstruct Counter: View {\n"
                               "    @State private var count = 0\n\n"
                               "    func increment() {\n        count += 1\n    }\n\n"
                               "    var body: some View {\n"
                               "        guard count >= 0 else { return Text(\"negative\") }\n"
                               "        return Text(\"\\(count)\")\n    }\n}\n"
                               "#if DEBUG\n\tlet\u3000wide = \"\u4E2D\u6587\"   \n#endif"),
                ClipContentType::Code, QStringLiteral("Swift"));
}

int showPanel(const QString &kind)
{
    QList<ClipItemPtr> items{showcaseItem(kind)};
    for (const char *other : {"text", "color", "link", "code"}) {
        if (kind != QLatin1String(other) && !(kind == QLatin1String("huge") && qstrcmp(other, "code") == 0)) {
            ClipItemPtr item = showcaseItem(QLatin1String(other));
            item->setTimestamp(799990000.0 - items.size() * 60);
            items.append(item);
        }
    }
    BenchSupport::BenchStore large(items);
    const PanelServices services = large.services();
    TavorindleView view(services, [] {});
    return BenchSupport::showCentred(view);
}

} // namespace

int main(int argc, char **argv)
{
    return BenchSupport::runOrShow(argc, argv, [](const QByteArray &kind) {
        return showPanel(kind.isEmpty() ? QStringLiteral("code") : QString::fromLocal8Bit(kind));
    });
}
