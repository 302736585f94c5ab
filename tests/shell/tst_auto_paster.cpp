// The paste sequence against in-memory fakes and virtual time.
#include "auto_paster.h"
#include "clipboard_manager.h"
#include "memory/manual_scheduler.h"
#include "memory/memory_input_synthesizer.h"
#include "memory/memory_pasteboard.h"
#include "memory/memory_window_system.h"
#include "test_support.h"

#include <QTest>

using namespace std::chrono_literals;
using namespace TestSupport;

Q_DECLARE_METATYPE(PasteStroke)

namespace {

struct PasteFixture
{
    PasteFixture()
        : paster(*store.manager, input, windows, scheduler)
    {
        store.copy(QStringLiteral("first"));
        store.copy(QStringLiteral("second"));
        store.copy(QStringLiteral("third"));
        windows.addWindow(10, {QStringLiteral("gedit"), QStringLiteral("Gedit")});
        windows.setActiveWindow(10);
    }
    ClipboardManager &manager() { return *store.manager; }
    ClipItemPtr itemWithText(const QString &text)
    {
        for (const auto &item : manager().items()) {
            if (item->rawContent() == text)
                return item;
        }
        return nullptr;
    }

    StoreFixture store;
    MemoryInputSynthesizer input;
    MemoryWindowSystem windows;
    ManualScheduler scheduler;
    AutoPaster paster;
};

} // namespace

class TestAutoPaster : public QObject
{
    Q_OBJECT
private slots:
    void trustedPasteRunsInOrderAndOnTime();
    void untrustedPasteEndsAtOnce();
    void permissionIsAskedOnEveryPaste();
    void strokeFitsTheWindowActiveWhenItIsPosted_data();
    void strokeFitsTheWindowActiveWhenItIsPosted();
    void twoQuickPastesRecordNothingOfOurs();
    void pasteOutlivingThePasterStillEnds();
    void nullItemDoesNothing();
};

void TestAutoPaster::trustedPasteRunsInOrderAndOnTime()
{
    PasteFixture f;
    const ClipItemPtr item = f.itemWithText(QStringLiteral("first"));
    QVERIFY(item);
    const int writesBefore = int(f.store.pasteboard->writes().size());
    int hides = 0;
    f.paster.paste(item, [&] {
        ++hides;
        // By the time the panel hides, the text is written, the item is on
        // top and the watcher has been told about our write.
        QVERIFY(f.manager().isPasting());
        QCOMPARE(f.store.pasteboard->writes().size(), writesBefore + 1);
        QCOMPARE(f.store.pasteboard->writes().last(), QStringLiteral("first"));
        QCOMPARE(f.store.pasteboard->string(), std::optional<QString>(QStringLiteral("first")));
        QCOMPARE(f.manager().lastChangeCount(), f.store.pasteboard->changeCount());
        QCOMPARE(f.manager().items().first()->id(), item->id());
        QVERIFY(f.input.strokes().isEmpty());
    });
    QCOMPARE(hides, 1);
    QCOMPARE(f.input.permissionQueries(), 1);
    QVERIFY(f.manager().isPasting());

    bool pastingAtStroke = false;
    f.input.setOnStroke([&](PasteStroke) { pastingAtStroke = f.manager().isPasting(); });
    f.scheduler.advance(179ms);
    QVERIFY(f.input.strokes().isEmpty());
    f.scheduler.advance(1ms);
    QCOMPARE(f.input.strokes(), QList<PasteStroke>{PasteStroke::ControlV});
    QVERIFY(pastingAtStroke);
    f.scheduler.advance(99ms);
    QVERIFY(f.manager().isPasting());
    f.scheduler.advance(1ms);
    QVERIFY(!f.manager().isPasting());
    QCOMPARE(f.scheduler.pendingCount(), 0);

    // The watcher does not take our own write for a copy.
    const qsizetype count = f.manager().items().size();
    f.manager().checkForChanges();
    QCOMPARE(f.manager().items().size(), count);
    QCOMPARE(f.manager().items().first()->id(), item->id());
}

void TestAutoPaster::untrustedPasteEndsAtOnce()
{
    PasteFixture f;
    f.input.setAllowed(false);
    int hides = 0;
    f.paster.paste(f.itemWithText(QStringLiteral("second")), [&] { ++hides; });
    QCOMPARE(hides, 1);
    QVERIFY(!f.manager().isPasting());
    QCOMPARE(f.store.pasteboard->string(), std::optional<QString>(QStringLiteral("second")));
    QCOMPARE(f.scheduler.pendingCount(), 0);
    f.scheduler.advance(1s);
    QVERIFY(f.input.strokes().isEmpty());
}

void TestAutoPaster::permissionIsAskedOnEveryPaste()
{
    PasteFixture f;
    f.input.setAllowed(false);
    f.paster.paste(f.itemWithText(QStringLiteral("first")), [] {});
    f.input.setAllowed(true);
    f.paster.paste(f.itemWithText(QStringLiteral("second")), [] {});
    QCOMPARE(f.input.permissionQueries(), 2);
    f.scheduler.advance(180ms);
    QCOMPARE(f.input.strokes().size(), 1);
}

void TestAutoPaster::strokeFitsTheWindowActiveWhenItIsPosted_data()
{
    QTest::addColumn<QString>("instanceName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<PasteStroke>("expected");
    QTest::newRow("editor") << "gedit" << "Gedit" << PasteStroke::ControlV;
    QTest::newRow("xterm") << "xterm" << "XTerm" << PasteStroke::ControlShiftV;
    QTest::newRow("gnome terminal by class") << "gnome-terminal-server" << "Gnome-terminal"
                                             << PasteStroke::ControlShiftV;
    QTest::newRow("kitty, upper case") << "KITTY" << "KITTY" << PasteStroke::ControlShiftV;
    QTest::newRow("terminal in a longer name is no terminal") << "sterm-notes" << "Stermnotes"
                                                              << PasteStroke::ControlV;
    QTest::newRow("browser") << "Navigator" << "firefox" << PasteStroke::ControlV;
}

void TestAutoPaster::strokeFitsTheWindowActiveWhenItIsPosted()
{
    QFETCH(QString, instanceName);
    QFETCH(QString, className);
    QFETCH(PasteStroke, expected);
    PasteFixture f;
    f.windows.addWindow(20, {instanceName, className});
    // The panel is active while the paste starts; the hide handler gives
    // the focus back to the target.
    f.windows.addWindow(99, {QStringLiteral("tavorindle"), QStringLiteral("Tavorindle")}, true);
    f.windows.setActiveWindow(99);
    f.paster.paste(f.itemWithText(QStringLiteral("third")), [&] { f.windows.activate(20); });
    f.scheduler.advance(180ms);
    QCOMPARE(f.input.strokes(), QList<PasteStroke>{expected});
}

void TestAutoPaster::twoQuickPastesRecordNothingOfOurs()
{
    PasteFixture f;
    const ClipItemPtr a = f.itemWithText(QStringLiteral("first"));
    const ClipItemPtr b = f.itemWithText(QStringLiteral("second"));
    f.paster.paste(a, [] {});
    f.scheduler.advance(50ms);
    f.paster.paste(b, [] {});
    const qint64 secondCount = f.store.pasteboard->changeCount();

    // The first paste's end lowers the flag while the second's is running.
    f.scheduler.advance(230ms); // t = 280 ms
    QCOMPARE(f.input.strokes().size(), 2);
    QVERIFY(!f.manager().isPasting());
    QCOMPARE(f.manager().lastChangeCount(), secondCount);
    const qsizetype count = f.manager().items().size();
    f.manager().checkForChanges();
    QCOMPARE(f.manager().items().size(), count);
    QCOMPARE(f.manager().items().first()->id(), b->id());
    f.scheduler.advance(50ms);
    QVERIFY(!f.manager().isPasting());

    // A real copy after that is recorded as usual.
    f.store.copy(QStringLiteral("copied later"));
    QCOMPARE(f.manager().items().first()->rawContent(), QStringLiteral("copied later"));
}

void TestAutoPaster::pasteOutlivingThePasterStillEnds()
{
    PasteFixture f;
    auto paster = std::make_unique<AutoPaster>(f.manager(), f.input, f.windows, f.scheduler);
    paster->paste(f.itemWithText(QStringLiteral("first")), [] {});
    paster.reset();
    f.scheduler.advance(300ms);
    QVERIFY(f.input.strokes().isEmpty());
    QVERIFY(!f.manager().isPasting());
}

void TestAutoPaster::nullItemDoesNothing()
{
    PasteFixture f;
    int hides = 0;
    const qint64 count = f.store.pasteboard->changeCount();
    f.paster.paste(nullptr, [&] { ++hides; });
    QCOMPARE(hides, 0);
    QCOMPARE(f.store.pasteboard->changeCount(), count);
    QVERIFY(!f.manager().isPasting());
}

QTEST_MAIN(TestAutoPaster)
#include "tst_auto_paster.moc"
