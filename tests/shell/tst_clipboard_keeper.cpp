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
    void newestItemIsOfferedAgainWithoutBeingRecorded();
    void copyNotYetPolledIsRecordedThenKept();
    void lostContentIsNotKept_data();
    void lostContentIsNotKept();
    void nothingIsKeptDuringAPaste();
};

void TestClipboardKeeper::newestItemIsOfferedAgainWithoutBeingRecorded()
{
    StoreFixture f;
    ClipboardKeeper keeper(*f.manager);
    f.copy(QStringLiteral("older"));
    f.copy(QStringLiteral("  newest text \n"));
    const QUuid newest = f.manager->items().first()->id();

    f.pasteboard->simulateOwnerVanished();
    QCOMPARE(keeper.restoredCount(), 1);
    QCOMPARE(f.pasteboard->writes(), QStringList{QStringLiteral("newest text")});
    QCOMPARE(f.pasteboard->string(), std::optional<QString>(QStringLiteral("newest text")));
    QCOMPARE(f.manager->lastChangeCount(), f.pasteboard->changeCount());
    f.manager->checkForChanges();
    QCOMPARE(f.manager->items().size(), 2);
    QCOMPARE(f.manager->items().first()->id(), newest);
}

void TestClipboardKeeper::copyNotYetPolledIsRecordedThenKept()
{
    StoreFixture f;
    ClipboardKeeper keeper(*f.manager);
    f.pasteboard->simulateCopy(QStringLiteral("copied and gone at once"));
    f.pasteboard->simulateOwnerVanished();
    QCOMPARE(f.manager->items().size(), 1);
    QCOMPARE(f.pasteboard->string(), std::optional<QString>(QStringLiteral("copied and gone at once")));
    QCOMPARE(keeper.restoredCount(), 1);
}

void TestClipboardKeeper::lostContentIsNotKept_data()
{
    QTest::addColumn<std::optional<QString>>("text");
    QTest::addColumn<QStringList>("types");
    QTest::newRow("password manager copy of the same text")
        << std::optional<QString>(QStringLiteral("recorded"))
        << QStringList{QStringLiteral("UTF8_STRING"), QStringLiteral("x-kde-passwordManagerHint")};
    QTest::newRow("transient copy")
        << std::optional<QString>(QStringLiteral("recorded"))
        << QStringList{QStringLiteral("UTF8_STRING"), QStringLiteral("Pasteboard type flag - transient")};
    QTest::newRow("image without text") << std::optional<QString>() << QStringList{QStringLiteral("image/png")};
    QTest::newRow("only spaces") << std::optional<QString>(QStringLiteral(" \n ")) << QStringList{QStringLiteral("UTF8_STRING")};
}

void TestClipboardKeeper::lostContentIsNotKept()
{
    QFETCH(std::optional<QString>, text);
    QFETCH(QStringList, types);
    StoreFixture f;
    ClipboardKeeper keeper(*f.manager);
    f.copy(QStringLiteral("recorded"));
    f.copy(text.value_or(QString()), types);
    if (!text)
        f.pasteboard->simulateCopy(std::nullopt, types);
    f.pasteboard->simulateOwnerVanished();
    QCOMPARE(keeper.restoredCount(), 0);
    QVERIFY(f.pasteboard->writes().isEmpty());
    QCOMPARE(f.pasteboard->string(), std::nullopt);
}

void TestClipboardKeeper::nothingIsKeptDuringAPaste()
{
    StoreFixture f;
    ClipboardKeeper keeper(*f.manager);
    f.copy(QStringLiteral("recorded"));
    f.manager->setIsPasting(true);
    f.pasteboard->simulateOwnerVanished();
    QCOMPARE(keeper.restoredCount(), 0);
}

QTEST_MAIN(TestClipboardKeeper)
#include "tst_clipboard_keeper.moc"
