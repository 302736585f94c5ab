#include "clipboard_manager.h"
#include "history_file.h"
#include "memory/memory_pasteboard.h"
#include "test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTest>

using namespace TestSupport;

class TestHistoryFile : public QObject
{
    Q_OBJECT
private slots:
    void encodesKeysInOrderCompactly()
    {
        const QUuid id = QUuid::fromString(QStringLiteral("12345678-9abc-def0-1234-56789abcdef0"));
        auto withLanguage = std::make_shared<ClipItem>(id, "a\"b\\\n", ClipContentType::Code, QStringLiteral("Swift"),
                                                       QStringLiteral("t"), 0.5, true);
        auto without = std::make_shared<ClipItem>(id, "x", ClipContentType::Text, std::nullopt, QStringLiteral("x"),
                                                  733000000.125, false);
        QCOMPARE(HistoryFile::encode({withLanguage, without}),
                 QByteArray("[{\"id\":\"12345678-9ABC-DEF0-1234-56789ABCDEF0\",\"rawContent\":\"a\\\"b\\\\\\n\","
                            R"("contentTypeRaw":"code","detectedLanguage":"Swift","title":"t","timestamp":0.5,)"
                            R"("isPinned":true,"wordCount":1,"charCount":5},)"
                            R"({"id":"12345678-9ABC-DEF0-1234-56789ABCDEF0","rawContent":"x","contentTypeRaw":"text",)"
                            R"("title":"x","timestamp":733000000.125,"isPinned":false,"wordCount":1,"charCount":1}])"));
        QCOMPARE(HistoryFile::encode({}), QByteArray("[]"));
    }

    void roundTripKeepsEveryField()
    {
        const double awkward = 786543210.1234567; // needs all 17 digits
        ClipItem::Stored s;
        s.id = QUuid::createUuid();
        // Long texts are written in slices: the emoji straddles the first cut.
        s.rawContent = QString(65535, u'x') + QStringLiteral("\U0001F600 tab\there \u0001 \u2028 end");
        s.contentTypeRaw = QStringLiteral("Unknown");
        s.title = QStringLiteral("custom title");
        s.timestamp = awkward;
        s.isPinned = true;
        s.wordCount = 42;
        s.charCount = 4242;
        const QByteArray bytes = HistoryFile::encode({std::make_shared<ClipItem>(s)});
        const auto decoded = HistoryFile::decode(bytes);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        QCOMPARE(decoded.items.size(), 1);
        QCOMPARE(decoded.items[0]->rawContent(), s.rawContent);
        // Written again exactly as before: every field came back (the form
        // is fixed above).
        QCOMPARE(HistoryFile::encode(decoded.items), bytes);
        QVERIFY(decoded.items[0]->timestamp() == awkward); // bit for bit, not fuzzy
    }

    void readsOtherKeyOrdersAndSpacing()
    {
        const QByteArray json = R"(
          [ { "charCount" : 3, "wordCount": 1, "isPinned": false, "timestamp": 1e3,
              "title": "abc", "detectedLanguage": null, "contentTypeRaw": "text",
              "rawContent": "abc", "id": "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee", "extra": [1, {"x": 2}] } ]
        )";
        const auto decoded = HistoryFile::decode(json);
        QVERIFY2(decoded.ok(), qPrintable(decoded.error));
        QCOMPARE(decoded.items.size(), 1);
        QVERIFY(!decoded.items[0]->detectedLanguage());
        QCOMPARE(decoded.items[0]->timestamp(), 1000.0);
        QCOMPARE(decoded.items[0]->id().toString(QUuid::WithoutBraces), QStringLiteral("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee"));
    }

    void badElementFailsWholeFile_data()
    {
        QTest::addColumn<QByteArray>("second");
        const QByteArray valid = R"({"id":"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE","rawContent":"a","contentTypeRaw":"text","title":"a","timestamp":1,"isPinned":false,"wordCount":1,"charCount":1})";
        QTest::newRow("missing wordCount") << QByteArray(valid).replace("\"wordCount\":1,", "");
        QTest::newRow("missing id") << QByteArray(valid).replace("\"id\":\"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE\",", "");
        QTest::newRow("missing title") << QByteArray(valid).replace("\"title\":\"a\",", "");
        QTest::newRow("bad uuid") << QByteArray(valid).replace("AAAAAAAA-", "AAAAAAA-");
        QTest::newRow("braced uuid") << QByteArray(valid).replace("\"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE\"", "\"{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}\"");
        QTest::newRow("pin as number") << QByteArray(valid).replace("\"isPinned\":false", "\"isPinned\":0");
        QTest::newRow("fractional count") << QByteArray(valid).replace("\"wordCount\":1", "\"wordCount\":1.5");
        QTest::newRow("timestamp as string") << QByteArray(valid).replace("\"timestamp\":1", "\"timestamp\":\"1\"");
        QTest::newRow("language as number") << QByteArray(valid).replace("\"title\"", "\"detectedLanguage\":5,\"title\"");
        QTest::newRow("not an object") << QByteArray("[]");
        QTest::newRow("truncated") << valid.left(40);
    }

    void badElementFailsWholeFile()
    {
        QFETCH(QByteArray, second);
        const QByteArray good = R"({"id":"AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEF","rawContent":"b","contentTypeRaw":"text","title":"b","timestamp":1,"isPinned":false,"wordCount":1,"charCount":1})";
        const auto decoded = HistoryFile::decode("[" + good + "," + second + "]");
        QVERIFY(!decoded.ok());
        QVERIFY(decoded.items.isEmpty());
    }

    void corruptFileIsKeptAside()
    {
        StoreFixture fixture;
        fixture.copy(QStringLiteral("first"));
        QByteArray bytes = fixture.saved();
        // Only the user may look at what was copied.
        QCOMPARE(fileMode(fixture.historyPath()), 0600);
        QCOMPARE(fileMode(fixture.folderPath()), 0700);
        bytes.chop(5); // truncated JSON
        writeFile(fixture.historyPath(), bytes);

        const QString output = captureStdout([&] { fixture.reopen(); });
        QVERIFY2(output.startsWith("Could not load clip history: "), qPrintable(output));
        QVERIFY2(output.contains("history.json.corrupt-"), qPrintable(output));
        QCOMPARE(output.count('\n'), 1);
        QVERIFY(fixture.manager->items().isEmpty());
        const QDir folder(fixture.folderPath());
        const QStringList aside = folder.entryList({QStringLiteral("history.json.corrupt-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(folder.filePath(aside[0])), bytes);

        // The program goes on capturing, and the saved file holds only new items.
        fixture.copy(QStringLiteral("second"));
        QCOMPARE(fixture.manager->items().size(), 1);
        QVERIFY(HistoryFile::decode(fixture.saved()).ok());

        // Corrupt files within the same second never overwrite each other.
        for (int i = 0; i < 2; ++i)
            fixture.writeHistory("garbage " + QByteArray::number(i));
        QCOMPARE(folder.entryList({QStringLiteral("history.json.corrupt-*")}).size(), 3);
    }

    void unwritableFolderKeepsListAndOldFile()
    {
        // Tests run as root, so permissions would not stop a write: a regular
        // file where the folder should be makes the failure real.
        StoreFixture fixture;
        QDir(fixture.folderPath()).removeRecursively();
        writeFile(fixture.folderPath(), "not a folder");
        fixture.reopen();
        ClipboardManager &manager = *fixture.manager;
        fixture.pasteboard->simulateCopy(QStringLiteral("kept in memory"));
        const QString output = captureStdout([&] {
            manager.checkForChanges();
            manager.waitForSaved();
        });
        QVERIFY2(output.startsWith("Could not save clip history: "), qPrintable(output));
        QCOMPARE(manager.items().size(), 1);
        // The next save writes the full list again once the folder is back.
        QFile::remove(fixture.folderPath());
        fixture.pasteboard->simulateCopy(QStringLiteral("second"));
        QCOMPARE(captureStdout([&] {
            manager.checkForChanges();
            manager.waitForSaved();
        }), QStringLiteral("Saved clip history after an earlier failure\n"));
        QCOMPARE(HistoryFile::decode(readFile(fixture.historyPath())).items.size(), 2);
    }

    void duplicateIdsGetFreshOnes()
    {
        StoreFixture fixture;
        const ClipItemPtr a = makeItem("a"), c = makeItem("c");
        ClipItem::Stored twin = makeItem("b")->stored();
        twin.id = a->id();
        const QByteArray bytes = HistoryFile::encode({a, std::make_shared<ClipItem>(twin), c, a});
        const QString output = captureStdout([&] { fixture.writeHistory(bytes); });
        QVERIFY2(output.startsWith("Could not load clip history: ") && output.contains("new id"), qPrintable(output));
        const auto &items = fixture.manager->items();
        QCOMPARE(items.size(), 4);
        QCOMPARE(items[0]->id(), a->id());
        QCOMPARE(items[2]->id(), c->id());
        QSet<QUuid> ids;
        for (const auto &item : items)
            ids.insert(item->id());
        QCOMPARE(ids.size(), 4);
        QCOMPARE(fixture.saved(), bytes); // written at the next change only

        fixture.manager->deleteItem(items[1]);
        QCOMPARE(fixture.manager->items().size(), 3);
        QCOMPARE(HistoryFile::decode(fixture.saved()).items.size(), 3);
    }

    void symlinkedFileStaysALink_data()
    {
        QTest::addColumn<int>("hops"); // links between history.json and the file
        QTest::addColumn<bool>("targetExists");
        QTest::newRow("link to a file") << 1 << true;
        QTest::newRow("link to a link") << 2 << true;
        QTest::newRow("link to a file not made yet") << 1 << false;
    }

    void symlinkedFileStaysALink()
    {
        QFETCH(int, hops);
        QFETCH(bool, targetExists);
        StoreFixture fixture;
        QTemporaryDir synced;
        const QString target = synced.path() + "/clips.json";
        if (targetExists)
            writeFile(target, HistoryFile::encode({makeItem("from the synced file")}));
        QString pointsTo = target;
        for (int i = 1; i < hops; ++i) {
            const QString link = synced.path() + QStringLiteral("/link%1").arg(i);
            QVERIFY(QFile::link(pointsTo, link));
            pointsTo = link;
        }
        QDir().mkpath(fixture.folderPath());
        QVERIFY(QFile::link(pointsTo, fixture.historyPath()));
        fixture.reopen();
        QCOMPARE(fixture.manager->items().size(), targetExists ? 1 : 0);

        fixture.copy(QStringLiteral("new copy"));
        fixture.saved();
        QVERIFY(QFileInfo(fixture.historyPath()).isSymLink());
        QCOMPARE(QFileInfo(fixture.historyPath()).symLinkTarget(), pointsTo);
        const auto saved = HistoryFile::decode(readFile(target));
        QCOMPARE(saved.items.size(), targetExists ? 2 : 1);
        QCOMPARE(saved.items.first()->rawContent(), QStringLiteral("new copy"));
        QCOMPARE(fileMode(target), 0600);
        QCOMPARE(QDir(synced.path()).entryList(QDir::Files | QDir::Hidden).size(), hops);
    }

    void unreadableFileIsLeftAsItIs()
    {
        StoreFixture fixture;
        fixture.copy(QStringLiteral("older copy"));
        const QByteArray bytes = fixture.saved();
        QFile::setPermissions(fixture.historyPath(), {});
        {
            const FileModesEnforced enforced;
            const QString output = captureStdout([&] { fixture.reopen(); });
            QVERIFY2(output.startsWith("Could not load clip history: ") && output.contains("Permission denied"),
                     qPrintable(output));
        }
        QVERIFY(fixture.manager->items().isEmpty());
        fixture.copy(QStringLiteral("kept in memory"));
        fixture.manager->clearUnpinned();
        fixture.copy(QStringLiteral("and this"));
        QCOMPARE(fixture.manager->items().size(), 1);
        QCOMPARE(fileMode(fixture.historyPath()), 0);
        QCOMPARE(fixture.saved(), bytes);
        QCOMPARE(QDir(fixture.folderPath()).entryList(QDir::Files | QDir::Hidden), QStringList{"history.json"});
    }
};

QTEST_GUILESS_MAIN(TestHistoryFile)
#include "tst_history_file.moc"
