#include "clipboard_manager.h"
#include "history_file.h"
#include "memory/memory_pasteboard.h"
#include "test_support.h"

#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {

QStringList contents(const QList<ClipItemPtr> &items)
{
    QStringList list;
    for (const auto &item : items)
        list << item->rawContent();
    return list;
}

QStringList contents(const ClipboardManager &manager) { return contents(manager.items()); }
QStringList savedContents(const StoreFixture &fixture) { return contents(HistoryFile::decode(fixture.saved()).items); }

} // namespace

class TestClipboardManager : public QObject
{
    Q_OBJECT
private slots:
    void copiesAfterStartAreClassifiedAndSaved()
    {
        StoreFixture fixture;
        fixture.pasteboard->simulateCopy(QStringLiteral("already there"));
        fixture.reopen();
        fixture.manager->checkForChanges();
        QVERIFY(fixture.manager->items().isEmpty());

        fixture.copy(QStringLiteral("  #ff8800\n"));
        QCOMPARE(fixture.manager->items().size(), 1);
        const ClipItemPtr item = fixture.manager->items().first();
        QCOMPARE(item->rawContent(), QStringLiteral("#ff8800"));
        QCOMPARE(item->contentType(), ClipContentType::Color);
        QCOMPARE(item->timestamp(), fixture.clock.now());
        QVERIFY(!item->isPinned());
        QCOMPARE(savedContents(fixture), QStringList{"#ff8800"});
    }

    void nothingIsRecorded_data()
    {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<bool>("textMayBeRead");
        const QStringList plain{"UTF8_STRING"};
        QTest::newRow("blank text") << std::optional<QString>(" \n\t\u2029 ") << plain << true;
        QTest::newRow("text that shows nothing") << std::optional<QString>("\u00a0\u200b\ufeff\u3000") << plain << true;
        QTest::newRow("no text (an image)") << std::optional<QString>() << QStringList{"image/png"} << true;
        for (const QString &marker : ClipboardManager::concealedTypes())
            QTest::newRow(qPrintable(marker)) << std::optional<QString>("hunter2") << QStringList{"UTF8_STRING", marker} << false;
    }

    void nothingIsRecorded()
    {
        QFETCH(std::optional<QString>, text);
        QFETCH(QStringList, types);
        QFETCH(bool, textMayBeRead);
        StoreFixture fixture;
        fixture.pasteboard->simulateCopy(text, types);
        fixture.manager->checkForChanges();
        QVERIFY(fixture.manager->items().isEmpty());
        if (!textMayBeRead)
            QCOMPARE(fixture.pasteboard->stringReads(), 0);
        // The change is dealt with: later polls do not look at it again.
        const int reads = fixture.pasteboard->stringReads();
        fixture.manager->checkForChanges();
        QCOMPARE(fixture.pasteboard->stringReads(), reads);
        QVERIFY(!QFile::exists(fixture.historyPath()));
    }

    void recopyMovesItemUp_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("again");
        QTest::newRow("same text") << "hello" << "hello";
        QTest::newRow("surrounding blanks") << "hello" << "\n  hello \r\n";
        QTest::newRow("canonically equivalent") << "caf\u00E9" << "cafe\u0301";
        QTest::newRow("equivalent the other way") << "cafe\u0301" << "caf\u00E9";
    }

    void recopyMovesItemUp()
    {
        QFETCH(QString, first);
        QFETCH(QString, again);
        StoreFixture fixture;
        fixture.copy(first);
        const ClipItemPtr original = fixture.manager->items().first();
        fixture.manager->togglePin(original);
        fixture.clock.advance(5);
        fixture.copy(QStringLiteral("other"));
        fixture.reopen(); // the stored items are compared after a start too
        fixture.clock.advance(5);
        fixture.copy(again);
        QCOMPARE(fixture.manager->items().size(), 2);
        const ClipItemPtr moved = fixture.manager->items().first();
        QCOMPARE(moved->id(), original->id());
        QCOMPARE(moved->rawContent(), first);
        QCOMPARE(moved->timestamp(), fixture.clock.now());
        QVERIFY(moved->isPinned());
        QCOMPARE(savedContents(fixture), (QStringList{first, "other"}));
    }

    // A paste's guards may overlap; the copy made meanwhile is taken when
    // the last one ends, without waiting for another change.
    void aPasteUnderWayIgnoresChanges()
    {
        StoreFixture fixture;
        auto first = fixture.manager->beginPaste();
        auto second = fixture.manager->beginPaste();
        fixture.copy(QStringLiteral("one"));
        first.reset();
        fixture.copy(QStringLiteral("two"));
        QVERIFY(fixture.manager->items().isEmpty());
        second.reset();
        QCOMPARE(contents(*fixture.manager), QStringList{"two"});
    }

    void limit_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("pinning"); // "none", "bottom", "all"
        QTest::addColumn<int>("expectedCount");
        QTest::addColumn<bool>("newItemKept");
        QTest::addColumn<QString>("removed");
        QTest::newRow("200 unpinned") << 200 << "none" << 200 << true << "item 199";
        QTest::newRow("bottom pinned") << 200 << "bottom" << 200 << true << "item 198";
        QTest::newRow("all pinned") << 200 << "all" << 200 << false << "";
        QTest::newRow("250 loaded, one removed") << 250 << "none" << 250 << true << "item 249";
        QTest::newRow("one below, then at the limit") << 199 << "none" << 200 << true << "";
    }

    void limit()
    {
        QFETCH(int, stored);
        QFETCH(QString, pinning);
        QFETCH(int, expectedCount);
        QFETCH(bool, newItemKept);
        QFETCH(QString, removed);
        // A history file of that many items, "item 0" at the top.
        QList<ClipItemPtr> items;
        for (int i = 0; i < stored; ++i)
            items << makeItem(QStringLiteral("item %1").arg(i), ClipContentType::Text, 1000.0 - i,
                              pinning == "all" || (pinning == "bottom" && i == stored - 1));
        StoreFixture fixture;
        fixture.writeHistory(HistoryFile::encode(items));
        QCOMPARE(fixture.manager->items().size(), stored);
        fixture.copy(QStringLiteral("new"));
        QCOMPARE(fixture.manager->items().size(), expectedCount);
        QCOMPARE(contents(*fixture.manager).contains("new"), newItemKept);
        if (!removed.isEmpty())
            QVERIFY(!contents(*fixture.manager).contains(removed));
        QCOMPARE(savedContents(fixture), contents(*fixture.manager));

        // A re-copy never removes anything.
        fixture.copy(QStringLiteral("item 0"));
        QCOMPARE(fixture.manager->items().size(), expectedCount);
    }

    void listOperations()
    {
        StoreFixture fixture;
        for (const char *text : {"c", "b", "a"})
            fixture.copy(QString::fromLatin1(text)); // list: a b c
        auto &m = *fixture.manager;
        const ClipItemPtr a = m.items()[0], b = m.items()[1], c = m.items()[2];

        m.togglePin(a);
        m.togglePin(c);
        QVERIFY(a->isPinned() && c->isPinned());
        QCOMPARE(contents(m), (QStringList{"a", "b", "c"})); // pinning does not reorder

        fixture.clock.advance(60);
        m.recordPaste(c);
        QCOMPARE(contents(m), (QStringList{"c", "a", "b"}));
        QCOMPARE(c->timestamp(), fixture.clock.now());
        QVERIFY(c->isPinned());

        const QByteArray before = fixture.saved();
        m.recordPaste(makeItem("stranger"));
        m.togglePin(makeItem("stranger"));
        QCOMPARE(fixture.saved(), before);

        QFile::remove(fixture.historyPath());
        m.deleteItem(makeItem("stranger")); // no match, still saves
        QVERIFY(!fixture.saved().isEmpty());
        QCOMPARE(contents(m), (QStringList{"c", "a", "b"}));

        m.clearUnpinned();
        QCOMPARE(contents(m), (QStringList{"c", "a"}));
        QCOMPARE(savedContents(fixture), (QStringList{"c", "a"}));

        m.deleteItem(a);
        QCOMPARE(contents(m), QStringList{"c"});
        m.togglePin(c);
        m.togglePin(c);
        QVERIFY(c->isPinned());
        QCOMPARE(HistoryFile::decode(fixture.saved()).items.first()->isPinned(), true);
    }

    void changesAreAnnouncedBeforeAndAfter()
    {
        StoreFixture fixture;
        fixture.copy(QStringLiteral("one"));
        fixture.copy(QStringLiteral("two"));
        QSignalSpy before(fixture.manager.get(), &ClipboardManager::itemsAboutToChange);
        QSignalSpy after(fixture.manager.get(), &ClipboardManager::itemsChanged);
        fixture.copy(QStringLiteral("one")); // re-copy: removal and insertion
        QCOMPARE(before.size(), 2);
        fixture.manager->togglePin(fixture.manager->items().first());
        QCOMPARE(before.size(), 3);
        fixture.manager->clearUnpinned();
        QCOMPARE(before.size(), 4);
        QCOMPARE(after.size(), before.size());
    }

    // A backend that reports changes is followed at once, with no timer
    // waking the program at rest; only one that does not is polled.
    void observingRecordsChangesPromptly_data()
    {
        QTest::addColumn<bool>("reports");
        QTest::newRow("a backend that reports changes") << true;
        QTest::newRow("one that does not") << false;
    }

    void observingRecordsChangesPromptly()
    {
        QFETCH(bool, reports);
        StoreFixture fixture;
        fixture.pasteboard->setReportsChanges(reports);
        fixture.manager->startObserving();
        fixture.manager->startObserving();
        QVERIFY(fixture.manager->isObserving());
        QCOMPARE(fixture.manager->isPolling(), !reports);
        QSignalSpy spy(fixture.manager.get(), &ClipboardManager::itemsChanged);
        fixture.pasteboard->simulateCopy(QStringLiteral("prompt"));
        QVERIFY(fixture.manager->items().isEmpty()); // queued, not inside the signal
        QTRY_COMPARE(contents(*fixture.manager), QStringList{"prompt"});
        QCOMPARE(spy.size(), 1);
        fixture.manager->stopObserving();
        QVERIFY(!fixture.manager->isObserving() && !fixture.manager->isPolling());
    }

    void pipedInTextLeavesTheClipboardAlone()
    {
        // A copy not yet polled is still taken in after it.
        StoreFixture fixture;
        fixture.pasteboard->simulateCopy(QStringLiteral("copied"));
        fixture.manager->capture(QStringLiteral("piped in"));
        fixture.manager->checkForChanges();
        fixture.manager->finishCaptures();
        QCOMPARE(contents(*fixture.manager), (QStringList{"copied", "piped in"}));
    }

    // Texts from the command line, in line behind a large copy: each is
    // answered with what became of it, the blank and the broken included.
    void addedTextsBehindALargeCopyAreAnswered()
    {
        StoreFixture fixture;
        fixture.manager->capture(QString(CaptureQueue::inlineLimit + 1, u'L'));
        QList<CaptureQueue::Outcome> outcomes;
        for (const QByteArray &body : {QByteArray("added"), QByteArray(" \n"), QByteArray("\xff")})
            fixture.manager->captureUtf8(body, [&](CaptureQueue::Outcome outcome) { outcomes << outcome; });
        fixture.manager->finishCaptures();
        using O = CaptureQueue::Outcome;
        QCOMPARE(outcomes, (QList<O>{O::Entered, O::Blank, O::NotUtf8}));
        QCOMPARE(fixture.manager->items().first()->rawContent(), QStringLiteral("added"));
    }

    void largeCopiesEnterInCopyOrder_data()
    {
        // Large texts (past the size analysed at once) are "L..."; each copy
        // is polled at once, and only then do the analyses finish.
        QTest::addColumn<QStringList>("copies");
        QTest::addColumn<QStringList>("expected"); // first lines, top first
        QTest::addColumn<int>("announcements");
        QTest::newRow("small just after large") << QStringList{"L1", "s1"} << QStringList{"s1", "L1", "seed"} << 2;
        QTest::newRow("large, large, small") << QStringList{"L1", "L2", "s1"} << QStringList{"s1", "L2", "L1", "seed"} << 3;
        QTest::newRow("the same large twice") << QStringList{"L1", "s1", "L1"} << QStringList{"L1", "s1", "seed"} << 4;
        QTest::newRow("large re-copy of the seed") << QStringList{"s1", "Lseed"} << QStringList{"seed", "s1"} << 3;
        QTest::newRow("blank large") << QStringList{"L ", "s1"} << QStringList{"s1", "seed"} << 1;
    }

    void largeCopiesEnterInCopyOrder()
    {
        QFETCH(QStringList, copies);
        QFETCH(QStringList, expected);
        QFETCH(int, announcements);
        // "Lx" stands for a JSON array of 40,000 units that begins with "Lx";
        // the seed is stored decomposed and copied again composed.
        auto text = [](const QString &name) {
            if (name == "L ")
                return QString(40000, u' ');
            if (!name.startsWith(u'L'))
                return name;
            const QString first = name == "Lseed" ? QStringLiteral("seed caf\u00E9") : name;
            return "[\"" + first + "\",\n" + QStringLiteral("1,").repeated(20000) + "2]";
        };
        StoreFixture fixture;
        fixture.copy(QStringLiteral("[\"seed cafe\u0301\",\n") + QStringLiteral("1,").repeated(20000) + "2]");
        const QUuid seedId = fixture.manager->items().first()->id();
        QSignalSpy spy(fixture.manager.get(), &ClipboardManager::itemsAboutToChange);
        for (const QString &name : copies) {
            fixture.pasteboard->simulateCopy(text(name));
            fixture.manager->checkForChanges();
        }
        fixture.manager->finishCaptures();

        QStringList firstLines;
        for (const auto &item : fixture.manager->items()) {
            const QString line = item->rawContent().section(u'\n', 0, 0);
            firstLines << (line.startsWith(u'[') ? line.mid(2).chopped(2).section(u' ', 0, 0) : line);
            if (line.startsWith(u'['))
                QCOMPARE(item->detectedLanguage(), QStringLiteral("JSON"));
        }
        QCOMPARE(firstLines, expected);
        QCOMPARE(spy.size(), announcements);
        const auto seed = std::find_if(fixture.manager->items().begin(), fixture.manager->items().end(),
                                       [](const ClipItemPtr &item) { return item->rawContent().contains(u"seed"); });
        QCOMPARE((*seed)->id(), seedId);
        QCOMPARE(savedContents(fixture), contents(*fixture.manager));
    }
};

QTEST_GUILESS_MAIN(TestClipboardManager)
#include "tst_clipboard_manager.moc"
