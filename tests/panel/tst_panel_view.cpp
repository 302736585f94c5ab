#include "filter_chip.h"
#include "history_list_model.h"
#include "history_list_view.h"
#include "history_row_delegate.h"
#include "inspector_view.h"
#include "memory/memory_pasteboard.h"
#include "named_colors.h"
#include "options_button.h"
#include "panel_notifications.h"
#include "panel_test_support.h"
#include "panel_view.h"
#include "row_highlight.h"
#include "search_field.h"
#include "text_pane.h"
#include "empty_state_view.h"
#include "top_bar.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
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

// Pixels in rect that stand out from the background colour.
int inkPixels(const QImage &image, const QRect &rect, const QColor &background)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.rect().contains(x, y) && !near(image.pixelColor(x, y), background, 50))
                ++n;
    return n;
}

// A shown panel over a store of chosen items.
struct Panel
{
    explicit Panel(const QList<ClipItemPtr> &items)
    {
        fillStore(fixture, items);
        view = std::make_unique<TavorindleView>(
            PanelServices{*fixture.manager, *fixture.pasteboard, notifications, recorder.handler(),
                          [this](const QUrl &url) { opened.append(url); }, [this] { ++quits; }},
            recorder.onDismiss());
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

QList<ClipItemPtr> rowsOfText(int count, int pinnedEvery = 0)
{
    QList<ClipItemPtr> items;
    for (int i = 0; i < count; ++i)
        items.append(storedItem(QStringLiteral("row %1 text").arg(i), "text", 100000 - i,
                                pinnedEvery > 0 && i % pinnedEvery == pinnedEvery - 1));
    return items;
}

} // namespace

class TestPanelView : public QObject
{
    Q_OBJECT

private slots:
    void layoutSizes();
    void searchFieldAndClearButton();
    void chips();
    void optionsMenu();
    void firstShowResets();
    void activeRowPainting();
    void pinVisibility();
    void numbersStopAtNine();
    void clickPastesAndPinToggles();
    void contextMenuActions();
    void selectionScrollsToCentre();
    void inspectorFollowsActiveItem();
    void inspectorPaneByType_data();
    void inspectorPaneByType();
    void textPaneStatistics();
    void longTextLoadsWholeAndCopiesUnaltered();
};

void TestPanelView::layoutSizes()
{
    Panel panel(rowsOfText(3));
    QCOMPARE(panel.view->size(), QSize(720, 460));
    for (const QString &search : {QString(), QStringLiteral("row 1"), QStringLiteral("none at all")}) {
        panel.state().setSearchText(search);
        panel.settle();
        QCOMPARE(panel.list()->width(), 290);
        QCOMPARE(panel.view->inspector()->width(), 720 - 290 - 1);
        QCOMPARE(panel.view->inspector()->geometry().right(), 719);
    }
}

void TestPanelView::searchFieldAndClearButton()
{
    Panel panel(rowsOfText(3));
    SearchField *field = panel.view->topBar()->searchField();
    QCOMPARE(field->lineEdit()->placeholderText(), QStringLiteral("Search snippets, links, code..."));
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
}

void TestPanelView::chips()
{
    Panel panel(rowsOfText(3));
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
        QCOMPARE(chip->text(), rawValue(category));
        QCOMPARE(chip->isSelectedChip(), category == FilterCategory::Code);
        QCOMPARE(near(chipColourAtCentreLeft(chip), panel.accent()), category == FilterCategory::Code);
    }
}

void TestPanelView::optionsMenu()
{
    QList<ClipItemPtr> items = rowsOfText(5, 2); // rows 1 and 3 pinned
    Panel panel(items);
    OptionsButton *button = panel.view->topBar()->optionsButton();
    QCOMPARE(button->size(), QSize(26, 26));
    QCOMPARE(button->toolTip(), QStringLiteral("Tavorindle Options"));
    QList<QAction *> actions = button->optionsMenu()->actions();
    QStringList titles;
    for (QAction *action : actions)
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(titles, (QStringList{"Clear Unpinned History", "-", "Website & Documentation", "-",
                                  "Quit Tavorindle"}));
    for (QAction *action : actions)
        QVERIFY(action->isSeparator() || !action->icon().isNull());

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

void TestPanelView::firstShowResets()
{
    StoreFixture fixture;
    fillStore(fixture, rowsOfText(3));
    PanelNotifications notifications;
    TavorindleView view(PanelServices{*fixture.manager, *fixture.pasteboard, notifications, {}, {}, {}},
                        {});
    view.state().setSearchText(QStringLiteral("row 2"));
    view.state().setSelectedFilter(FilterCategory::Pinned);
    view.show();
    QCOMPARE(view.state().searchText(), QString());
    QCOMPARE(view.state().selectedFilter(), FilterCategory::All);
    QCOMPARE(view.state().selectedItemId(), fixture.manager->items().first()->id());
    QVERIFY(view.onDismiss()); // a default that does nothing, never empty
}

void TestPanelView::activeRowPainting()
{
    Panel panel(rowsOfText(8));
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

void TestPanelView::pinVisibility()
{
    QList<ClipItemPtr> items = rowsOfText(4);
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

void TestPanelView::numbersStopAtNine()
{
    Panel panel(rowsOfText(12));
    const QImage image = panel.grabList();
    const auto numberInk = [&](int row) {
        const QRect r = panel.list()->rowRectFor(panel.rows()[row]->id());
        const QRect number(r.left() + HistoryRowDelegate::paddingX, r.top() + 3,
                           HistoryRowDelegate::numberWidth, r.height() - 6);
        return inkPixels(image, number, image.pixelColor(r.left() + 2, r.center().y()));
    };
    QVERIFY(numberInk(8) > 0);
    QCOMPARE(numberInk(9), 0);
    QCOMPARE(numberInk(10), 0);
    // Titles line up whether or not a number is shown.
    const auto titleLeft = [&](int row) {
        const QRect r = panel.list()->rowRectFor(panel.rows()[row]->id());
        for (int x = r.left() + 40; x < r.right(); ++x)
            for (int y = r.top(); y <= r.bottom(); ++y)
                if (image.pixelColor(x, y).lightness() < 90)
                    return x;
        return -1;
    };
    QVERIFY(titleLeft(8) > 0);
    QCOMPARE(titleLeft(9), titleLeft(8));
}

void TestPanelView::clickPastesAndPinToggles()
{
    Panel panel(rowsOfText(4));
    const ClipItemPtr third = panel.rows()[2];
    panel.hover(panel.rowCentre(2));
    QTest::mouseClick(panel.list()->viewport(), Qt::LeftButton, {}, panel.pinRect(2).center());
    QVERIFY(third->isPinned());
    QVERIFY(panel.recorder.pasted.isEmpty());
    QCOMPARE(panel.rows().first(), third); // moved up among the pinned rows at once

    const ClipItemPtr second = panel.rows()[1];
    QTest::mouseClick(panel.list()->viewport(), Qt::LeftButton, {}, panel.rowCentre(1));
    QCOMPARE(panel.recorder.pasted, QList<ClipItemPtr>{second});
    QCOMPARE(panel.recorder.dismissed, 1);
    QCOMPARE(panel.state().selectedItemId(), second->id());
}

void TestPanelView::contextMenuActions()
{
    Panel panel(rowsOfText(3));
    const ClipItemPtr item = panel.rows()[1];
    std::unique_ptr<QMenu> menu(panel.list()->createContextMenu(item, nullptr));
    QStringList titles;
    for (QAction *action : menu->actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(titles, (QStringList{"Paste", "Pin Snippet", "Copy to Clipboard", "-", "Delete"}));

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

void TestPanelView::selectionScrollsToCentre()
{
    Panel panel(rowsOfText(80));
    QScrollBar *bar = panel.list()->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    const int viewportCentre = panel.list()->viewport()->height() / 2;
    for (int i = 0; i < 40; ++i)
        emit panel.notifications.tavorindleNavigateDown();
    const QRect row = panel.list()->rowRectFor(panel.rows()[40]->id());
    QVERIFY2(std::abs(row.center().y() - viewportCentre) <= row.height(),
             qPrintable(QStringLiteral("row centre %1, viewport centre %2").arg(row.center().y()).arg(viewportCentre)));

    panel.state().setSelectedItemId(panel.rows().last()->id());
    QCOMPARE(bar->value(), bar->maximum());
    panel.state().setSelectedItemId(panel.rows().first()->id());
    QCOMPARE(bar->value(), 0);
}

void TestPanelView::inspectorFollowsActiveItem()
{
    Panel panel(rowsOfText(5));
    InspectorView *inspector = panel.view->inspector();
    QCOMPARE(inspector->shownItem(), panel.rows()[0]);
    const int builds = inspector->buildCount();

    // Moving within one row, or over it again, does not rebuild the pane.
    const QPoint centre = panel.rowCentre(2);
    panel.hover(centre);
    panel.settle();
    QCOMPARE(inspector->shownItem(), panel.rows()[2]);
    QCOMPARE(inspector->buildCount(), builds + 1);
    panel.hover(centre + QPoint(30, 2));
    panel.state().setSelectedItemId(panel.rows()[4]->id());
    panel.settle();
    QCOMPARE(inspector->buildCount(), builds + 1);

    // A search with no match shows the empty state.
    panel.state().setSearchText(QStringLiteral("no such text"));
    panel.settle();
    QVERIFY(!inspector->shownItem());
    auto *empty = qobject_cast<EmptyStateView *>(inspector->content());
    QVERIFY(empty);
    QCOMPARE(empty->messageLabel()->text(), QStringLiteral("No Clips Found"));

    // The first capture after that shows a pane again.
    panel.state().setSearchText(QString());
    panel.fixture.copy(QStringLiteral("fresh capture"));
    panel.settle();
    QCOMPARE(inspector->shownItem()->rawContent(), QStringLiteral("row 2 text")); // still hovered
    panel.hover(QPoint(2, panel.list()->viewport()->height() - 2));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(panel.list(), &leave);
    panel.settle();
    QCOMPARE(inspector->shownItem()->rawContent(), QStringLiteral("fresh capture"));
}

void TestPanelView::inspectorPaneByType_data()
{
    QTest::addColumn<QString>("typeRaw");
    QTest::addColumn<bool>("textPane");
    QTest::newRow("text") << "text" << true;
    QTest::newRow("unknown") << "widget" << true;
    QTest::newRow("upper-case raw value is unknown") << "Code" << true;
}

void TestPanelView::inspectorPaneByType()
{
    QFETCH(QString, typeRaw);
    QFETCH(bool, textPane);
    Panel panel({storedItem(QStringLiteral("some words here"), typeRaw, 5000)});
    QWidget *content = panel.view->inspector()->content();
    QVERIFY(content);
    QCOMPARE(content->findChild<TextPane *>() != nullptr, textPane);
}

void TestPanelView::textPaneStatistics()
{
    QCOMPARE(TextPane::statisticsText(0, 5), QStringLiteral("0 words \u2022 5 characters"));
    QCOMPARE(TextPane::statisticsText(1, 4), QStringLiteral("1 words \u2022 4 characters"));

    StoreFixture fixture;
    fixture.clock.set(800000000);
    fillStore(fixture, {storedItem(QStringLiteral("   \t"), "text", 800000000 - 300)});
    const ClipItemPtr item = fixture.manager->items().first();
    TextPane pane(item, fixture.clock.now());
    QCOMPARE(pane.textBox()->toPlainText(), item->rawContent());
    QVERIFY(pane.textBox()->isReadOnly());
    QVERIFY(pane.textBox()->textInteractionFlags() & Qt::TextSelectableByMouse);
    QCOMPARE(pane.statisticsLabel()->text(), TextPane::statisticsText(item->wordCount(), item->charCount()));
    QVERIFY(!pane.timeLabel()->text().isEmpty());
}

void TestPanelView::longTextLoadsWholeAndCopiesUnaltered()
{
    // Lines far longer than a slice, short lines, and pairs of surrogates
    // everywhere, so that slices are cut in every way.
    QString text;
    const QString emoji = QStringLiteral("\U0001F600");
    for (int i = 0; i < 30000; ++i)
        text += emoji + QStringLiteral("abc");
    text += QLatin1Char('\n');
    for (int i = 0; i < 5000; ++i)
        text += QStringLiteral("line %1 %2\n").arg(i).arg(emoji);
    text += QString(100000, QLatin1Char('z'));
    const ClipItemPtr item = ClipItem::create(text, ClipContentType::Text, std::nullopt, 800000000.0);

    TextPane pane(item, 800000000.0);
    pane.resize(400, 300);
    pane.show();
    QSignalSpy loaded(&pane, &TextPane::loaded);
    QVERIFY(loaded.wait(20000));
    pane.textBox()->selectAll();
    pane.textBox()->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), text);

    // Part of a long line: the copy holds no added break.
    QTextCursor cursor = pane.textBox()->textCursor();
    cursor.setPosition(40000);
    cursor.setPosition(90000, QTextCursor::KeepAnchor);
    pane.textBox()->setTextCursor(cursor);
    pane.textBox()->copy();
    const QString part = QGuiApplication::clipboard()->text();
    QVERIFY(!part.contains(QLatin1Char('\n')));
    QVERIFY(text.contains(part));
    QVERIFY(part.size() >= 49990);
}

QTEST_MAIN(TestPanelView)
#include "tst_panel_view.moc"
