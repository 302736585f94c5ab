#include "panel_test_support.h"

#include <QSignalSpy>
#include <QTest>

using namespace PanelTest;

namespace {

// The sample history: letters name its items in store order, and strings
// of them are compact expectations.
struct Sample
{
    const QList<ClipItemPtr> items{
        storedItem("let x = 1", "code", 100, false, QStringLiteral("Swift")),
        storedItem("https://example.com/Path", "link", 200),
        storedItem("Hello World", "text", 300),
        storedItem("#FF0000", "color", 400),
        storedItem("mystery stuff", "widget", 500),
        storedItem("\nsecond line only", "text", 600, true),
        storedItem("fn main() {}", "code", 50, true, QStringLiteral("Rust")),
    };
    QString letters(const QList<ClipItemPtr> &list) const
    {
        QString out;
        for (const ClipItemPtr &item : list) {
            const auto same = [&](const ClipItemPtr &stored) { return stored->id() == item->id(); };
            out += QChar(char16_t(u'A' + (std::find_if(items.begin(), items.end(), same) - items.begin())));
        }
        return out;
    }
    QUuid id(char letter) const { return items[letter - 'A']->id(); }
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
        QTest::newRow("one space is a search") << " " << "All" << "FGECA";
        QTest::newRow("title only") << "Empty Snippet" << "All" << "F";
        QTest::newRow("content past the title, other case") << "SECOND LINE" << "All" << "F";
        QTest::newRow("matches search not category") << "swift" << "Text" << "";
    }

    void filtering()
    {
        QFETCH(QString, search);
        QFETCH(QString, filter);
        const Sample sample;
        QTEST(sample.letters(filterItems(sample.items, search, *filterCategoryFromRaw(filter))), "expected");
    }

    void sortKeepsStoreOrderForEqualTimes()
    {
        // Forty equal times: past the size where an unstable sort still
        // happens to keep the order.
        const TimeInterval now = 800000000;
        const QString names = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN");
        QList<ClipItemPtr> items;
        for (qsizetype i = 0; i < names.size(); ++i) {
            items.append(storedItem(names.mid(i, 1), "text", now - 1));
            if (i == 10)
                items.append(storedItem("W", "text", now - 7 * 86400, true)); // a week-old pin
            if (i == 30)
                items.append(storedItem("P", "text", now - 3600, true)); // a newer pin
        }
        QString order;
        for (const ClipItemPtr &item : filterItems(items, QString(), FilterCategory::All))
            order += item->rawContent();
        QCOMPARE(order, QStringLiteral("PW") + names);
    }

    void keys_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("selected"); // -1 none, -2 an id not listed
        QTest::addColumn<int>("hovered");  // -1 none
        QTest::addColumn<QString>("key");  // up, down, return, or the digit's row
        QTest::addColumn<int>("selects");  // -1: the selection stays
        QTest::addColumn<int>("pastes");   // -1: nothing

        QTest::newRow("down, empty list") << 0 << -1 << -1 << "down" << -1 << -1;
        QTest::newRow("down, no selection") << 4 << -1 << 3 << "down" << 1 << -1;
        QTest::newRow("up, no selection") << 4 << -1 << 3 << "up" << 0 << -1;
        QTest::newRow("down, stale selection") << 4 << -2 << 3 << "down" << 1 << -1;
        QTest::newRow("up on first") << 4 << 0 << 3 << "up" << 0 << -1;
        QTest::newRow("down on last") << 4 << 3 << -1 << "down" << 3 << -1;
        QTest::newRow("down in the middle") << 4 << 1 << 3 << "down" << 2 << -1;
        QTest::newRow("return pastes the hover") << 4 << 1 << 2 << "return" << -1 << 2;
        QTest::newRow("return pastes the selection") << 4 << 1 << -1 << "return" << -1 << 1;
        QTest::newRow("return, nothing listed") << 0 << -1 << -1 << "return" << -1 << -1;
        QTest::newRow("top row despite selection") << 3 << 1 << 2 << "0" << -1 << 0;
        QTest::newRow("third row") << 3 << 1 << 2 << "2" << -1 << 2;
        QTest::newRow("just beyond") << 3 << 1 << 2 << "3" << -1 << -1;
        QTest::newRow("negative") << 3 << 1 << 2 << "-1" << -1 << -1;
    }

    // Arrows move the selection, Return pastes the active item, a digit the
    // row it names; none of them moves the hover, pasting selects nothing.
    void keys()
    {
        QFETCH(int, count);
        QFETCH(int, selected);
        QFETCH(int, hovered);
        QFETCH(QString, key);
        QFETCH(int, selects);
        QFETCH(int, pastes);

        StateRig rig(textRows(count));
        const QList<ClipItemPtr> items = rig.items();
        PanelState &state = rig.state;
        if (selected != -1)
            state.setSelectedItemId(selected >= 0 ? items[selected]->id() : QUuid::createUuid());
        const PanelState::Id hover = hovered >= 0 ? PanelState::Id(items[hovered]->id()) : std::nullopt;
        state.setHoveredItemId(hover);
        const auto before = state.selectedItemId();

        if (key == QLatin1String("up"))
            emit rig.notifications.tavorindleNavigateUp();
        else if (key == QLatin1String("down"))
            emit rig.notifications.tavorindleNavigateDown();
        else if (key == QLatin1String("return"))
            emit rig.notifications.tavorindlePasteSelected();
        else
            emit rig.notifications.tavorindleQuickPaste(key.toInt());
        QCOMPARE(state.selectedItemId(), selects < 0 ? before : items[selects]->id());
        QCOMPARE(state.hoveredItemId(), hover);
        QCOMPARE(rig.pasted, pastes < 0 ? QList<ClipItemPtr>() : QList<ClipItemPtr>{items[pastes]});
        QCOMPARE(rig.dismissed, pastes < 0 ? 0 : 1);
    }

    // The inspector shows the hover, else the selection, else the first row.
    void activeItem()
    {
        StateRig rig(textRows(5));
        const QList<ClipItemPtr> items = rig.items();
        PanelState &state = rig.state;
        state.setSelectedItemId(items[0]->id());
        state.setHoveredItemId(items[2]->id());
        QCOMPARE(state.activeInspectorItem(), items[2]);

        // Hidden by the search: the hover falls back to the selection, the
        // selection to the first row.
        state.setSearchText(QStringLiteral("row"));
        state.setSelectedItemId(items[3]->id());
        state.setHoveredItemId(QUuid::createUuid());
        QCOMPARE(state.activeInspectorItem(), items[3]);
        state.setSelectedItemId(QUuid::createUuid());
        QCOMPARE(state.activeInspectorItem(), items[0]);
        state.setSearchText(QStringLiteral("nothing like it"));
        QVERIFY(!state.activeInspectorItem());
    }

    // A search or a filter selects the first row it lists; a filter and a
    // show forget the hover, a search keeps it.
    void searchFilterAndShowMoveSelection()
    {
        const Sample sample;
        StateRig rig(sample.items);
        PanelState &state = rig.state;
        state.setHoveredItemId(sample.id('B'));
        state.setSearchText(QStringLiteral("l"));
        QCOMPARE(state.selectedItemId(), sample.id('F'));
        state.setSearchText(QStringLiteral("lo"));
        QCOMPARE(state.selectedItemId(), sample.id('C'));
        QCOMPARE(state.hoveredItemId(), sample.id('B'));
        state.setSearchText(QStringLiteral("lox"));
        QCOMPARE(state.selectedItemId(), std::nullopt);

        state.setSearchText(QString());
        state.chooseFilter(FilterCategory::Code);
        QCOMPARE(state.hoveredItemId(), std::nullopt);
        QCOMPARE(state.selectedItemId(), sample.id('G'));
        // The chip already chosen: only the hover goes.
        state.navigateSelection(1);
        state.setHoveredItemId(sample.id('G'));
        QSignalSpy filterChanged(&state, &PanelState::selectedFilterChanged);
        state.chooseFilter(FilterCategory::Code);
        QCOMPARE(filterChanged.count(), 0);
        QCOMPARE(state.selectedItemId(), sample.id('A'));
        QCOMPARE(state.hoveredItemId(), std::nullopt);

        state.setSearchText(QStringLiteral("let"));
        state.setHoveredItemId(sample.id('A'));
        emit rig.notifications.tavorindleWindowWillShow();
        QCOMPARE(state.searchText(), QString());
        QCOMPARE(state.selectedFilter(), FilterCategory::All);
        QCOMPARE(state.hoveredItemId(), std::nullopt);
        QCOMPARE(state.selectedItemId(), sample.id('F')); // newest pinned
    }

    void storeTopBecomesSelection_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("recopied"); // the store's row copied again; -1: a new text
        QTest::addColumn<bool>("follows");

        QTest::newRow("new capture") << "" << "All" << -1 << true;
        QTest::newRow("with a search") << "e" << "All" << -1 << false;
        QTest::newRow("with a filter") << "" << "Text" << -1 << false;
        QTest::newRow("another item to the top") << "" << "All" << 3 << true;
        // The store removes and reinserts it, but its first item stays.
        QTest::newRow("the top item again") << "" << "All" << 0 << false;
    }

    // A new first item of the store is selected while neither a search nor
    // a filter is on; the hover stays.
    void storeTopBecomesSelection()
    {
        QFETCH(QString, search);
        QFETCH(QString, filter);
        QFETCH(int, recopied);
        QFETCH(bool, follows);

        const Sample sample; // pinned items list above any new top
        StateRig rig(sample.items);
        PanelState &state = rig.state;
        state.setSearchText(search);
        state.setSelectedFilter(*filterCategoryFromRaw(filter));
        state.setSelectedItemId(sample.id('C'));
        state.setHoveredItemId(sample.id('C'));

        rig.store.clock.set(900000000);
        const ClipItemPtr moved = recopied < 0 ? nullptr : rig.items()[recopied];
        if (moved)
            rig.manager().recordPaste(moved);
        else
            rig.store.copy(QStringLiteral("a new capture"));
        QCoreApplication::processEvents();
        const ClipItemPtr top = rig.items().first();
        QCOMPARE(top->rawContent(), moved ? moved->rawContent() : QStringLiteral("a new capture"));
        QCOMPARE(state.selectedItemId(), follows ? top->id() : sample.id('C'));
        QCOMPARE(state.hoveredItemId(), sample.id('C'));
    }
};

QTEST_GUILESS_MAIN(TestPanelState)
#include "tst_panel_state.moc"
