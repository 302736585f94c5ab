#include "code_view/code_area.h"
#include "inspector/code_pane.h"
#include "inspector/color_pane.h"
#include "inspector/elided_text_label.h"
#include "inspector/view.h"
#include "inspector/link_pane.h"
#include "inspector/text_blocks.h"
#include "inspector/text_pane.h"
#include "code_view/syntax_highlighter_view.h"
#include "panel_test_support.h"
#include "panel_view.h"
#include "style/panel_fonts.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

using PanelTest::Rig;
using PanelTest::storedItem;
using TestSupport::makeItem;

namespace {

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

} // namespace

class TestInspectorPanes : public QObject
{
    Q_OBJECT

private slots:
    // Digits in both columns of the first rows: one font, so each row's ink
    // spans the same pixel rows; then a row of each class in its colour.
    void rowsLevelAndColoured()
    {
        // One more digit, a wider gutter.
        int previousWidth = 0;
        for (int lines : {9, 10, 1000}) {
            CodeArea area(QString(lines - 1, u'\n'));
            QVERIFY(area.gutterWidth() > previousWidth);
            previousWidth = area.gutterWidth();
        }

        CodeArea area(QStringLiteral("8\n8\n8\nimport os\n\tdef f(): return 1\nguard x\nplain"));
        area.resize(420, 240);
        area.show();
        const QImage grabbed = area.grab().toImage();
        const int codeLeft = area.codeRowRect(0).left();
        for (qsizetype k = 0; k < 3; ++k) {
            const QRect row = area.gutterRowRect(k);
            const auto gutterInk = inkRows(grabbed, row.left(), row.right() + 1, row.top(), row.bottom() + 1);
            QVERIFY(gutterInk.first >= 0);
            QCOMPARE(gutterInk, inkRows(grabbed, codeLeft, codeLeft + 20, row.top(), row.bottom() + 1));
        }
        // Composited over black, as the area's own fill is translucent, the
        // largest difference between two channels in a row's text shows its hue.
        QImage image(area.size(), QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter(&image).drawImage(0, 0, grabbed);
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
        QVERIFY(strongest(3, &QColor::red, &QColor::blue) > 100);   // pink import
        QVERIFY(strongest(4, &QColor::blue, &QColor::green) > 100); // purple definition
        QVERIFY(strongest(5, &QColor::red, &QColor::blue) > 150);   // orange control
        QVERIFY(strongest(6, &QColor::red, &QColor::blue) < 10);    // white plain
        QVERIFY(strongest(6, &QColor::blue, &QColor::red) < 10);
    }

    void farEndDrawn_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("sideways");
        QTest::addColumn<int>("width");

        QTest::newRow("200000 short lines") << QString(199999, u'\n') + QStringLiteral("let last = 1") << false << CodeArea::minimumContentWidth;
        QTest::newRow("3 MB line") << QString(3'000'000, u'a') + QStringLiteral("\nb") << true << 600;
    }

    // Scrolled to its far end, a huge snippet draws its last row, or the end
    // of its long line, inside the view; short lines never scroll sideways,
    // also beside a vertical bar.
    void farEndDrawn()
    {
        QFETCH(QString, code);
        QFETCH(bool, sideways);
        QFETCH(int, width);
        CodeArea area(code);
        area.resize(width, 380);
        area.show();
        QScrollBar *bar = sideways ? area.horizontalScrollBar() : area.verticalScrollBar();
        QVERIFY(!sideways || bar->maximum() > 3'000'000);
        QCOMPARE(area.horizontalScrollBar()->maximum() > 0, sideways);
        bar->setValue(bar->maximum());
        const auto [first, last] = area.visibleRows();
        QCOMPARE(last, area.lineCount() - 1);
        QVERIFY(last - first < 40);
        const QRect row = area.codeRowRect(sideways ? 0 : last);
        const int y = row.top() - area.verticalScrollBar()->value();
        QVERIFY(y + 18 <= area.viewport()->height());
        const QImage image = area.grab().toImage();
        QVERIFY(inkRows(image, sideways ? width / 2 : row.left(), width - 30, y, y + 18).first >= 0);
    }

    // The swatch is painted in the parsed colour; each button copies its
    // format as an ordinary copy, which the watcher captures.
    void colourPaneCopies()
    {
        PanelTest::StateRig f;
        f.store.copy(QStringLiteral("#1e90ff"));
        f.store.copy(QStringLiteral("hello"));
        QCoreApplication::processEvents(); // the state's turn to the new top
        const ClipItemPtr colour = f.items()[1];
        InspectorView inspector(f.state, f.services);
        inspector.resize(420, 460);
        static_cast<QWidget &>(inspector).show();
        f.state.setSelectedItemId(colour->id());
        QTRY_COMPARE(inspector.shownItem(), colour);
        const auto pane = [&] { return inspector.content()->findChild<ColorPane *>(); };
        QVERIFY(pane());
        QCOMPARE(pane()->valueLabel()->text(), QStringLiteral("#1E90FF"));
        const QImage image = pane()->grab().toImage();
        const QList<QWidget *> children = pane()->findChildren<QWidget *>();
        const auto swatch = std::find_if(children.begin(), children.end(),
                                         [](QWidget *w) { return w->size() == QSize(64, 64); });
        QVERIFY(swatch != children.end());
        QCOMPARE(image.pixelColor((*swatch)->mapTo(pane(), QPoint(32, 32))), QColor(0x1E, 0x90, 0xFF));

        QStringList labels;
        for (auto format : ColorValue::copyFormats())
            labels << pane()->copyButton(format)->text();
        QCOMPARE(labels, (QStringList{"HEX", "NSColor", "SwiftUI.Color"}));
        const auto click = [&](ColorValue::CopyFormat format) {
            QVERIFY(pane());
            QTest::mouseClick(pane()->copyButton(format), Qt::LeftButton);
        };

        // "HEX" copies the text as stored.
        click(ColorValue::CopyFormat::Hex);
        QCOMPARE(f.store.pasteboard->writes().last(), QStringLiteral("#1e90ff"));

        // The snippets are new text: a new item on top, which the inspector turns to.
        click(ColorValue::CopyFormat::SwiftUIColor);
        QCOMPARE(f.store.pasteboard->writes().last(), QStringLiteral("Color(hex: \"#1e90ff\")"));
        click(ColorValue::CopyFormat::NSColor);
        QCOMPARE(f.store.pasteboard->writes().last(), QStringLiteral("NSColor(hex: \"#1e90ff\")"));
        f.manager().checkForChanges();
        QCOMPARE(f.manager().items().size(), 3);
        QCOMPARE(f.manager().items().first()->rawContent(), QStringLiteral("NSColor(hex: \"#1e90ff\")"));
        QTRY_COMPARE(inspector.shownItem(), f.manager().items().first());
        QVERIFY(!pane());
    }

    void linkPane_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<int>("whole"); // the address: 1 all shown, 0 cut, -1 either

        QTest::newRow("port and user") << "http://u@sub.example.org:8080/x" << "sub.example.org" << true << 1;
        QTest::newRow("no host") << "mailto:someone@example.com" << "" << true << 1;
        QTest::newRow("relative is no address") << "example" << "" << false << 1;
        QTest::newRow("71 characters") << "https://developer.example.org/docs/clipboard/history?tab=overview#start"
                                       << "developer.example.org" << true << 1;
        QTest::newRow("130 characters") << QStringLiteral("https://example.com/") + QString(110, u'a')
                                        << "example.com" << true << 0;
        QTest::newRow("long address opened whole") << QStringLiteral("https://example.com/") + QString(3000, u'a')
                                                   << "example.com" << true << 0;
        const QString longHost = QStringLiteral("this-is-a-very-long-subdomain-name-for-testing.another-long-label-here."
                                                "example-domain.org");
        QTest::newRow("long host") << QStringLiteral("https://%1/p").arg(longHost) << longHost << true << -1;
        // Hosts as the user wrote them, whatever the registry: Qt's own list
        // leaves newer ones such as .рус in their ASCII form.
        QTest::newRow("Cyrillic host") << QStringLiteral("https://пример.рус/путь") << QStringLiteral("пример.рус") << true << 1;
        QTest::newRow("Cyrillic host in ASCII form") << "https://xn--e1afmkfd.xn--p1acf/" << QStringLiteral("пример.рус") << true << 1;
        QTest::newRow("German host") << QStringLiteral("https://bücher.de/") << QStringLiteral("bücher.de") << true << 1;
    }

    // In the inspector's column the host wraps and is never cut; the address
    // takes two lines at most, each drawn whole, then shows its cut. "Open in
    // Browser" opens the whole address, if it is one.
    void linkPane()
    {
        QFETCH(QString, raw);
        QFETCH(bool, opens);
        QFETCH(int, whole);
        Rig f;
        LinkPane pane(makeItem(raw, ClipContentType::Link), f.services, [] {});
        pane.resize(TavorindleView::panelWidth - TavorindleView::listWidth - 1 - 2 * 14, 400);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QCOMPARE(pane.addressLabel()->text(), raw);
        // Every line drawn whole: the label is tall enough for its lines.
        const auto lines = [](const ElidedTextLabel *label) { return label->displayedLines(label->width()); };
        const auto tallEnough = [](const ElidedTextLabel *label, qsizetype count) {
            return label->height() >= int(count) * label->fontMetrics().lineSpacing();
        };
        QTEST(pane.hostLabel() ? lines(pane.hostLabel()).join(QString()) : QString(), "host");
        QVERIFY(!pane.hostLabel() || tallEnough(pane.hostLabel(), lines(pane.hostLabel()).size()));
        // The address lines are the text, or its start and an ellipsis.
        const QStringList address = lines(pane.addressLabel());
        QVERIFY(address.size() <= 2 && tallEnough(pane.addressLabel(), address.size()));
        QString shown = address.join(QString());
        const bool cut = shown.endsWith(QChar(0x2026));
        shown.chop(cut ? 1 : 0);
        QVERIFY(raw.startsWith(shown));
        QCOMPARE(cut, shown != raw);
        if (whole >= 0)
            QCOMPARE(cut, whole == 0);

        QTest::mouseClick(pane.openButton(), Qt::LeftButton);
        QCOMPARE(f.opened, opens ? QList<QUrl>{QUrl(raw)} : QList<QUrl>());
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

    // Each kind gets its pane, an unknown kind the text pane.
    void paneByKind()
    {
        PanelTest::StateRig f;
        InspectorView inspector(f.state, f.services);
        const QString url = QStringLiteral("https://example.com");
        const auto paneFor = [&](const ClipItemPtr &item) { return std::unique_ptr<QWidget>(inspector.createPane(item)); };
        // "Copy Clean" copies the snippet trimmed (stored text from elsewhere may
        // end in a line feed), as an ordinary copy the watcher captures.
        const auto code = paneFor(storedItem(QStringLiteral("let a = 1\n"), "code", 1));
        QVERIFY(qobject_cast<CodePane *>(code.get()));
        code->show();
        QCOMPARE(static_cast<CodePane *>(code.get())->view()->badgeText(), QStringLiteral("CODE")); // no language
        QTest::mouseClick(static_cast<CodePane *>(code.get())->view()->copyCleanButton(), Qt::LeftButton);
        QCOMPARE(f.store.pasteboard->writes(), QStringList{QStringLiteral("let a = 1")});
        f.manager().checkForChanges();
        QCOMPARE(f.items().size(), 1);
        QCOMPARE(f.items().first()->rawContent(), QStringLiteral("let a = 1"));
        QVERIFY(qobject_cast<ColorPane *>(paneFor(storedItem(url, "color", 1)).get()));
        const auto text = paneFor(storedItem("two words", "image", 1));
        QVERIFY(qobject_cast<TextPane *>(text.get()));
        QCOMPARE(static_cast<TextPane *>(text.get())->statisticsLabel()->text(),
                 QString::fromUtf8("2 words • 9 characters"));

        // The link pane hands the item and the panel's own dismiss to the
        // paster, and neither opens nor copies.
        const ClipItemPtr item = storedItem(url, "link", 1);
        const auto link = paneFor(item);
        QVERIFY(qobject_cast<LinkPane *>(link.get()));
        link->show();
        QTest::mouseClick(static_cast<LinkPane *>(link.get())->pasteButton(), Qt::LeftButton);
        QCOMPARE(f.pasted, QList<ClipItemPtr>{item});
        QCOMPARE(f.dismissed, 1);
        QVERIFY(f.opened.isEmpty());
        QCOMPARE(f.store.pasteboard->writes().size(), 1); // only the clean copy
    }

    void codeFontIsMonospaced_data()
    {
        QTest::addColumn<QFont>("desktopFixedFont");
        QTest::addColumn<int>("weight");
        QTest::newRow("the desktop's fixed font") << QFontDatabase::systemFont(QFontDatabase::FixedFont) << int(QFont::Normal);
        QTest::newRow("a proportional font handed out") << QFont(QStringLiteral("DejaVu Sans")) << int(QFont::Normal);
        QTest::newRow("proportional, bold") << QFont(QStringLiteral("DejaVu Sans")) << int(QFont::Bold);
    }

    // Rows of narrow and of wide letters, drawn in the font the code view
    // would take: their ink ends within a pixel of each other.
    void codeFontIsMonospaced()
    {
        QFETCH(QFont, desktopFixedFont);
        QFETCH(int, weight);
        const QFont font = PanelFonts::monospacedFrom(desktopFixedFont, 12, QFont::Weight(weight));
        QCOMPARE(font.pixelSize(), 12);
        QImage image(260, 60, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter p(&image);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(QPoint(2, 16), QStringLiteral("iiiiiiiiiiii"));
            p.drawText(QPoint(2, 36), QStringLiteral("WWWWWWWWWWW."));
            p.drawText(QPoint(2, 56), QStringLiteral("111111111111"));
        }
        const auto inkEnd = [&](int top, int bottom) {
            int end = -1;
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qGray(image.pixel(x, y)) < 128)
                        end = std::max(end, x);
            return end;
        };
        const int narrow = inkEnd(0, 20), wide = inkEnd(20, 40), digits = inkEnd(40, 60);
        const int advance = QFontMetrics(font).horizontalAdvance(QLatin1Char('W'));
        QVERIFY2(std::abs(narrow - digits) < advance && std::abs(wide - digits) < 2 * advance,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(narrow).arg(wide).arg(digits)));
    }

    // Each paragraph is aligned by its own direction: a Hebrew one to the
    // right, a Latin one to the left, in the same box.
    void paragraphsAlignedByTheirDirection()
    {
        const QString text = QStringLiteral("Hello there\nשלום עולם\nplain again");
        TextPane pane(ClipItem::create(text, ClipContentType::Text, std::nullopt, 1), 1);
        pane.resize(400, 300);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QPlainTextEdit *box = pane.textBox();
        const QImage image = box->viewport()->grab().toImage();
        const QColor ground = image.pixelColor(image.width() / 2, image.height() - 4);
        const auto inkSpan = [&](int block) {
            const QRect r = box->cursorRect(QTextCursor(box->document()->findBlockByNumber(block)));
            int left = image.width(), right = -1;
            for (int y = int(r.top()); y < int(r.bottom()); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (std::abs(c.lightness() - ground.lightness()) > 60) {
                        left = std::min(left, x);
                        right = std::max(right, x);
                    }
                }
            return std::pair(left, right);
        };
        const int middle = image.width() / 2;
        QVERIFY(inkSpan(0).first < 20 && inkSpan(0).second < middle);
        QVERIFY(inkSpan(1).first > middle && inkSpan(1).second > image.width() - 30);
        QVERIFY(inkSpan(2).first < 20 && inkSpan(2).second < middle);
    }

    // A 5 MB line, then lines far longer than a block, short lines, CR LF
    // pairs and pairs of surrogates everywhere: the box lays out what is in
    // view (and, while the text goes in, the last screen of each step), never
    // the whole text, and the copy is the original however it was cut.
    void longTextLaidOutInViewAndCopiedUnaltered()
    {
        const QString emoji = QStringLiteral("\U0001F600");
        QString text = QString(5 * 1024 * 1024, QLatin1Char('w')) + QLatin1Char('\n')
                       + (emoji + QStringLiteral("abc")).repeated(30000) + QLatin1Char('\n');
        for (int i = 0; i < 5000; ++i)
            text += QStringLiteral("line %1 %2\r\n").arg(i).arg(emoji);

        TextPane pane(ClipItem::create(text, ClipContentType::Text, std::nullopt, 8e8), 8e8);
        pane.resize(400, 300);
        pane.show();
        QSignalSpy loaded(&pane, &TextPane::loaded);
        QVERIFY(loaded.wait(20000));
        QPlainTextEdit *box = pane.textBox();
        for (qreal at : {0.0, 0.5, 1.0}) {
            box->verticalScrollBar()->setValue(int(box->verticalScrollBar()->maximum() * at));
            box->viewport()->grab();
            qsizetype laidOut = 0;
            for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next())
                laidOut += block.layout()->lineCount() > 0 ? block.length() : 0;
            QVERIFY2(laidOut < text.size() / 32, qPrintable(QString::number(laidOut)));
        }
        box->selectAll();
        box->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
    }
};

QTEST_MAIN(TestInspectorPanes)
#include "tst_item_panes.moc"
