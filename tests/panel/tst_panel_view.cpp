#include "top_bar/filter_chip.h"
#include "list/history_list_model.h"
#include "list/history_list_view.h"
#include "list/history_row_delegate.h"
#include "inspector/inspector_view.h"
#include "memory/memory_pasteboard.h"
#include "style/named_colors.h"
#include "top_bar/options_button.h"
#include "panel_notifications.h"
#include "panel_test_support.h"
#include "panel_view.h"
#include "list/row_highlight.h"
#include "top_bar/search_field.h"
#include "inspector/relative_time.h"
#include "inspector/text_pane.h"
#include "inspector/empty_state_view.h"
#include "top_bar/top_bar.h"
#include "style/panel_menu.h"

#include <QAction>
#include <QClipboard>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

using namespace PanelTest;
using TestSupport::StoreFixture;

namespace {

bool near(const QColor &a, const QColor &b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// Counts pixels in rect that are close to color.
int countNear(const QImage &image, const QRect &rect, const QColor &color, int tolerance = 40)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.rect().contains(x, y) && near(image.pixelColor(x, y), color, tolerance))
                ++n;
    return n;
}

// Pixels in rect (inside the image) that stand out from the background.
int inkPixels(const QImage &image, const QRect &rect, const QColor &background)
{
    return rect.width() * rect.height() - countNear(image, rect, background, 50);
}

// The entries as drawn: mnemonic markers resolved ("&&" shows "&", a lone
// "&" marks the next letter and is not shown).
QStringList titlesOf(QMenu &menu)
{
    QStringList titles;
    for (const QAction *action : menu.actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->iconText());
    return titles;
}

// Pixels of a menu entry: its icon column, and the rest.
QImage entryImage(QMenu &menu, int entry)
{
    const QRect rect = menu.actionGeometry(menu.actions().at(entry));
    return menu.grab(rect).toImage();
}

// A shown panel over a store of chosen items; beforeShow may change the
// state of the panel not yet shown.
struct Panel
{
    explicit Panel(const QList<ClipItemPtr> &items,
                   const std::function<void(PanelState &)> &beforeShow = {})
    {
        fillStore(fixture, items);
        view = std::make_unique<TavorindleView>(
            PanelServices{*fixture.manager, *fixture.pasteboard, notifications, recorder.handler(),
                          [this](const QUrl &url) { opened.append(url); }, [this] { ++quits; }},
            recorder.onDismiss());
        if (beforeShow)
            beforeShow(view->state());
        QCursor::setPos(5000, 5000); // off the panel until a test moves it
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        settle();
    }
    // Runs queued refreshes and lets highlight fades finish.
    void settle() const { QTest::qWait(RowHighlight::durationMs + 60); }
    PanelState &state() const { return view->state(); }
    HistoryListView *list() const { return view->historyList(); }
    QList<ClipItemPtr> rows() const { return state().filteredItems(); }
    QImage grabList() const { return list()->viewport()->grab().toImage(); }
    QPoint rowCentre(int row) const { return list()->rowRectFor(rows()[row]->id()).center(); }
    QRect pinRect(int row) const
    {
        return HistoryRowDelegate::pinRect(list()->rowRectFor(rows()[row]->id()));
    }
    // Offscreen, synthetic enter and leave events follow QCursor, so the
    // cursor moves along with the event.
    void hover(const QPoint &pos) const
    {
        QWidget *viewport = list()->viewport();
        QCursor::setPos(viewport->mapToGlobal(pos));
        QMouseEvent move(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
    }
    QColor accent() const { return NamedColors::accent(list()->palette()); }

    StoreFixture fixture;
    PanelNotifications notifications;
    PasteRecorder recorder;
    QList<QUrl> opened;
    int quits = 0;
    std::unique_ptr<TavorindleView> view;
};

} // namespace

class TestPanelView : public QObject
{
    Q_OBJECT

private slots:
    void searchFieldClearButtonAndChips()
    {
        Panel panel(textRows(3));
        SearchField *field = panel.view->topBar()->searchField();
        QVERIFY(!field->clearButton()->isVisible());

        QTest::keyClicks(field->lineEdit(), QStringLiteral("row 2"));
        QCOMPARE(panel.state().searchText(), QStringLiteral("row 2"));
        QVERIFY(field->clearButton()->isVisible());
        QCOMPARE(panel.rows().size(), 1);

        QTest::mouseClick(field->clearButton(), Qt::LeftButton);
        QCOMPARE(panel.state().searchText(), QString());
        QCOMPARE(field->text(), QString());
        QVERIFY(!field->clearButton()->isVisible());

        // A reset from the shell empties the field too.
        QTest::keyClicks(field->lineEdit(), QStringLiteral("x"));
        emit panel.notifications.tavorindleWindowWillShow();
        QCOMPARE(field->text(), QString());
        QVERIFY(!field->clearButton()->isVisible());

        // Chips: choosing one clears the hover; choosing it again does not toggle it off.
        TopBar *bar = panel.view->topBar();
        const auto chipColourAtCentreLeft = [](FilterChip *chip) {
            return chip->grab().toImage().pixelColor(2, chip->height() / 2);
        };
        QVERIFY(bar->chip(FilterCategory::All)->isSelectedChip());

        panel.state().setHoveredItemId(panel.rows()[1]->id());
        QTest::mouseClick(bar->chip(FilterCategory::Code), Qt::LeftButton);
        QCOMPARE(panel.state().selectedFilter(), FilterCategory::Code);
        QCOMPARE(panel.state().hoveredItemId(), std::nullopt);
        QTest::mouseClick(bar->chip(FilterCategory::Code), Qt::LeftButton);
        QCOMPARE(panel.state().selectedFilter(), FilterCategory::Code); // no toggling off
        for (FilterCategory category : allFilterCategories) {
            FilterChip *chip = bar->chip(category);
            QCOMPARE(chip->isSelectedChip(), category == FilterCategory::Code);
            QCOMPARE(near(chipColourAtCentreLeft(chip), panel.accent()), category == FilterCategory::Code);
        }
    }

    void optionsMenu()
    {
        Panel panel(textRows(5, 2)); // rows 1 and 3 pinned
        QMenu *menu = panel.view->topBar()->optionsButton()->optionsMenu();
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(titlesOf(*menu), (QStringList{"Clear Unpinned History", "-", "Website & Documentation", "-",
                                      "Quit Tavorindle"}));

        actions[2]->trigger();
        QCOMPARE(panel.opened, QList<QUrl>{productWebsite()});
        actions[4]->trigger();
        QCOMPARE(panel.quits, 1);
        actions[0]->trigger();
        QCOMPARE(panel.fixture.manager->items().size(), 2);
        for (const ClipItemPtr &item : panel.fixture.manager->items())
            QVERIFY(item->isPinned());
        panel.settle();
        QCOMPARE(panel.list()->model()->rowCount(), 2);
    }

    void menuLook_data()
    {
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QColor>("text");

        QTest::newRow("light desktop") << QColor(246, 246, 246) << QColor(20, 20, 20);
        QTest::newRow("dark desktop") << QColor(40, 40, 44) << QColor(235, 235, 235);
    }

    // Menus follow the desktop's theme, not the dark panel: their icons must
    // still show, and "Delete" reads as destructive.
    void menuLook()
    {
        QFETCH(QColor, background);
        QFETCH(QColor, text);
        Panel panel(textRows(2));
        std::unique_ptr<PanelMenu> menu(panel.list()->createContextMenu(panel.rows()[0], nullptr));
        QPalette palette(text, background);
        palette.setColor(QPalette::Text, text);
        menu->setPalette(palette);
        menu->popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(menu.get()));

        const QImage paste = entryImage(*menu, 0);
        const QRect iconColumn(0, 0, paste.height() + 4, paste.height());
        QVERIFY(countNear(paste, iconColumn, text, 60) > 8);
        const QColor red(230, 30, 40);
        QCOMPARE(countNear(paste, paste.rect(), red, 60), 0);
        const QImage remove = entryImage(*menu, 4);
        QVERIFY(countNear(remove, iconColumn, red, 60) > 8);
        QVERIFY(countNear(remove, remove.rect().adjusted(iconColumn.width(), 0, 0, 0), red, 60) > 8);
        menu->close();
    }

    void firstShowResets()
    {
        Panel panel(textRows(3), [](PanelState &state) {
            state.setSearchText(QStringLiteral("row 2"));
            state.setSelectedFilter(FilterCategory::Pinned);
        });
        QCOMPARE(panel.state().searchText(), QString());
        QCOMPARE(panel.view->topBar()->searchField()->text(), QString());
        QCOMPARE(panel.state().selectedFilter(), FilterCategory::All);
        QCOMPARE(panel.state().selectedItemId(), panel.fixture.manager->items().first()->id());
    }

    void activeRowPainting()
    {
        Panel panel(textRows(12));
        // Quick-paste numbers on rows 1 to 9 only: further rows start with
        // their type symbol, in line with the symbols above.
        const auto firstInk = [&](int row) {
            const QImage image = panel.grabList();
            const QRect r = panel.list()->rowRectFor(panel.rows()[row]->id());
            const QColor ground = image.pixelColor(r.left() + 2, r.center().y());
            for (int x = r.left(); x <= r.right(); ++x)
                if (inkPixels(image, QRect(x, r.top(), 1, r.height()), ground) > 0)
                    return x;
            return -1;
        };
        QVERIFY(firstInk(8) >= 0);
        QVERIFY(firstInk(8) < firstInk(9));
        QCOMPARE(firstInk(9), firstInk(10));

        panel.state().setSelectedItemId(panel.rows()[1]->id());
        panel.hover(panel.rowCentre(3));
        panel.settle();
        QCOMPARE(panel.state().hoveredItemId(), panel.rows()[3]->id());
        QCOMPARE(panel.view->inspector()->shownItem(), panel.rows()[3]);

        // Look at the row's left padding, where only the background shows.
        const auto background = [&](int row) {
            const QRect r = panel.list()->rowRectFor(panel.rows()[row]->id());
            return panel.grabList().pixelColor(r.left() + 4, r.center().y());
        };
        QVERIFY(near(background(3), panel.accent()));
        QVERIFY(!near(background(1), panel.accent()));

        // Pointer leaves: the highlight returns to the selected row.
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(panel.list(), &leave);
        panel.settle();
        QCOMPARE(panel.state().hoveredItemId(), std::nullopt);
        QVERIFY(near(background(1), panel.accent()));
        QVERIFY(!near(background(3), panel.accent()));

        // A selection hidden by the search highlights nothing.
        panel.state().setSearchText(QStringLiteral("row"));
        panel.state().setSelectedItemId(QUuid::createUuid());
        panel.settle();
        for (int row = 0; row < 4; ++row)
            QVERIFY(!near(background(row), panel.accent()));
    }

    void pinVisibility()
    {
        QList<ClipItemPtr> items = textRows(4);
        items[2] = storedItem(QStringLiteral("pinned one"), "text", 200000, true); // listed first
        Panel panel(items);
        QVERIFY(panel.rows()[0]->isPinned());
        panel.state().setSelectedItemId(panel.rows()[3]->id());
        panel.settle();

        const QColor orange = NamedColors::orange();
        const QColor white(Qt::white);
        QImage image = panel.grabList();
        QVERIFY(countNear(image, panel.pinRect(0), orange) > 3);      // pinned, inactive: orange
        const QColor plain = image.pixelColor(panel.pinRect(1).topLeft());
        QCOMPARE(inkPixels(image, panel.pinRect(1), plain), 0);        // unpinned, inactive: hidden
        QVERIFY(countNear(image, panel.pinRect(3), white, 70) > 3);    // unpinned, active: light pin

        panel.hover(panel.rowCentre(0));
        panel.settle();
        image = panel.grabList();
        QCOMPARE(countNear(image, panel.pinRect(0), orange), 0); // pinned, active: white
        QVERIFY(countNear(image, panel.pinRect(0), white, 30) > 3);
    }

    void clickPastesAndPinToggles()
    {
        Panel panel(textRows(4));
        const ClipItemPtr third = panel.rows()[2];
        panel.hover(panel.rowCentre(2));
        QTest::mouseClick(panel.list()->viewport(), Qt::LeftButton, {}, panel.pinRect(2).center());
        QVERIFY(third->isPinned());
        QVERIFY(panel.recorder.pasted.isEmpty());
        QCOMPARE(panel.rows().first(), third); // moved up among the pinned rows at once

        // The pointer has not moved: the hover, the highlight and the pane
        // follow the row now under it, and Return pastes that row.
        const ClipItemPtr underPointer = panel.rows()[2];
        QTRY_COMPARE(panel.state().hoveredItemId(), underPointer->id());
        panel.settle();
        QCOMPARE(panel.view->inspector()->shownItem(), underPointer);
        emit panel.notifications.tavorindlePasteSelected();
        QCOMPARE(panel.recorder.pasted, QList<ClipItemPtr>{underPointer});

        const ClipItemPtr second = panel.rows()[1];
        QTest::mouseClick(panel.list()->viewport(), Qt::LeftButton, {}, panel.rowCentre(1));
        QCOMPARE(panel.recorder.pasted.last(), second);
        QCOMPARE(panel.recorder.dismissed, 2);
        QCOMPARE(panel.state().selectedItemId(), second->id());
    }

    void rowTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("rightToLeft");
        QTest::addColumn<bool>("cut");

        const QString hebrew = QString::fromUtf8("שלום עולם, זוהי כותרת ארוכה מאוד שצריכה להיחתך בצד הנכון");
        QTest::newRow("latin, long") << QString(80, u'x') << false << true;
        QTest::newRow("hebrew, long") << hebrew << true << true;
        QTest::newRow("hebrew, short") << QString::fromUtf8("שלום") << true << false;
        QTest::newRow("digits first, hebrew") << QStringLiteral("42 ") + hebrew << true << true;
        QTest::newRow("tabs") << QStringLiteral("one\ttwo\tthree") << false << false;
    }

    // The row keeps the logical start and cuts the logical end, drawn in
    // the text's own direction; tabs never stop the line.
    void rowTitle()
    {
        QFETCH(QString, title);
        QFETCH(bool, rightToLeft);
        QFETCH(bool, cut);
        const QFontMetrics metrics(QFont(QStringLiteral("DejaVu Sans"), 12));
        const auto shown = HistoryRowDelegate::shownTitle(title, metrics, 200);
        QCOMPARE(shown.direction, rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        QCOMPARE(shown.text.endsWith(QChar(0x2026)), cut);
        QVERIFY(!shown.text.contains(u'\t'));
        QVERIFY(shown.text.startsWith(title.left(3)));
    }

    void contextMenuActions()
    {
        Panel panel(textRows(3));
        const ClipItemPtr item = panel.rows()[1];
        std::unique_ptr<QMenu> menu(panel.list()->createContextMenu(item, nullptr));
        QCOMPARE(titlesOf(*menu), (QStringList{"Paste", "Pin Snippet", "Copy to Clipboard", "-", "Delete"}));

        menu->actions()[2]->trigger();
        QCOMPARE(panel.fixture.pasteboard->writes(), QStringList{item->rawContent()});
        QVERIFY(panel.recorder.pasted.isEmpty());

        panel.state().setSelectedItemId(panel.rows()[2]->id());
        menu->actions()[0]->trigger();
        QCOMPARE(panel.recorder.pasted, QList<ClipItemPtr>{item});
        QCOMPARE(panel.state().selectedItemId(), panel.rows()[2]->id()); // selection unchanged

        menu->actions()[1]->trigger();
        QVERIFY(item->isPinned());
        std::unique_ptr<QMenu> again(panel.list()->createContextMenu(item, nullptr));
        QCOMPARE(again->actions()[1]->text(), QStringLiteral("Unpin Snippet"));

        again->actions()[4]->trigger();
        panel.settle();
        QCOMPARE(panel.fixture.manager->items().size(), 2);
        QCOMPARE(panel.list()->historyModel()->rowOf(item->id()), -1);
    }

    void selectionScrollsToCentre()
    {
        Panel panel(textRows(80));
        QScrollBar *bar = panel.list()->verticalScrollBar();
        const int viewportCentre = panel.list()->viewport()->height() / 2;
        const auto offCentre = [&](int row) {
            return std::abs(panel.list()->rowRectFor(panel.rows()[row]->id()).center().y() - viewportCentre);
        };
        // Held keys: each step finishes the one before, so the list is never
        // more than a row behind the selection, and ends with it centred.
        for (int i = 0; i < 40; ++i)
            emit panel.notifications.tavorindleNavigateDown();
        const int pitch = panel.list()->rowRectFor(panel.rows()[40]->id()).height() + 2;
        QVERIFY(offCentre(40) <= pitch);
        QTRY_COMPARE_WITH_TIMEOUT(offCentre(40) <= 1, true, 1000);

        // A far jump is eased, not a cut, and stops at the list's end.
        panel.state().setSelectedItemId(panel.rows().last()->id());
        QVERIFY(bar->value() < bar->maximum());
        QTRY_COMPARE(bar->value(), bar->maximum());
        panel.state().setSelectedItemId(panel.rows().first()->id());
        QTRY_COMPARE(bar->value(), 0);
    }

    void inspectorFollowsActiveItem()
    {
        Panel panel(textRows(5));
        InspectorView *inspector = panel.view->inspector();
        QCOMPARE(inspector->shownItem(), panel.rows()[0]);
        const int builds = inspector->buildCount();

        // The same item drawn again after a re-copy keeps its pane and reads
        // its age anew.
        panel.fixture.clock.advance(3600);
        panel.fixture.copy(panel.rows()[0]->rawContent());
        panel.settle();
        QCOMPARE(inspector->buildCount(), builds);
        auto *pane = inspector->content()->findChild<TextPane *>();
        QVERIFY(pane);
        QCOMPARE(pane->timeLabel()->text(), relativeTimeText(0, 0));

        // Another item cross-fades in: never two panes at full opacity.
        const auto opacity = [](QWidget *widget) {
            if (!widget)
                return 0.0;
            auto *effect = qobject_cast<QGraphicsOpacityEffect *>(widget->graphicsEffect());
            return effect ? effect->opacity() : 1.0;
        };
        panel.hover(panel.rowCentre(2));
        QTRY_VERIFY(inspector->leavingContent());
        while (inspector->leavingContent()) {
            QVERIFY(opacity(inspector->content()) + opacity(inspector->leavingContent()) <= 1.001);
            QTest::qWait(10);
        }
        QCOMPARE(opacity(inspector->content()), 1.0);
        QCOMPARE(inspector->shownItem(), panel.rows()[2]);
        QCOMPARE(inspector->buildCount(), builds + 1);


        // A search with no match fades to the empty state.
        panel.state().setSearchText(QStringLiteral("no such text"));
        QTRY_VERIFY(qobject_cast<EmptyStateView *>(inspector->content()) && inspector->leavingContent());
        QCOMPARE(static_cast<EmptyStateView *>(inspector->content())->messageLabel()->text(),
                 QStringLiteral("No Clips Found"));

        // Copies while the panel is hidden build nothing; it opens on the
        // newest item at once, with no fade from what it last showed.
        panel.view->hide();
        const int hiddenBuilds = inspector->buildCount();
        panel.fixture.copy(QStringLiteral("one"));
        QTest::qWait(20);
        QCOMPARE(inspector->buildCount(), hiddenBuilds);
        panel.fixture.copy(QStringLiteral("two"));
        panel.fixture.copy(QStringLiteral("three"));
        emit panel.notifications.tavorindleWindowWillShow(); // then shown at once, as the shell does
        panel.view->show();
        QCOMPARE(inspector->buildCount(), hiddenBuilds + 1);
        QCOMPARE(inspector->shownItem()->rawContent(), QStringLiteral("three"));
        QVERIFY(!inspector->leavingContent());
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

QTEST_MAIN(TestPanelView)
#include "tst_panel_view.moc"
