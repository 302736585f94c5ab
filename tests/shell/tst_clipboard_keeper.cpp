// Bringing back the newest item when the program that owned it quits.
#include "clipboard_keeper.h"
#include "clipboard_manager.h"
#include "memory/memory_pasteboard.h"
#include "test_support.h"

#include <QTest>

using namespace TestSupport;

class TestClipboardKeeper : public QObject
{
    Q_OBJECT
private slots:
    void newestItemIsOfferedAgainWithoutBeingRecorded_data()
    {
        QTest::addColumn<bool>("polled");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("earlier"); // a copy made before it, if any
        QTest::newRow("recorded copy") << true << "text" << "";
        QTest::newRow("copy not yet polled") << false << "text" << ""; // taken in first, then kept
        // Both analysed on a worker: the newest is the later, all the same.
        QTest::newRow("two large copies still analysed") << true << QString(40000, u'x') << QString(40000, u'y');
    }

    void newestItemIsOfferedAgainWithoutBeingRecorded()
    {
        QFETCH(bool, polled);
        QFETCH(QString, body);
        QFETCH(QString, earlier);
        StoreFixture f;
        ClipboardKeeper keeper(*f.manager);
        f.copy(QStringLiteral("older"));
        if (!earlier.isEmpty()) {
            f.pasteboard->simulateCopy(earlier);
            f.manager->checkForChanges();
        }
        const QString copied = "  newest " + body + " \n";
        f.pasteboard->simulateCopy(copied);
        if (polled)
            f.manager->checkForChanges();

        f.pasteboard->simulateOwnerVanished();
        QCOMPARE(keeper.restoredCount(), 1);
        f.manager->finishCaptures();
        // Exactly as it was copied, not as the item keeps it.
        QCOMPARE(f.pasteboard->writes(), QStringList{copied});
        QCOMPARE(f.manager->lastChangeCount(), f.pasteboard->changeCount());
        const QUuid newest = f.manager->items().first()->id();
        f.manager->checkForChanges();
        QCOMPARE(f.manager->items().size(), earlier.isEmpty() ? 2 : 3);
        QCOMPARE(f.manager->items().first()->id(), newest);
        QCOMPARE(f.manager->items().first()->rawContent(), copied.trimmed());
    }

    void lostContentIsNotKept_data()
    {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QString>("then");
        const QStringList utf8{QStringLiteral("UTF8_STRING")};
        const std::optional<QString> recorded(QStringLiteral("recorded"));
        QTest::newRow("password manager copy of the same text")
            << recorded << (utf8 + QStringList{QStringLiteral("x-kde-passwordManagerHint")}) << "";
        QTest::newRow("image without text") << std::optional<QString>() << QStringList{"image/png"} << "";
        QTest::newRow("only spaces") << std::optional<QString>(QStringLiteral(" \n ")) << utf8 << "";
        QTest::newRow("during a paste") << recorded << utf8 << "paste";
        QTest::newRow("no longer the newest item") << recorded << utf8 << "delete";
        QTest::newRow("another program copied before the loss was handled")
            << recorded << utf8 << "newer copy";
    }

    void lostContentIsNotKept()
    {
        QFETCH(std::optional<QString>, text);
        QFETCH(QStringList, types);
        QFETCH(QString, then);
        StoreFixture f;
        ClipboardKeeper keeper(*f.manager);
        f.copy(QStringLiteral("older"));
        f.copy(QStringLiteral("recorded"));
        f.copy(text.value_or(QString()), types);
        if (!text)
            f.pasteboard->simulateCopy(std::nullopt, types);
        ClipboardManager::PasteGuard paste;
        if (then == "paste")
            paste = f.manager->beginPaste();
        else if (then == "delete")
            f.manager->deleteItem(f.manager->items().first());
        const std::optional<QString> newer = then == "newer copy" ? std::optional<QString>(QStringLiteral("newer"))
                                                                  : std::nullopt;
        f.pasteboard->simulateOwnerVanished(newer);
        QCOMPARE(keeper.restoredCount(), 0);
        QVERIFY(f.pasteboard->writes().isEmpty());
        QCOMPARE(f.pasteboard->string(), newer);
        if (newer) { // recorded as usual
            f.manager->checkForChanges();
            QCOMPARE(f.manager->items().first()->rawContent(), *newer);
        }
    }
};

QTEST_MAIN(TestClipboardKeeper)
#include "tst_clipboard_keeper.moc"
