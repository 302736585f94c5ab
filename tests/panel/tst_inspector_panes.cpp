#include "clipboard_manager.h"
#include "code_area.h"
#include "code_pane.h"
#include "color_pane.h"
#include "elided_text_label.h"
#include "inspector_view.h"
#include "link_pane.h"
#include "memory/memory_pasteboard.h"
#include "named_colors.h"
#include "panel_fonts.h"
#include "panel_notifications.h"
#include "panel_services.h"
#include "panel_state.h"
#include "panel_test_support.h"
#include "syntax_highlighter_view.h"
#include "test_support.h"
#include "text_pane.h"

#include <QImage>
#include <QPainter>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

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
        for (const ClipItemPtr &item : store.manager->items()) {
            if (item->rawContent() == text)
                return item;
        }
        return nullptr;
    }
};

// The vertical extent of non-background pixels in a column band of an image.
std::pair<int, int> inkRows(const QImage &image, int left, int right, int top, int bottom)
{
    const QRgb background = image.pixel(left, top);
    int first = -1;
    int last = -1;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (image.pixel(x, y) != background) {
                if (first < 0)
                    first = y;
                last = y;
                break;
            }
        }
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

        QTest::newRow("code") << "Code" << "CODE";
        QTest::newRow("typescript") << "TypeScript" << "TYPESCRIPT";
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

    void countsAndCopyCleanCallback()
    {
        int calls = 0;
        SyntaxHighlighterView view(QStringLiteral("a\r\nb"), QStringLiteral("Swift"), [&] { ++calls; });
        QCOMPARE(view.countsText(), QString::fromUtf16(u"3 lines \u2022 3 chars"));
        QCOMPARE(view.codeArea()->lineCount(), 3);
        QCOMPARE(view.copyCleanButton()->text(), QStringLiteral("Copy Clean"));
        view.resize(500, 300);
        view.show();
        QTest::mouseClick(view.copyCleanButton(), Qt::LeftButton);
        QTest::mouseClick(view.copyCleanButton(), Qt::LeftButton);
        QCOMPARE(calls, 2);
    }

    void rowGeometry_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("digits");
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("nine") << 9 << 1;
        QTest::newRow("ten") << 10 << 2;
        QTest::newRow("thousand") << 1000 << 4;
    }

    void rowGeometry()
    {
        QFETCH(int, lines);
        QFETCH(int, digits);
        CodeArea area(numbered(lines));
        QCOMPARE(area.lineCount(), lines);
        for (qsizetype k : {qsizetype(0), qsizetype(lines / 2), qsizetype(lines - 1)}) {
            const QRect gutter = area.gutterRowRect(k);
            const QRect code = area.codeRowRect(k);
            QCOMPARE(gutter.top(), code.top());
            QCOMPARE(gutter.top(), 12 + int(k) * 21);
            QCOMPARE(gutter.height(), 18);
            QCOMPARE(code.height(), 18);
            QVERIFY(gutter.right() < area.gutterWidth());
            QCOMPARE(code.left(), area.gutterWidth() + 1 + 12);
        }
        const QFontMetricsF fm(PanelFonts::monospaced(12));
        QCOMPARE(area.gutterWidth(), 20 + int(std::ceil(fm.horizontalAdvance(QString(digits, u'9')))));
        QCOMPARE(area.contentSize().height(), 24 + lines * 18 + (lines - 1) * 3);
        QVERIFY(area.contentSize().width() >= 400);
    }

    void longLineWidensContent()
    {
        const QString longLine(5000, u'x');
        CodeArea shortArea(QStringLiteral("x"));
        CodeArea longArea(QStringLiteral("x\n") + longLine);
        QCOMPARE(shortArea.contentSize().width(), 400);
        const qreal advance = QFontMetricsF(PanelFonts::monospaced(12)).horizontalAdvance(u'x');
        QVERIFY(longArea.contentSize().width() >= longArea.gutterWidth() + 1 + 24 + 5000 * advance - 1);
    }

    void gutterNumbersLevelWithCode()
    {
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
        CodeArea area(QStringLiteral("# hidden\nimport os\n\tdef f(): return 1\nguard x\nplain"));
        QCOMPARE(area.lineClass(0), CodeLines::LineClass::Comment);
        QCOMPARE(area.lineClass(1), CodeLines::LineClass::Import);
        QCOMPARE(area.lineClass(2), CodeLines::LineClass::Definition);
        QCOMPARE(area.lineClass(3), CodeLines::LineClass::Control);
        QCOMPARE(area.lineClass(4), CodeLines::LineClass::Plain);
        QCOMPARE(area.line(2), QStringView(u"\tdef f(): return 1"));

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
        const auto strongest = [&](qsizetype line, auto channelA, auto channelB) {
            const QRect row = area.codeRowRect(line);
            int best = -255;
            for (int y = row.top(); y <= row.bottom(); ++y) {
                for (int x = row.left(); x < row.left() + 120; ++x) {
                    const QColor c = image.pixelColor(x, y);
                    best = qMax(best, channelA(c) - channelB(c));
                }
            }
            return best;
        };
        const auto red = [](const QColor &c) { return c.red(); };
        const auto green = [](const QColor &c) { return c.green(); };
        const auto blue = [](const QColor &c) { return c.blue(); };
        QVERIFY(strongest(1, red, blue) > 100);   // pink import
        QVERIFY(strongest(2, blue, green) > 100); // purple definition
        QVERIFY(strongest(3, red, blue) > 150);   // orange control
        QVERIFY(strongest(4, red, blue) < 10);    // white plain
        QVERIFY(strongest(4, blue, red) < 10);
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
        QCOMPARE(area.codeRowRect(last).bottom() + 1 + 12, area.contentSize().height());
        QVERIFY(!area.grab().isNull());
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
    }

    void copyCleanTrimsAndIsCapturedAsNewItem()
    {
        ServicesFixture f;
        // Read from a history written elsewhere: the stored text ends in a line feed.
        const ClipItemPtr item = makeItem(QStringLiteral("let a = 1\n"), ClipContentType::Code);
        CodePane pane(item, f.services);
        pane.show();
        QCOMPARE(pane.view()->badgeText(), QStringLiteral("CODE"));
        QTest::mouseClick(pane.view()->copyCleanButton(), Qt::LeftButton);
        QCOMPARE(f.pasteboard().writes(), QStringList{QStringLiteral("let a = 1")});

        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 1);
        QCOMPARE(f.manager().items().first()->rawContent(), QStringLiteral("let a = 1"));
    }

    void copyCleanMovesCapturedItemToTop()
    {
        ServicesFixture f;
        f.store.copy(QStringLiteral("def f():\n    return 1"));
        f.store.copy(QStringLiteral("hello"));
        const ClipItemPtr code = f.itemWithText(QStringLiteral("def f():\n    return 1"));
        QVERIFY(code);
        QCOMPARE(f.manager().items().indexOf(code), 1);

        CodePane pane(code, f.services);
        QCOMPARE(pane.view()->badgeText(), code->detectedLanguage().value_or("Code").toUpper());
        pane.copyClean();
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 2);
        QCOMPARE(f.manager().items().first()->id(), code->id());
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
        const QWidget *swatchWidget = nullptr;
        for (QWidget *w : pane.findChildren<QWidget *>()) {
            if (w->size() == QSize(64, 64))
                swatchWidget = w;
        }
        QVERIFY(swatchWidget);
        const QPoint centre = swatchWidget->mapTo(&pane, QPoint(32, 32));
        QCOMPARE(image.pixelColor(centre).rgb(), swatch.rgb());
    }

    void colourCopyButtonsAndWatcher()
    {
        ServicesFixture f;
        f.store.copy(QStringLiteral("#1e90ff"));
        f.store.copy(QStringLiteral("hello"));
        const ClipItemPtr colour = f.itemWithText(QStringLiteral("#1e90ff"));
        QVERIFY(colour);
        QCOMPARE(colour->contentType(), ClipContentType::Color);
        ColorPane pane(colour, f.services);
        pane.show();

        QStringList labels;
        for (auto format : ColorValue::copyFormats())
            labels << pane.copyButton(format)->text();
        QCOMPARE(labels, (QStringList{"HEX", "NSColor", "SwiftUI.Color"}));

        // "HEX" is a re-copy: the colour item moves to the top.
        QTest::mouseClick(pane.copyButton(ColorValue::CopyFormat::Hex), Qt::LeftButton);
        QCOMPARE(f.pasteboard().writes().last(), QStringLiteral("#1e90ff"));
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 2);
        QCOMPARE(f.manager().items().first()->id(), colour->id());

        // "NSColor" is new text: a new item on top.
        QTest::mouseClick(pane.copyButton(ColorValue::CopyFormat::NSColor), Qt::LeftButton);
        QCOMPARE(f.pasteboard().writes().last(), QStringLiteral("NSColor(hex: \"#1e90ff\")"));
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 3);
        QCOMPARE(f.manager().items().first()->rawContent(), QStringLiteral("NSColor(hex: \"#1e90ff\")"));

        QTest::mouseClick(pane.copyButton(ColorValue::CopyFormat::SwiftUIColor), Qt::LeftButton);
        QCOMPARE(f.pasteboard().writes().last(), QStringLiteral("Color(hex: \"#1e90ff\")"));
        QCOMPARE(f.pasteboard().writes().size(), 3);
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

    void longAddressCutAtTwoLinesButUsedWhole()
    {
        ServicesFixture f;
        const QString raw = QStringLiteral("https://example.com/") + QString(3000, u'a');
        LinkPane pane(makeItem(raw, ClipContentType::Link), f.services, [] {});
        const QStringList lines = pane.addressLabel()->displayedLines(200);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.last().endsWith(QChar(0x2026)));
        QVERIFY(!lines.first().endsWith(QChar(0x2026)));

        // Wide enough for all of it: one line, no ellipsis.
        QCOMPARE(pane.addressLabel()->displayedLines(100000), QStringList{raw});

        QTest::mouseClick(pane.openButton(), Qt::LeftButton);
        QCOMPARE(f.opened.value(0).toString(), raw);
    }

    void addressLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("short") << "https://a.b" << QStringList{"https://a.b"};
        QTest::newRow("hard break") << "a\nb" << QStringList{"a", "b"};
        QTest::newRow("third line cut") << "a\nb\nc"
                                        << QStringList{"a", QStringLiteral("b") + QChar(0x2026)};
        QTest::newRow("empty") << "" << QStringList{""};
    }

    void addressLines()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        ElidedTextLabel label(text, 2);
        QCOMPARE(label.displayedLines(400), lines);
    }

    void paneByKind_data()
    {
        QTest::addColumn<QString>("typeRaw");
        QTest::addColumn<QString>("pane");

        QTest::newRow("code") << "code" << "CodePane";
        QTest::newRow("link") << "link" << "LinkPane";
        QTest::newRow("color") << "color" << "ColorPane";
        QTest::newRow("text") << "text" << "TextPane";
        QTest::newRow("unknown") << "image" << "TextPane";
        QTest::newRow("case matters") << "Code" << "TextPane";
    }

    void paneByKind()
    {
        QFETCH(QString, typeRaw);
        QFETCH(QString, pane);
        ServicesFixture f;
        PanelTest::PasteRecorder recorder;
        PanelState state(f.manager(), recorder.handler(), recorder.onDismiss());
        InspectorView inspector(state, f.services);
        const ClipItemPtr item = PanelTest::storedItem(QStringLiteral("https://example.com"), typeRaw, 1.0);
        std::unique_ptr<QWidget> widget(inspector.createPane(item));
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), pane);

        // The link pane passes the panel's own dismiss action to the paster.
        if (auto *link = qobject_cast<LinkPane *>(widget.get())) {
            link->pasteLink();
            QCOMPARE(f.pastes.size(), 1);
            QCOMPARE(f.pastes.first().first, item);
            f.pastes.first().second();
            QCOMPARE(recorder.dismissed, 1);
        }
    }

    void codePaneLanguage_data()
    {
        QTest::addColumn<std::optional<QString>>("language");
        QTest::addColumn<QString>("badge");
        QTest::newRow("none") << std::optional<QString>() << "CODE";
        QTest::newRow("typescript") << std::optional<QString>("TypeScript") << "TYPESCRIPT";
    }

    void codePaneLanguage()
    {
        QFETCH(std::optional<QString>, language);
        QFETCH(QString, badge);
        ServicesFixture f;
        CodePane pane(PanelTest::storedItem(QStringLiteral("x"), QStringLiteral("code"), 1.0, false, language),
                      f.services);
        QCOMPARE(pane.view()->badgeText(), badge);
    }

    void nsColorTurnsInspectorToTheSnippet()
    {
        ServicesFixture f;
        f.store.copy(QStringLiteral("#1e90ff"));
        PanelTest::PasteRecorder recorder;
        PanelState state(f.manager(), recorder.handler(), recorder.onDismiss());
        InspectorView inspector(state, f.services);
        inspector.resize(420, 460);
        static_cast<QWidget &>(inspector).show();
        QTRY_VERIFY(inspector.shownItem());
        QCOMPARE(inspector.shownItem()->rawContent(), QStringLiteral("#1e90ff"));
        auto *pane = inspector.content()->findChild<ColorPane *>();
        QVERIFY(pane);

        QTest::mouseClick(pane->copyButton(ColorValue::CopyFormat::NSColor), Qt::LeftButton);
        f.manager().checkForChanges();
        QTRY_COMPARE(inspector.shownItem()->rawContent(), QStringLiteral("NSColor(hex: \"#1e90ff\")"));
        QVERIFY(!inspector.content()->findChild<ColorPane *>());
    }

    void pasteLinkHandsItemAndDismissToPaster()
    {
        ServicesFixture f;
        int dismissed = 0;
        const ClipItemPtr item = makeItem(QStringLiteral("https://example.com"), ClipContentType::Link);
        LinkPane pane(item, f.services, [&] { ++dismissed; });
        pane.show();
        QTest::mouseClick(pane.pasteButton(), Qt::LeftButton);
        QCOMPARE(f.pastes.size(), 1);
        QCOMPARE(f.pastes.first().first, item);
        QCOMPARE(dismissed, 0);
        f.pastes.first().second();
        QCOMPARE(dismissed, 1);
        QVERIFY(f.opened.isEmpty());
        QVERIFY(f.pasteboard().writes().isEmpty());
    }
};

QTEST_MAIN(TestInspectorPanes)
#include "tst_inspector_panes.moc"
