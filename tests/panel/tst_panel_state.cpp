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
    QUuid id(const QString &name) const { return letter.key(name); }
};

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

// A state over a store of the given items, wired to notifications and a
// paste recorder. The state is built after the store is reopened.
struct Rig
{
    explicit Rig(const QList<ClipItemPtr> &stored)
    {
        if (!stored.isEmpty())
            fillStore(store, stored);
        state.emplace(*store.manager, recorder.handler(), recorder.onDismiss());
        state->connectNotifications(notifications);
    }
    // The store's own objects, in store order.
    QList<ClipItemPtr> items() const { return store.manager->items(); }

    StoreFixture store;
    PasteRecorder recorder;
    PanelNotifications notifications;
    std::optional<PanelState> state;
};

} // namespace

class TestPanelState : public QObject
{
    Q_OBJECT

private slots:
    void filtering_data()
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
        QTest::newRow("content lower vs upper") << "hello" << "All" << "C";
        QTest::newRow("content upper vs lower") << "EXAMPLE.COM/PATH" << "All" << "B";
        QTest::newRow("one space is a search") << " " << "All" << "FGECA";
        QTest::newRow("title only") << "Empty Snippet" << "All" << "F";
        QTest::newRow("content past the title, other case") << "SECOND LINE" << "All" << "F";
        QTest::newRow("matches search not category") << "swift" << "Text" << "";
        QTest::newRow("search within pinned") << "rust" << "Pinned" << "G";
        QTest::newRow("no match") << "zzz" << "All" << "";
        QTest::newRow("colour not under code") << "#ff0000" << "Code" << "";
        QTest::newRow("colour under text") << "#ff0000" << "Text" << "D";
    }

    void filtering()
    {
        QFETCH(QString, search);
        QFETCH(QString, filter);
        QFETCH(QString, expected);

        const Sample sample = sampleHistory();
        Rig rig(sample.items);
        rig.state->setSearchText(search);
        rig.state->setSelectedFilter(*filterCategoryFromRaw(filter));
        QCOMPARE(sample.letters(rig.state->filteredItems()), expected);
    }

    void sortKeepsStoreOrderForEqualTimes()
    {
        // Forty equal times: past the size where an unstable sort still
        // happens to keep the order.
        const TimeInterval now = 800000000;
        const QString names = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN");
        Sample s;
        for (qsizetype i = 0; i < names.size(); ++i) {
            s.add(names.mid(i, 1), storedItem(names.mid(i, 1), "text", now - 1));
            if (i == 10)
                s.add("W", storedItem("week-old pin", "text", now - 7 * 86400, true));
            if (i == 30)
                s.add("P", storedItem("newer pin", "text", now - 3600, true));
        }
        QCOMPARE(s.letters(filterItems(s.items, QString(), FilterCategory::All)), QStringLiteral("PW") + names);
    }

    void navigation_data()
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

    void navigation()
    {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(int, step);
        QFETCH(int, expected);

        Rig rig(textRows(count));
        const QList<ClipItemPtr> items = rig.items();
        PanelState &state = *rig.state;
        const QUuid hover = items.isEmpty() ? QUuid::createUuid() : items.last()->id();
        state.setHoveredItemId(hover);
        if (selected != -1)
            state.setSelectedItemId(selected >= 0 ? items[selected]->id() : QUuid::createUuid());
        const auto before = state.selectedItemId();

        state.navigateSelection(step);
        QCOMPARE(state.selectedItemId(), expected < 0 ? before : items[expected]->id());
        QCOMPARE(state.hoveredItemId(), hover); // navigation leaves the hover alone
    }

    void hoverBeatsSelection()
    {
        Rig rig(textRows(5));
        const QList<ClipItemPtr> items = rig.items();
        PanelState &state = *rig.state;

        state.setSelectedItemId(items[0]->id());
        state.setHoveredItemId(items[2]->id());
        QCOMPARE(state.activeInspectorItem(), items[2]);
        QCOMPARE(state.activeRowId(), items[2]->id());

        emit rig.notifications.tavorindleNavigateDown();
        QCOMPARE(state.selectedItemId(), items[1]->id());
        emit rig.notifications.tavorindlePasteSelected();
        QCOMPARE(rig.recorder.pasted, QList<ClipItemPtr>{items[2]});
        QCOMPARE(rig.recorder.dismissed, 1);
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
        emit rig.notifications.tavorindleNavigateUp();
        QCOMPARE(state.selectedItemId(), items[0]->id()); // ...navigation counts it as row 0

        // Nothing listed: Return and quick paste do nothing.
        state.setSearchText(QStringLiteral("nothing like it"));
        QVERIFY(!state.activeInspectorItem());
        emit rig.notifications.tavorindlePasteSelected();
        emit rig.notifications.tavorindleQuickPaste(0);
        QCOMPARE(rig.recorder.pasted.size(), 1);
        QCOMPARE(rig.recorder.dismissed, 1);
    }

    void quickPaste_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("expected"); // -1 nothing pasted

        QTest::newRow("top row despite selection") << 0 << 0;
        QTest::newRow("third row") << 2 << 2;
        QTest::newRow("just beyond") << 3 << -1;
        QTest::newRow("negative") << -1 << -1;
    }

    void quickPaste()
    {
        QFETCH(int, index);
        QFETCH(int, expected);

        Rig rig(textRows(3));
        const QList<ClipItemPtr> items = rig.items();
        rig.state->setSelectedItemId(items[1]->id());
        rig.state->setHoveredItemId(items[2]->id());

        emit rig.notifications.tavorindleQuickPaste(index);
        QCOMPARE(rig.recorder.pasted,
                 expected < 0 ? QList<ClipItemPtr>() : QList<ClipItemPtr>{items[expected]});
        QCOMPARE(rig.recorder.dismissed, expected < 0 ? 0 : 1);
        QCOMPARE(rig.state->selectedItemId(), items[1]->id());
    }

    void windowWillShowResets()
    {
        const Sample sample = sampleHistory();
        Rig rig(sample.items);
        PanelState &state = *rig.state;
        state.setSelectedFilter(FilterCategory::Code);
        state.setSearchText(QStringLiteral("let"));
        state.setHoveredItemId(sample.id("A"));

        emit rig.notifications.tavorindleWindowWillShow();
        QCOMPARE(state.searchText(), QString());
        QCOMPARE(state.selectedFilter(), FilterCategory::All);
        QCOMPARE(state.hoveredItemId(), std::nullopt);
        QCOMPARE(state.selectedItemId(), sample.id("F")); // newest pinned

        Rig empty({});
        empty.state->setSelectedItemId(QUuid::createUuid());
        empty.state->resetToTopItem();
        QCOMPARE(empty.state->selectedItemId(), std::nullopt);
    }

    void searchEditSelectsFirstMatch()
    {
        const Sample sample = sampleHistory();
        Rig rig(sample.items);
        PanelState &state = *rig.state;
        state.setHoveredItemId(sample.id("B"));

        state.setSearchText(QStringLiteral("l"));
        QCOMPARE(state.selectedItemId(), sample.id("F"));
        state.setSearchText(QStringLiteral("lo"));
        QCOMPARE(state.selectedItemId(), sample.id("C"));
        QCOMPARE(state.hoveredItemId(), sample.id("B")); // a search keeps the hover
        state.setSearchText(QStringLiteral("lox"));
        QCOMPARE(state.selectedItemId(), std::nullopt);
    }

    void filterChangeClearsHover()
    {
        const Sample sample = sampleHistory();
        Rig rig(sample.items);
        PanelState &state = *rig.state;
        state.setHoveredItemId(sample.id("C"));
        state.chooseFilter(FilterCategory::Code);
        QCOMPARE(state.hoveredItemId(), std::nullopt);
        QCOMPARE(state.selectedItemId(), sample.id("G")); // the filter's first row

        // Choosing the chip already chosen only clears the hover.
        state.navigateSelection(1);
        state.setHoveredItemId(sample.id("G"));
        QSignalSpy filterChanged(&*rig.state, &PanelState::selectedFilterChanged);
        state.chooseFilter(FilterCategory::Code);
        QCOMPARE(filterChanged.count(), 0);
        QCOMPARE(state.selectedItemId(), sample.id("A")); // not reset to the top
        QCOMPARE(state.hoveredItemId(), std::nullopt);
    }

    void newCaptureBecomesSelection_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("follows");

        QTest::newRow("no search, all") << "" << "All" << true;
        QTest::newRow("with a search") << "e" << "All" << false;
        QTest::newRow("with a filter") << "" << "Text" << false;
    }

    void newCaptureBecomesSelection()
    {
        QFETCH(QString, search);
        QFETCH(QString, filter);
        QFETCH(bool, follows);

        const Sample sample = sampleHistory(); // has pinned items above any new capture
        Rig rig(sample.items);
        PanelState &state = *rig.state;
        state.setSearchText(search);
        state.setSelectedFilter(*filterCategoryFromRaw(filter));
        const auto before = state.selectedItemId();
        state.setHoveredItemId(sample.id("C"));

        rig.store.clock.set(900000000);
        rig.store.copy(QStringLiteral("a new capture"));
        QCoreApplication::processEvents();
        const ClipItemPtr captured = rig.items().first();
        QCOMPARE(captured->rawContent(), QStringLiteral("a new capture"));
        QCOMPARE(state.selectedItemId(), follows ? captured->id() : before);
        if (follows)
            QVERIFY(state.filteredItems().first() != captured); // listed below the pins
        QCOMPARE(state.hoveredItemId(), sample.id("C"));
    }

    void recopyOfTopItemKeepsSelection()
    {
        // Moving the store's top item to the top again does not change the
        // first item, so the handler must not run, even though the store
        // removes and reinserts it.
        Rig rig(textRows(4));
        const QList<ClipItemPtr> items = rig.items();
        rig.state->setSelectedItemId(items[2]->id());

        rig.store.manager->recordPaste(items[0]);
        QCoreApplication::processEvents();
        QCOMPARE(rig.state->selectedItemId(), items[2]->id());

        rig.store.manager->recordPaste(items[3]);
        QCoreApplication::processEvents();
        QCOMPARE(rig.state->selectedItemId(), items[3]->id());
    }
};

QTEST_GUILESS_MAIN(TestPanelState)
#include "tst_panel_state.moc"
