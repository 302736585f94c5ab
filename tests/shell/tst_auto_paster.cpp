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

namespace {

struct PasteFixture
{
    PasteFixture() : paster(manager, input, windows, scheduler)
    {
        for (const char *text : {"first", "second", "third"})
            store.copy(QString::fromLatin1(text));
        windows.addWindow(10, {QStringLiteral("gedit"), QStringLiteral("Gedit")});
        windows.setActiveWindow(10);
    }
    ClipItemPtr item(const QString &text)
    {
        for (const auto &item : manager.items()) {
            if (item->rawContent() == text)
                return item;
        }
        return nullptr;
    }
    // Whether the watcher, looking now, would record nothing new.
    bool watcherRecordsNothing()
    {
        const auto before = manager.items();
        manager.checkForChanges();
        return manager.items() == before;
    }

    TestSupport::StoreFixture store;
    ClipboardManager &manager = *store.manager;
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
    void pasteRunsInOrderAndOnTime()
    {
        PasteFixture f;
        const ClipItemPtr item = f.item(QStringLiteral("first"));
        int hides = 0;
        std::optional<bool> ended;
        f.paster.paste(item, [&] {
            ++hides;
            // By the time the panel hides, the text is written, the item is on
            // top and the watcher has been told about our write.
            QVERIFY(f.manager.isPasting());
            QCOMPARE(f.store.pasteboard->writes(), QStringList{QStringLiteral("first")});
            QCOMPARE(f.manager.lastChangeCount(), f.store.pasteboard->changeCount());
            QCOMPARE(f.manager.items().first()->id(), item->id());
            QVERIFY(f.input.strokes().isEmpty());
        }, [&](bool pressed) { ended = pressed; });
        QCOMPARE(hides, 1);
        QCOMPARE(f.input.permissionQueries(), 1);

        bool pastingAtStroke = false;
        f.input.setOnStroke([&](PasteStroke) { pastingAtStroke = f.manager.isPasting(); });
        f.scheduler.advance(179ms);
        QVERIFY(f.input.strokes().isEmpty());
        f.scheduler.advance(1ms);
        QCOMPARE(f.input.strokes(), QList<PasteStroke>{PasteStroke::ControlV});
        QVERIFY(pastingAtStroke);
        f.scheduler.advance(99ms);
        QVERIFY(f.manager.isPasting());
        QVERIFY(!ended);
        f.scheduler.advance(1ms);
        QVERIFY(!f.manager.isPasting());
        QCOMPARE(ended, std::optional(true));
        QCOMPARE(f.scheduler.pendingCount(), 0);
        QVERIFY(f.watcherRecordsNothing()); // our own write is no copy
        QCOMPARE(f.manager.items().first()->id(), item->id());

        // A null item does nothing at all.
        f.paster.paste(nullptr, [&] { ++hides; });
        QCOMPARE(hides, 1);
        QCOMPARE(f.store.pasteboard->writes().size(), 1);
        QVERIFY(!f.manager.isPasting());
    }

    void untrustedPasteEndsAtOnce()
    {
        PasteFixture f;
        f.input.setAllowed(false);
        int hides = 0;
        std::optional<bool> ended;
        f.paster.paste(f.item(QStringLiteral("second")), [&] { ++hides; },
                       [&](bool pressed) { ended = pressed; });
        QCOMPARE(hides, 1);
        QCOMPARE(ended, std::optional(false));
        QVERIFY(!f.manager.isPasting());
        QCOMPARE(f.store.pasteboard->string(), std::optional<QString>(QStringLiteral("second")));
        QCOMPARE(f.scheduler.pendingCount(), 0);
        f.scheduler.advance(1s);
        QVERIFY(f.input.strokes().isEmpty());

        // Asked again on every paste: allowed now, the next one strokes.
        f.input.setAllowed(true);
        f.paster.paste(f.item(QStringLiteral("first")), [] {});
        QCOMPARE(f.input.permissionQueries(), 2);
        f.scheduler.advance(180ms);
        QCOMPARE(f.input.strokes().size(), 1);
    }

    void strokeFitsTheWindowActiveWhenItIsPosted()
    {
        PasteFixture f;
        f.windows.addWindow(20, {QStringLiteral("xterm"), QStringLiteral("XTerm")});
        f.windows.addWindow(99, {QStringLiteral("tavorindle"), QStringLiteral("Tavorindle")}, true);
        // The panel is active while the paste starts; the hide handler gives
        // the focus to the target: a terminal, then no window at all.
        for (const WindowSystem::WindowId target : {20, 0}) {
            f.windows.setActiveWindow(99);
            f.paster.paste(f.item(QStringLiteral("third")), [&] { f.windows.setActiveWindow(target); });
            f.scheduler.advance(280ms);
        }
        QCOMPARE(f.input.strokes(), (QList<PasteStroke>{PasteStroke::ControlShiftV, PasteStroke::ControlV}));
    }

    void twoQuickPastesRecordNothingOfOurs()
    {
        PasteFixture f;
        f.paster.paste(f.item(QStringLiteral("first")), [] {});
        f.scheduler.advance(50ms);
        const ClipItemPtr second = f.item(QStringLiteral("second"));
        f.paster.paste(second, [] {});
        const qint64 secondCount = f.store.pasteboard->changeCount();

        // The first paste ends while the second's runs: the watcher still waits.
        f.scheduler.advance(230ms); // t = 280 ms
        QCOMPARE(f.input.strokes().size(), 2);
        QVERIFY(f.manager.isPasting());
        f.scheduler.advance(100ms);
        QVERIFY(!f.manager.isPasting());
        QCOMPARE(f.manager.lastChangeCount(), secondCount);
        QVERIFY(f.watcherRecordsNothing());
        QCOMPARE(f.manager.items().first()->id(), second->id());
        f.scheduler.advance(50ms);
        QVERIFY(!f.manager.isPasting());

        // A real copy after that is recorded as usual.
        f.store.copy(QStringLiteral("copied later"));
        QCOMPARE(f.manager.items().first()->rawContent(), QStringLiteral("copied later"));
    }

    void pasteOutlivingThePasterStillEnds()
    {
        PasteFixture f;
        auto paster = std::make_unique<AutoPaster>(f.manager, f.input, f.windows, f.scheduler);
        paster->paste(f.item(QStringLiteral("first")), [] {});
        paster.reset();
        f.scheduler.advance(300ms);
        QVERIFY(f.input.strokes().isEmpty());
        QVERIFY(!f.manager.isPasting());
    }
};

QTEST_MAIN(TestAutoPaster)
#include "tst_auto_paster.moc"
