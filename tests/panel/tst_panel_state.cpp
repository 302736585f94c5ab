#include "panel_notifications.h"
#include "panel_state.h"
#include "panel_test_support.h"

#include <QSignalSpy>
#include <QTest>

using namespace PanelTest;
using TestSupport::StoreFixture;

namespace {

// Letters name the items of the sample history; lists of them are compact
// expectations.
struct Sample
{
    QList<ClipItemPtr> items;
    QHash<QUuid, QString> letter;

    void add(const QString &name, ClipItemPtr item)
    {
        letter.insert(item->id(), name);
        items.append(std::move(item));
    }
    QString letters(const QList<ClipItemPtr> &list) const
    {
        QString out;
        for (const ClipItemPtr &item : list)
            out += letter.value(item->id(), QStringLiteral("?"));
        return out;
    }
    ClipItemPtr byLetter(const QString &name) const
    {
        for (const ClipItemPtr &item : items)
            if (letter.value(item->id()) == name)
                return item;
        return nullptr;
    }
};

// In store order (the store's own order is irrelevant to the display
// order except between equal timestamps).
Sample sampleHistory()
{
    Sample s;
    s.add("A", storedItem("let x = 1", "code", 100, false, QStringLiteral("Swift")));
    s.add("B", storedItem("https://example.com/Path", "link", 200));
    s.add("C", storedItem("Hello World", "text", 300));
    s.add("D", storedItem("#FF0000", "color", 400));
    s.add("E", storedItem("mystery stuff", "widget", 500));
    s.add("F", storedItem("\nsecond line only", "text", 600, true));
    s.add("G", storedItem("fn main() {}", "code", 50, true, QStringLiteral("Rust")));
    return s;
}

} // namespace

class TestPanelState : public QObject
{
    Q_OBJECT

private slots:
    void filterCategoryRawValues();
    void filtering_data();
    void filtering();
    void emptyHistoryListsNothing();
    void sortKeepsStoreOrderForEqualTimes();
    void readsFollowTheStore();
    void navigation_data();
    void navigation();
    void hoverBeatsSelection();
    void quickPaste_data();
    void quickPaste();
    void pasteWithEmptyListDoesNothing();
    void windowWillShowResets();
    void searchEditSelectsFirstMatch();
    void filterChangeClearsHover();
    void choosingTheSameChipOnlyClearsHover();
    void newCaptureBecomesSelection_data();
    void newCaptureBecomesSelection();
    void recopyOfTopItemKeepsSelection();
};

void TestPanelState::filterCategoryRawValues()
{
    const QStringList raws{"All", "Code", "Links", "Text", "Pinned"};
    for (qsizetype i = 0; i < raws.size(); ++i) {
        QCOMPARE(rawValue(allFilterCategories[i]), raws[i]);
        QCOMPARE(filterCategoryFromRaw(raws[i]), allFilterCategories[i]);
    }
    QVERIFY(!filterCategoryFromRaw(u"all"));
    QVERIFY(!filterCategoryFromRaw(u"Color"));
    QVERIFY(!filterCategoryFromRaw(u""));
}

void TestPanelState::filtering_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("expected");

    // Display order: pinned F (600), G (50), then E D C B A by time.
    QTest::newRow("all") << "" << "All" << "FGEDCBA";
    QTest::newRow("code") << "" << "Code" << "GA";
    QTest::newRow("links") << "" << "Links" << "B";
    QTest::newRow("text takes colours and unknown types") << "" << "Text" << "FEDC";
    QTest::newRow("pinned") << "" << "Pinned" << "FG";
    QTest::newRow("language in capitals") << "SWIFT" << "All" << "A";
    QTest::newRow("language in lower case") << "swift" << "All" << "A";
    QTest::newRow("content lower vs upper") << "hello" << "All" << "C";
    QTest::newRow("content upper vs lower") << "EXAMPLE.COM/PATH" << "All" << "B";
    QTest::newRow("one space is a search") << " " << "All" << "FGECA";
    QTest::newRow("title only") << "Empty Snippet" << "All" << "F";
    QTest::newRow("matches search not category") << "swift" << "Text" << "";
    QTest::newRow("matches category not search") << "hello" << "Code" << "";
    QTest::newRow("search within pinned") << "rust" << "Pinned" << "G";
    QTest::newRow("no match") << "zzz" << "All" << "";
    QTest::newRow("colour not under code") << "#ff0000" << "Code" << "";
    QTest::newRow("colour under text") << "#ff0000" << "Text" << "D";
}

void TestPanelState::filtering()
{
    QFETCH(QString, search);
    QFETCH(QString, filter);
    QFETCH(QString, expected);

    StoreFixture fixture;
    const Sample sample = sampleHistory();
    fillStore(fixture, sample.items);
    PanelState state(*fixture.manager, {}, {});
    state.setSearchText(search);
    state.setSelectedFilter(*filterCategoryFromRaw(filter));
    QCOMPARE(sample.letters(state.filteredItems()), expected);
}

void TestPanelState::emptyHistoryListsNothing()
{
    StoreFixture fixture;
    PanelState state(*fixture.manager, {}, {});
    for (const QString &search : {QString(), QStringLiteral(" "), QStringLiteral("a")}) {
        for (FilterCategory filter : allFilterCategories) {
            state.setSearchText(search);
            state.setSelectedFilter(filter);
            QVERIFY(state.filteredItems().isEmpty());
            QVERIFY(!state.activeInspectorItem());
        }
    }
}

void TestPanelState::sortKeepsStoreOrderForEqualTimes()
{
    const TimeInterval now = 800000000;
    Sample s;
    s.add("X", storedItem("x", "text", now - 1));
    s.add("Y", storedItem("y", "text", now - 1));
    s.add("W", storedItem("week-old pin", "text", now - 7 * 86400, true));
    s.add("Z", storedItem("z", "text", now - 1));
    s.add("P", storedItem("newer pin", "text", now - 3600, true));
    const QList<ClipItemPtr> sorted = filterItems(s.items, QString(), FilterCategory::All);
    QCOMPARE(s.letters(sorted), QStringLiteral("PWXYZ"));
}

void TestPanelState::readsFollowTheStore()
{
    StoreFixture fixture;
    PanelState state(*fixture.manager, {}, {});
    QSignalSpy changed(&state, &PanelState::filteredItemsChanged);
    fixture.copy(QStringLiteral("first"));
    QCOMPARE(state.filteredItems().size(), 1);
    fixture.manager->togglePin(state.filteredItems().first());
    state.setSelectedFilter(FilterCategory::Pinned);
    QCOMPARE(state.filteredItems().size(), 1);
    fixture.copy(QStringLiteral("second"));
    QCOMPARE(state.filteredItems().size(), 1); // the new copy is not pinned
    QVERIFY(changed.count() >= 3);
}

void TestPanelState::navigation_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("selected"); // -1 none, -2 an id not listed
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("expected"); // -1 none

    QTest::newRow("empty list") << 0 << -1 << 1 << -1;
    QTest::newRow("no selection, down") << 4 << -1 << 1 << 1;
    QTest::newRow("no selection, up") << 4 << -1 << -1 << 0;
    QTest::newRow("stale selection, down") << 4 << -2 << 1 << 1;
    QTest::newRow("stale selection, up") << 4 << -2 << -1 << 0;
    QTest::newRow("up on first") << 4 << 0 << -1 << 0;
    QTest::newRow("down on last") << 4 << 3 << 1 << 3;
    QTest::newRow("down in the middle") << 4 << 1 << 1 << 2;
    QTest::newRow("up in the middle") << 4 << 2 << -1 << 1;
    QTest::newRow("one row") << 1 << 0 << 1 << 0;
}

void TestPanelState::navigation()
{
    QFETCH(int, count);
    QFETCH(int, selected);
    QFETCH(int, step);
    QFETCH(int, expected);

    StoreFixture fixture;
    QList<ClipItemPtr> items;
    for (int i = 0; i < count; ++i)
        items.append(storedItem(QStringLiteral("item %1").arg(i), "text", 1000 - i));
    fillStore(fixture, items);
    PanelState state(*fixture.manager, {}, {});
    const QUuid hover = items.isEmpty() ? QUuid::createUuid() : items.last()->id();
    state.setHoveredItemId(hover);
    if (selected >= 0)
        state.setSelectedItemId(items[selected]->id());
    else if (selected == -2)
        state.setSelectedItemId(QUuid::createUuid());
    const auto before = state.selectedItemId();

    state.navigateSelection(step);
    if (expected < 0)
        QCOMPARE(state.selectedItemId(), before);
    else
        QCOMPARE(state.selectedItemId(), items[expected]->id());
    QCOMPARE(state.hoveredItemId(), hover); // navigation leaves the hover alone
}

void TestPanelState::hoverBeatsSelection()
{
    StoreFixture fixture;
    QList<ClipItemPtr> items;
    for (int i = 0; i < 5; ++i)
        items.append(storedItem(QStringLiteral("row %1").arg(i), "text", 1000 - i));
    fillStore(fixture, items);
    items = fixture.manager->items(); // the store's own objects
    PasteRecorder recorder;
    PanelNotifications notifications;
    PanelState state(*fixture.manager, recorder.handler(), recorder.onDismiss());
    state.connectNotifications(notifications);

    state.setSelectedItemId(items[0]->id());
    state.setHoveredItemId(items[2]->id());
    QCOMPARE(state.activeInspectorItem(), items[2]);
    QCOMPARE(state.activeRowId(), items[2]->id());

    emit notifications.tavorindleNavigateDown();
    QCOMPARE(state.selectedItemId(), items[1]->id());
    emit notifications.tavorindlePasteSelected();
    QCOMPARE(recorder.pasted, QList<ClipItemPtr>{items[2]});
    QCOMPARE(recorder.dismissed, 1);
    QCOMPARE(state.selectedItemId(), items[1]->id()); // pasting does not select

    // A hover hidden by the search falls back to the selection, a hidden
    // selection to the first row.
    state.setSearchText(QStringLiteral("row"));
    state.setSelectedItemId(items[3]->id());
    state.setHoveredItemId(QUuid::createUuid());
    QCOMPARE(state.activeInspectorItem(), items[3]);
    state.setSelectedItemId(QUuid::createUuid());
    QCOMPARE(state.activeInspectorItem(), items[0]);
    QVERIFY(state.activeRowId().has_value()); // the row rule has no fallback...
    emit notifications.tavorindleNavigateUp();
    QCOMPARE(state.selectedItemId(), items[0]->id()); // ...navigation counts it as row 0
}

void TestPanelState::quickPaste_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("expected"); // -1 nothing pasted

    QTest::newRow("top row despite selection") << 0 << 0;
    QTest::newRow("third row") << 2 << 2;
    QTest::newRow("beyond the list") << 4 << -1;
    QTest::newRow("just beyond") << 3 << -1;
    QTest::newRow("negative") << -1 << -1;
}

void TestPanelState::quickPaste()
{
    QFETCH(int, index);
    QFETCH(int, expected);

    StoreFixture fixture;
    QList<ClipItemPtr> items;
    for (int i = 0; i < 3; ++i)
        items.append(storedItem(QStringLiteral("row %1").arg(i), "text", 1000 - i));
    fillStore(fixture, items);
    items = fixture.manager->items(); // the store's own objects
    PasteRecorder recorder;
    PanelNotifications notifications;
    PanelState state(*fixture.manager, recorder.handler(), recorder.onDismiss());
    state.connectNotifications(notifications);
    state.setSelectedItemId(items[1]->id());
    state.setHoveredItemId(items[2]->id());

    emit notifications.tavorindleQuickPaste(index);
    if (expected < 0) {
        QVERIFY(recorder.pasted.isEmpty());
        QCOMPARE(recorder.dismissed, 0);
    } else {
        QCOMPARE(recorder.pasted, QList<ClipItemPtr>{items[expected]});
        QCOMPARE(recorder.dismissed, 1);
    }
    QCOMPARE(state.selectedItemId(), items[1]->id());
}

void TestPanelState::pasteWithEmptyListDoesNothing()
{
    StoreFixture fixture;
    fillStore(fixture, {storedItem("only", "text", 10)});
    PasteRecorder recorder;
    PanelNotifications notifications;
    PanelState state(*fixture.manager, recorder.handler(), recorder.onDismiss());
    state.connectNotifications(notifications);
    state.setSearchText(QStringLiteral("nothing like it"));
    emit notifications.tavorindlePasteSelected();
    emit notifications.tavorindleQuickPaste(0);
    QVERIFY(recorder.pasted.isEmpty());
    QCOMPARE(recorder.dismissed, 0);
}

void TestPanelState::windowWillShowResets()
{
    StoreFixture fixture;
    const Sample sample = sampleHistory();
    fillStore(fixture, sample.items);
    PanelNotifications notifications;
    PanelState state(*fixture.manager, {}, {});
    state.connectNotifications(notifications);
    state.setSelectedFilter(FilterCategory::Code);
    state.setSearchText(QStringLiteral("let"));
    state.setHoveredItemId(sample.byLetter("A")->id());

    emit notifications.tavorindleWindowWillShow();
    QCOMPARE(state.searchText(), QString());
    QCOMPARE(state.selectedFilter(), FilterCategory::All);
    QCOMPARE(state.hoveredItemId(), std::nullopt);
    QCOMPARE(state.selectedItemId(), sample.byLetter("F")->id()); // newest pinned

    StoreFixture empty;
    PanelState emptyState(*empty.manager, {}, {});
    emptyState.setSelectedItemId(QUuid::createUuid());
    emptyState.resetToTopItem();
    QCOMPARE(emptyState.selectedItemId(), std::nullopt);
}

void TestPanelState::searchEditSelectsFirstMatch()
{
    StoreFixture fixture;
    const Sample sample = sampleHistory();
    fillStore(fixture, sample.items);
    PanelState state(*fixture.manager, {}, {});
    state.setHoveredItemId(sample.byLetter("B")->id());

    state.setSearchText(QStringLiteral("l"));
    QCOMPARE(sample.letters(state.filteredItems()).left(1), QStringLiteral("F"));
    QCOMPARE(state.selectedItemId(), sample.byLetter("F")->id());
    state.setSearchText(QStringLiteral("lo"));
    QCOMPARE(state.selectedItemId(), sample.byLetter("C")->id());
    QCOMPARE(state.hoveredItemId(), sample.byLetter("B")->id()); // a search keeps the hover
    state.setSearchText(QStringLiteral("lox"));
    QCOMPARE(state.selectedItemId(), std::nullopt);
    state.setHoveredItemId(std::nullopt);
    QVERIFY(!state.activeInspectorItem());
}

void TestPanelState::filterChangeClearsHover()
{
    StoreFixture fixture;
    const Sample sample = sampleHistory();
    fillStore(fixture, sample.items);
    PanelState state(*fixture.manager, {}, {});
    state.setHoveredItemId(sample.byLetter("C")->id());
    state.setSelectedFilter(FilterCategory::Links);
    QCOMPARE(state.hoveredItemId(), std::nullopt);
    QCOMPARE(state.selectedItemId(), sample.byLetter("B")->id());
    state.setSelectedFilter(FilterCategory::Pinned);
    QCOMPARE(state.selectedItemId(), sample.byLetter("F")->id());
}

void TestPanelState::choosingTheSameChipOnlyClearsHover()
{
    StoreFixture fixture;
    const Sample sample = sampleHistory();
    fillStore(fixture, sample.items);
    PanelState state(*fixture.manager, {}, {});
    state.chooseFilter(FilterCategory::Code);
    QCOMPARE(state.selectedItemId(), sample.byLetter("G")->id());
    state.navigateSelection(1);
    state.setHoveredItemId(sample.byLetter("G")->id());
    QSignalSpy filterChanged(&state, &PanelState::selectedFilterChanged);

    state.chooseFilter(FilterCategory::Code);
    QCOMPARE(filterChanged.count(), 0);
    QCOMPARE(state.selectedFilter(), FilterCategory::Code);
    QCOMPARE(state.selectedItemId(), sample.byLetter("A")->id()); // not reset to the top
    QCOMPARE(state.hoveredItemId(), std::nullopt);
}

void TestPanelState::newCaptureBecomesSelection_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<bool>("follows");

    QTest::newRow("no search, all") << "" << "All" << true;
    QTest::newRow("with a search") << "e" << "All" << false;
    QTest::newRow("with a filter") << "" << "Text" << false;
}

void TestPanelState::newCaptureBecomesSelection()
{
    QFETCH(QString, search);
    QFETCH(QString, filter);
    QFETCH(bool, follows);

    StoreFixture fixture;
    const Sample sample = sampleHistory(); // has pinned items above any new capture
    fillStore(fixture, sample.items);
    PanelState state(*fixture.manager, {}, {});
    state.setSearchText(search);
    state.setSelectedFilter(*filterCategoryFromRaw(filter));
    const auto before = state.selectedItemId();
    const QUuid hover = sample.byLetter("C")->id();
    state.setHoveredItemId(hover);

    fixture.clock.set(900000000);
    fixture.copy(QStringLiteral("a new capture"));
    QCoreApplication::processEvents();
    const ClipItemPtr captured = fixture.manager->items().first();
    QCOMPARE(captured->rawContent(), QStringLiteral("a new capture"));
    if (follows) {
        QCOMPARE(state.selectedItemId(), captured->id());
        QVERIFY(state.filteredItems().first() != captured); // listed below the pins
    } else {
        QCOMPARE(state.selectedItemId(), before);
    }
    QCOMPARE(state.hoveredItemId(), hover);
}

void TestPanelState::recopyOfTopItemKeepsSelection()
{
    // Moving the store's top item to the top again does not change the
    // first item, so the handler must not run, even though the store
    // removes and reinserts it.
    StoreFixture fixture;
    QList<ClipItemPtr> items;
    for (int i = 0; i < 4; ++i)
        items.append(storedItem(QStringLiteral("row %1").arg(i), "text", 1000 - i));
    fillStore(fixture, items);
    PanelState state(*fixture.manager, {}, {});
    state.setSelectedItemId(items[2]->id());

    fixture.manager->recordPaste(fixture.manager->items().first());
    QCoreApplication::processEvents();
    QCOMPARE(state.selectedItemId(), items[2]->id());

    fixture.manager->recordPaste(fixture.manager->items().at(3));
    QCoreApplication::processEvents();
    QCOMPARE(state.selectedItemId(), items[3]->id());
}

QTEST_GUILESS_MAIN(TestPanelState)
#include "tst_panel_state.moc"
