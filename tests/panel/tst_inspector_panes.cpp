#include "code_view/code_area.h"
#include "inspector/code_pane.h"
#include "inspector/color_pane.h"
#include "inspector/elided_text_label.h"
#include "inspector/inspector_view.h"
#include "inspector/link_pane.h"
#include "inspector/text_blocks.h"
#include "inspector/text_pane.h"
#include "panel_view.h"
#include "memory/memory_pasteboard.h"
#include "style/named_colors.h"
#include "panel_notifications.h"
#include "panel_services.h"
#include "panel_state.h"
#include "panel_test_support.h"
#include "code_view/syntax_highlighter_view.h"

#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using TestSupport::makeItem;

namespace {

// Services over a real store and in-memory clipboard; paste and open
// calls are recorded instead of acted on.
struct ServicesFixture
{
    TestSupport::StoreFixture store;
    PanelNotifications notifications;
    QList<std::pair<ClipItemPtr, std::function<void()>>> pastes;
    QList<QUrl> opened;
    PanelServices services{*store.manager, *store.pasteboard, notifications,
                           [this](const ClipItemPtr &item, const std::function<void()> &hide) {
                               pastes.append({item, hide});
                           },
                           [this](const QUrl &url) { opened.append(url); }, [] {}};

    MemoryPasteboard &pasteboard() { return *store.pasteboard; }
    ClipboardManager &manager() { return *store.manager; }
    ClipItemPtr itemWithText(const QString &text) const
    {
        for (const ClipItemPtr &item : store.manager->items())
            if (item->rawContent() == text)
                return item;
        return nullptr;
    }
};

// The vertical extent of non-background pixels in a column band of an image.
std::pair<int, int> inkRows(const QImage &image, int left, int right, int top, int bottom)
{
    const QRgb background = image.pixel(left, top);
    int first = -1;
    int last = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (image.pixel(x, y) != background) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
    return {first, last};
}

QString numbered(int lines)
{
    QStringList list;
    for (int i = 0; i < lines; ++i)
        list << QStringLiteral("let value%1 = %1").arg(i);
    return list.join(u'\n');
}

} // namespace

class TestInspectorPanes : public QObject
{
    Q_OBJECT

private slots:
    void badge_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("badge");

        QTest::newRow("empty") << "" << "";
        QTest::newRow("c sharp") << "c#" << "C#";
        QTest::newRow("full mapping") << QString::fromUtf16(u"straße") << "STRASSE";
    }

    void badge()
    {
        QFETCH(QString, language);
        QFETCH(QString, badge);
        SyntaxHighlighterView view(QStringLiteral("x"), language, [] {});
        QCOMPARE(view.badgeText(), badge);
    }

    void gutterRowsLevelWithCodeRows()
    {
        // One more digit, a wider gutter.
        int previousWidth = 0;
        for (int lines : {9, 10, 1000}) {
            CodeArea area(numbered(lines));
            QVERIFY(area.gutterWidth() > previousWidth);
            previousWidth = area.gutterWidth();
        }

        // Digits in both columns: same font, so each row's ink spans the same pixel rows.
        CodeArea area(QStringLiteral("8\n8\n8"));
        area.resize(420, 200);
        area.show();
        const QImage image = area.grab().toImage();
        const int codeLeft = area.codeRowRect(0).left();
        for (qsizetype k = 0; k < 3; ++k) {
            const QRect row = area.gutterRowRect(k);
            const auto gutterInk = inkRows(image, row.left(), row.right() + 1, row.top(), row.bottom() + 1);
            const auto codeInk = inkRows(image, codeLeft, codeLeft + 20, row.top(), row.bottom() + 1);
            QVERIFY(gutterInk.first >= 0);
            QCOMPARE(gutterInk, codeInk);
        }
    }

    void lineColoursPainted()
    {
        // Comment, import, definition, control, plain.
        CodeArea area(QStringLiteral("# hidden\nimport os\n\tdef f(): return 1\nguard x\nplain"));
        area.resize(420, 200);
        area.show();
        // Composited over black: the area's own fill is translucent.
        QImage image(area.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            painter.drawPixmap(0, 0, area.grab());
        }
        // The largest difference between two channels in a row's text shows its hue.
        using Channel = int (QColor::*)() const noexcept;
        const auto strongest = [&](qsizetype line, Channel a, Channel b) {
            const QRect row = area.codeRowRect(line);
            int best = -255;
            for (int y = row.top(); y <= row.bottom(); ++y)
                for (int x = row.left(); x < row.left() + 120; ++x) {
                    const QColor c = image.pixelColor(x, y);
                    best = qMax(best, (c.*a)() - (c.*b)());
                }
            return best;
        };
        QVERIFY(strongest(1, &QColor::red, &QColor::blue) > 100);   // pink import
        QVERIFY(strongest(2, &QColor::blue, &QColor::green) > 100); // purple definition
        QVERIFY(strongest(3, &QColor::red, &QColor::blue) > 150);   // orange control
        QVERIFY(strongest(4, &QColor::red, &QColor::blue) < 10);    // white plain
        QVERIFY(strongest(4, &QColor::blue, &QColor::red) < 10);
    }

    void hugeSnippetScrollsToItsEnd()
    {
        const int lines = 200000;
        CodeArea area(numbered(lines));
        area.resize(600, 400);
        area.show();
        QCOMPARE(area.lineCount(), lines);
        area.verticalScrollBar()->setValue(area.verticalScrollBar()->maximum());
        const auto [first, last] = area.visibleRows();
        QCOMPARE(last, qsizetype(lines - 1));
        QVERIFY(last - first < 40);
        // The last row is drawn, inside the view.
        const QImage image = area.grab().toImage();
        const int y = area.codeRowRect(last).top() - area.verticalScrollBar()->value();
        QVERIFY(y + 18 <= area.viewport()->height());
        QVERIFY(inkRows(image, area.codeRowRect(last).left(), image.width() / 2, y, y + 18).first >= 0);
    }

    void veryLongLineScrollsSideways()
    {
        CodeArea area(QString(3'000'000, u'a') + QStringLiteral("\nb"));
        area.resize(600, 200);
        area.show();
        QScrollBar *h = area.horizontalScrollBar();
        QVERIFY(h->maximum() > 3'000'000);
        h->setValue(h->maximum());
        const QImage image = area.grab().toImage();
        // The end of the line is drawn at the right edge of the view.
        const QRect row = area.codeRowRect(0);
        const int y = row.top() - area.verticalScrollBar()->value();
        const auto ink = inkRows(image, image.width() / 2, image.width() - 30, y, y + 18);
        QVERIFY(ink.first >= 0);

        // Short lines never do, also beside a vertical bar.
        SyntaxHighlighterView view(numbered(2000), QStringLiteral("Swift"), [] {});
        view.resize(401, 380); // the inspector's pane
        view.show();
        QVERIFY(view.codeArea()->verticalScrollBar()->maximum() > 0);
        QCOMPARE(view.codeArea()->horizontalScrollBar()->maximum(), 0);
    }

    void copyCleanTrimsAndIsCaptured()
    {
        ServicesFixture f;
        f.store.copy(QStringLiteral("def f():\n    return 1"));
        f.store.copy(QStringLiteral("hello"));
        const ClipItemPtr code = f.itemWithText(QStringLiteral("def f():\n    return 1"));
        QVERIFY(code);
        // A re-copy of a stored snippet moves it to the top.
        CodePane(code, f.services).copyClean();
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 2);
        QCOMPARE(f.manager().items().first()->id(), code->id());

        // Read from a history written elsewhere: the stored text ends in a line feed.
        CodePane pane(makeItem(QStringLiteral("let a = 1\n"), ClipContentType::Code), f.services);
        pane.show();
        QCOMPARE(pane.view()->badgeText(), QStringLiteral("CODE")); // no language
        QTest::mouseClick(pane.view()->copyCleanButton(), Qt::LeftButton);
        QCOMPARE(f.pasteboard().writes().last(), QStringLiteral("let a = 1"));
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 3);
        QCOMPARE(f.manager().items().first()->rawContent(), QStringLiteral("let a = 1"));
    }

    void colourPane_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QColor>("swatch");
        QTest::addColumn<QString>("shown");

        QTest::newRow("six digits") << "#1e90ff" << QColor(0x1E, 0x90, 0xFF) << "#1E90FF";
        QTest::newRow("rgb notation") << "rgb(255, 0, 0)" << NamedColors::indigo() << "RGB(255, 0, 0)";
        QTest::newRow("three digits") << "#fff" << NamedColors::indigo() << "#FFF";
    }

    void colourPane()
    {
        QFETCH(QString, raw);
        QFETCH(QColor, swatch);
        QFETCH(QString, shown);
        ServicesFixture f;
        ColorPane pane(makeItem(raw, ClipContentType::Color), f.services);
        QCOMPARE(pane.swatchColor(), swatch);
        QCOMPARE(pane.valueLabel()->text(), shown);
        pane.resize(400, 300);
        pane.show();
        // The swatch is painted in its colour (its centre pixel).
        const QImage image = pane.grab().toImage();
        const QList<QWidget *> children = pane.findChildren<QWidget *>();
        const auto swatchWidget = std::find_if(children.begin(), children.end(),
                                               [](QWidget *w) { return w->size() == QSize(64, 64); });
        QVERIFY(swatchWidget != children.end());
        QCOMPARE(image.pixelColor((*swatchWidget)->mapTo(&pane, QPoint(32, 32))).rgb(), swatch.rgb());
    }

    void colourCopyButtonsAndWatcher()
    {
        ServicesFixture f;
        f.store.copy(QStringLiteral("#1e90ff"));
        f.store.copy(QStringLiteral("hello"));
        const ClipItemPtr colour = f.itemWithText(QStringLiteral("#1e90ff"));
        QVERIFY(colour);
        QCOMPARE(colour->contentType(), ClipContentType::Color);
        PanelTest::PasteRecorder recorder;
        PanelState state(f.manager(), recorder.handler(), recorder.onDismiss());
        InspectorView inspector(state, f.services);
        inspector.resize(420, 460);
        static_cast<QWidget &>(inspector).show();
        state.setSelectedItemId(colour->id());
        QTRY_COMPARE(inspector.shownItem(), colour);
        const auto click = [&](ColorValue::CopyFormat format) {
            auto *pane = inspector.content()->findChild<ColorPane *>();
            QVERIFY(pane);
            QTest::mouseClick(pane->copyButton(format), Qt::LeftButton);
        };
        QStringList labels;
        for (auto format : ColorValue::copyFormats())
            labels << inspector.content()->findChild<ColorPane *>()->copyButton(format)->text();
        QCOMPARE(labels, (QStringList{"HEX", "NSColor", "SwiftUI.Color"}));

        // "HEX" is a re-copy: the colour item moves to the top.
        click(ColorValue::CopyFormat::Hex);
        QCOMPARE(f.pasteboard().writes().last(), QStringLiteral("#1e90ff"));
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 2);
        QCOMPARE(f.manager().items().first()->id(), colour->id());

        // The snippets are new text: a new item on top, which the inspector turns to.
        click(ColorValue::CopyFormat::SwiftUIColor);
        QCOMPARE(f.pasteboard().writes().last(), QStringLiteral("Color(hex: \"#1e90ff\")"));
        click(ColorValue::CopyFormat::NSColor);
        QCOMPARE(f.pasteboard().writes().last(), QStringLiteral("NSColor(hex: \"#1e90ff\")"));
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 3);
        QCOMPARE(f.manager().items().first()->rawContent(), QStringLiteral("NSColor(hex: \"#1e90ff\")"));
        QTRY_COMPARE(inspector.shownItem(), f.manager().items().first());
        QVERIFY(!inspector.content()->findChild<ColorPane *>());
    }

    void linkHost_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("opens");

        QTest::newRow("https") << "https://example.com/a?b=c" << "example.com" << true;
        QTest::newRow("port and user") << "http://u@sub.example.org:8080/x" << "sub.example.org" << true;
        QTest::newRow("no host") << "mailto:someone@example.com" << "" << true;
        QTest::newRow("spaces do not parse") << "not a url at all" << "" << false;
        QTest::newRow("relative is no address") << "example" << "" << false;
        QTest::newRow("empty") << "" << "" << false;
        QTest::newRow("long address used whole")
            << QStringLiteral("https://example.com/") + QString(3000, u'a') << "example.com" << true;
    }

    void linkHost()
    {
        QFETCH(QString, raw);
        QFETCH(QString, host);
        QFETCH(bool, opens);
        ServicesFixture f;
        LinkPane pane(makeItem(raw, ClipContentType::Link), f.services, [] {});
        QCOMPARE(pane.hostLabel() ? pane.hostLabel()->text() : QString(), host);
        QCOMPARE(pane.addressLabel()->text(), raw);

        pane.show();
        QTest::mouseClick(pane.openButton(), Qt::LeftButton);
        QCOMPARE(f.opened.size(), opens ? 1 : 0);
        if (opens)
            QCOMPARE(f.opened.first(), QUrl(raw));
    }

    void linkCard_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("whole"); // 1: all shown, 0: cut, -1: either

        QTest::newRow("71 characters")
            << "https://developer.example.org/docs/clipboard/history?tab=overview#start" << 1;
        QTest::newRow("130 characters") << QStringLiteral("https://example.com/") + QString(110, u'a') << 0;
        QTest::newRow("long host")
            << "https://this-is-a-very-long-subdomain-name-for-testing.another-long-label-here."
               "example-domain.org/p"
            << -1;
    }

    // In the inspector's column: two address lines at most, every line drawn
    // whole, then a visible cut; the host wraps and is never cut.
    void linkCard()
    {
        QFETCH(QString, raw);
        QFETCH(int, whole);
        ServicesFixture f;
        LinkPane pane(makeItem(raw, ClipContentType::Link), f.services, [] {});
        pane.resize(TavorindleView::panelWidth - TavorindleView::listWidth - 1 - 2 * 14, 400);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        LinkPane *link = &pane;

        // Every line drawn whole; the lines are the text, or its start and an
        // ellipsis.
        const auto shown = [](const ElidedTextLabel *label, int maximum) {
            const QStringList lines = label->displayedLines(label->width());
            QVERIFY(lines.size() <= maximum);
            QVERIFY(label->height() >= int(lines.size()) * label->fontMetrics().lineSpacing());
            QString joined = lines.join(QString());
            if (joined.endsWith(QChar(0x2026)))
                joined.chop(1);
            QVERIFY(label->text().startsWith(joined));
        };
        shown(link->addressLabel(), 2);
        shown(link->hostLabel(), 12);
        QCOMPARE(link->hostLabel()->displayedLines(link->hostLabel()->width()).join(QString()), QUrl(raw).host());
        const QStringList address = link->addressLabel()->displayedLines(link->addressLabel()->width());
        QCOMPARE(address.join(QString()) == raw, !address.last().endsWith(QChar(0x2026)));
        if (whole >= 0)
            QCOMPARE(address.join(QString()) == raw, whole == 1);
    }

    void textBlocks_data()
    {
        QTest::addColumn<QString>("text");

        QTest::newRow("every kind of break") << QStringLiteral("a\r\nb\rc\nd\u2028e\u2029f\u000Bg\r\n\r\n");
        QTest::newRow("long line, marks and pairs at every cut")
            << QStringLiteral("e\u0301").repeated(5000) + QStringLiteral("\U0001F469\u200D\U0001F4BB").repeated(3000);
        QTest::newRow("long line of words") << QStringLiteral("word ").repeated(3000);
        QTest::newRow("CR LF across steps") << QStringLiteral("x").repeated(999) + QStringLiteral("\r\ny");
        QTest::newRow("frame characters") << QStringLiteral("a\uFDD0b\uFDD1c");
        QTest::newRow("empty") << QString();
    }

    // The box's blocks, filled in small steps, map back onto the original:
    // all of it, and block by block, with no block cut inside a character.
    void textBlocks()
    {
        QFETCH(QString, text);
        TextBlocks blocks(text);
        QTextDocument document;
        QTextCursor cursor(&document);
        while (blocks.appendTo(cursor, 1000))
            ;
        QCOMPARE(blocks.originalText(0, document.characterCount() - 1), text);
        qsizetype covered = 0;
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            const int from = block.position();
            const int to = from + block.length() - 1;
            QVERIFY(to - from <= TextBlocks::blockLength + 8);
            const QString original = blocks.originalText(from, to);
            QCOMPARE(blocks.originalOffset(from), covered);
            QCOMPARE(original.size(), block.text().size());
            QVERIFY(original.isEmpty()
                    || (!original.front().isLowSurrogate() && original.front().category() != QChar::Mark_NonSpacing));
            covered = blocks.originalOffset(to + 1);
        }
        QCOMPARE(covered, text.size());
    }

    void paneByKind_data()
    {
        QTest::addColumn<QString>("typeRaw");
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("pane");
        QTest::addColumn<QString>("statistics"); // the text pane's label

        const QString link = QStringLiteral("https://example.com");
        QTest::newRow("code") << "code" << link << "CodePane" << "";
        QTest::newRow("link") << "link" << link << "LinkPane" << "";
        QTest::newRow("color") << "color" << link << "ColorPane" << "";
        QTest::newRow("text, one word") << "text" << "hello" << "TextPane"
                                        << QString::fromUtf8("1 words • 5 characters");
        QTest::newRow("unknown") << "image" << "two words" << "TextPane"
                                 << QString::fromUtf8("2 words • 9 characters");
        QTest::newRow("case matters, no words") << "Code" << "   " << "TextPane"
                                                << QString::fromUtf8("0 words • 3 characters");
    }

    void paneByKind()
    {
        QFETCH(QString, typeRaw);
        QFETCH(QString, content);
        QFETCH(QString, pane);
        QFETCH(QString, statistics);
        ServicesFixture f;
        PanelTest::PasteRecorder recorder;
        PanelState state(f.manager(), recorder.handler(), recorder.onDismiss());
        InspectorView inspector(state, f.services);
        const ClipItemPtr item = PanelTest::storedItem(content, typeRaw, 1.0);
        std::unique_ptr<QWidget> widget(inspector.createPane(item));
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), pane);
        if (auto *text = qobject_cast<TextPane *>(widget.get()))
            QCOMPARE(text->statisticsLabel()->text(), statistics);

        // The link pane hands the item and the panel's own dismiss action to
        // the paster, and neither opens nor copies.
        if (auto *link = qobject_cast<LinkPane *>(widget.get())) {
            link->show();
            QTest::mouseClick(link->pasteButton(), Qt::LeftButton);
            QCOMPARE(f.pastes.size(), 1);
            QCOMPARE(f.pastes.first().first, item);
            QCOMPARE(recorder.dismissed, 0);
            f.pastes.first().second();
            QCOMPARE(recorder.dismissed, 1);
            QVERIFY(f.opened.isEmpty());
            QVERIFY(f.pasteboard().writes().isEmpty());
        }
    }
};

QTEST_MAIN(TestInspectorPanes)
#include "tst_inspector_panes.moc"
