// The Wayland clipboard against other programs, on ext data-control in the
// test compositor, which plays the other programs itself. (The zwlr
// protocol, with real programs in sway, is the end-to-end test's.)
#include "concealed_types.h"
#include "helper_process.h"
#include "wayland/wayland_connection.h"
#include "wayland/wayland_pasteboard.h"
#include "wayland_test_tools.h"

#include <QSignalSpy>
#include <QTest>

using namespace WaylandTestTools;

class TestWaylandPasteboard : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_compositor = std::make_unique<TestCompositor>();
        QVERIFY(m_compositor->isReady());
        m_connection = WaylandConnection::open(m_compositor->socketPath());
        QVERIFY(m_connection);
    }

    void cleanup()
    {
        m_connection.reset();
        m_compositor.reset();
    }

    void firstCopyAfterStartIsRecorded_data()
    {
        QTest::addColumn<QByteArray>("before"); // a command before we start
        QTest::addColumn<std::optional<QString>>("found");
        QTest::newRow("empty, announced as such") << QByteArray() << std::optional<QString>();
        QTest::newRow("empty, no opening event") << QByteArray("quiet") << std::optional<QString>();
        QTest::newRow("content present")
            << "offer serve text/plain;charset=utf-8 b64:" + QByteArray("from before").toBase64()
            << std::optional<QString>("from before");
    }

    void firstCopyAfterStartIsRecorded()
    {
        QFETCH(QByteArray, before);
        QFETCH(std::optional<QString>, found);
        if (!before.isEmpty())
            QVERIFY(m_compositor->command(before));
        auto pasteboard = makePasteboard();
        QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
        // What was found is learnt, not counted.
        QTRY_COMPARE(pasteboard->string(), found);
        QCOMPARE(pasteboard->changeCount(), 0);
        QCOMPARE(changed.count(), 0);

        QVERIFY(copy("serve", "first"));
        QTRY_COMPARE(pasteboard->string(), std::optional<QString>("first"));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(pasteboard->changeCount(), 1);
    }

    void recordsWhatAnotherProgramCopies_data()
    {
        QTest::addColumn<QByteArray>("types");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<bool>("read");
        QTest::addColumn<std::optional<QString>>("text");

        const QByteArray plain = "text/plain;charset=utf-8,text/plain";
        const qint64 cap = qint64(64) << 20;
        QTest::newRow("plain") << plain << QByteArray("hello") << cap << true << std::optional<QString>("hello");
        const QString multi = QStringLiteral("Grüße\n\tzweite Zeile ✓\n😀");
        QTest::newRow("multi-line UTF-8") << plain << multi.toUtf8() << cap << true << std::optional(multi);
        const QString big = QString("abcdefghijklmnopqrstuvwxyz").repeated(170000).left(4 << 20);
        QTest::newRow("4 MB") << plain << QByteArray("fill:4194304") << cap << true << std::optional(big);
        QTest::newRow("X11 text type only") << QByteArray("UTF8_STRING") << QByteArray("x") << cap << true
                                            << std::optional<QString>("x");
        QTest::newRow("concealed") << QByteArray("text/plain;charset=utf-8,x-kde-passwordManagerHint")
                                   << QByteArray("secret") << cap << false << std::optional<QString>();
        QByteArray crowd = plain;
        for (int i = 0; i < 1100; ++i)
            crowd += ",x-other-" + QByteArray::number(i);
        QTest::newRow("concealed past the 1,024th type") << crowd + ",x-kde-passwordManagerHint"
                                                         << QByteArray("secret") << cap << false
                                                         << std::optional<QString>();
        QTest::newRow("image only") << QByteArray("image/png") << QByteArray("\x89PNG") << cap << false
                                    << std::optional<QString>();
        QTest::newRow("exactly the limit") << plain << QByteArray("fill:1048576") << qint64(1 << 20) << true
                                           << std::optional(big.left(1 << 20));
        QTest::newRow("a byte past the limit") << plain << QByteArray("fill:1048577") << qint64(1 << 20) << true
                                               << std::optional<QString>();
    }

    void recordsWhatAnotherProgramCopies()
    {
        QFETCH(QByteArray, types);
        QFETCH(QByteArray, data);
        QFETCH(qint64, maxBytes);

        auto pasteboard = makePasteboard({.maxBytes = maxBytes});
        QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
        QVERIFY(copy("serve", data, types));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(pasteboard->changeCount(), 1);
        // Past the limit, one type more than it is kept: enough to refuse the copy.
        QCOMPARE(pasteboard->types(), std::optional(QString::fromUtf8(types).split(u',').mid(0, maxOfferedTypes + 1)));
        QTEST(pasteboard->string(), "text");
        // Each case has a compositor of its own: whatever was asked for was this copy.
        QTEST(m_compositor->program().printed("receive "), "read");
    }

    void aHungOwnersCopyIsGivenUp()
    {
        auto pasteboard = makePasteboard({.dataTimeout = std::chrono::milliseconds(300)});
        QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
        QVERIFY(copy("hang", "never sent"));
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(pasteboard->string(), std::nullopt);
        QVERIFY(!pasteboard->isReading());
    }

    void lossOfTheContentIsAnnounced_data()
    {
        QTest::addColumn<QByteArray>("loss");
        QTest::addColumn<bool>("offeredAgain");
        QTest::addColumn<QString>("after");
        QTest::newRow("cleared, or its owner quit") << QByteArray("clear") << false << QString();
        QTest::newRow("content offered again") << QByteArray("clear") << true << "lost text";
        QTest::newRow("a newer copy on its way") << QByteArray("swap serve text/plain;charset=utf-8 b64:"
                                                               + QByteArray("newer").toBase64())
                                                 << true << "newer";
    }

    void lossOfTheContentIsAnnounced()
    {
        QFETCH(QByteArray, loss);
        QFETCH(bool, offeredAgain);
        QFETCH(QString, after);
        auto pasteboard = makePasteboard();
        QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
        QVERIFY(copy("serve", "lost text"));
        QTRY_COMPARE(changed.count(), 1);

        // What the keeper does: look at the lost content, offer it again.
        std::optional<QString> seenWhileAnnounced;
        connect(pasteboard.get(), &Pasteboard::ownerVanished, this, [&] {
            seenWhileAnnounced = pasteboard->string();
            if (offeredAgain)
                QVERIFY(pasteboard->setStringIfUnowned(*seenWhileAnnounced));
        });
        // The owner quits; with swap, another program copies before we can answer.
        QVERIFY(m_compositor->command(loss));
        QTRY_COMPARE(seenWhileAnnounced, std::optional<QString>("lost text"));
        if (!offeredAgain) {
            QTRY_COMPARE(changed.count(), 2);
            QCOMPARE(pasteboard->changeCount(), 2);
            QCOMPARE(pasteboard->string(), std::nullopt);
            QCOMPARE(pasteboard->types(), std::nullopt);
            return;
        }
        // Either our claim holds, or the newer copy stands and is news.
        QTRY_COMPARE(pasteboard->string(), std::optional(after));
        // The claim goes out after one round trip and is in place after another.
        m_connection->roundtrip();
        m_connection->roundtrip();
        QCOMPARE(paste("text/plain;charset=utf-8"), std::optional(after.toUtf8()));
        const int changes = loss == "clear" ? 1 : 2;
        QCOMPARE(changed.count(), changes);
        QCOMPARE(pasteboard->changeCount(), changes + 1);
        // Nothing to make good outside an announced loss.
        QVERIFY(!pasteboard->setStringIfUnowned(QStringLiteral("late")));
    }

    void contentThatReadsEmptyAfterItsProgramQuitIsALoss_data()
    {
        QTest::addColumn<bool>("blank"); // its program is gone, the selection stays
        QTest::newRow("reads empty") << true;
        QTest::newRow("still served") << false;
    }

    void contentThatReadsEmptyAfterItsProgramQuitIsALoss()
    {
        QFETCH(bool, blank);
        auto pasteboard = makePasteboard();
        QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
        QVERIFY(copy("serve", "lost text"));
        QTRY_COMPARE(changed.count(), 1);
        std::optional<QString> seenWhileAnnounced;
        connect(pasteboard.get(), &Pasteboard::ownerVanished, this, [&] {
            seenWhileAnnounced = pasteboard->string();
            QVERIFY(pasteboard->setStringIfUnowned(*seenWhileAnnounced));
        });
        if (blank)
            QVERIFY(m_compositor->command("blank"));
        const auto reads = [&] {
            const auto lines = m_compositor->program().lines();
            return std::count_if(lines.begin(), lines.end(), [](const QByteArray &l) { return l.startsWith("receive "); });
        };
        QTRY_COMPARE(reads(), 1);
        pasteboard->checkForeignContentServed();
        // Read again, with no new selection announced.
        QTRY_COMPARE(reads(), 2);
        if (!blank) {
            QTRY_VERIFY(!pasteboard->isReading());
            QCOMPARE(seenWhileAnnounced, std::nullopt);
            QCOMPARE(changed.count(), 1);
            return;
        }
        QTRY_COMPARE(seenWhileAnnounced, std::optional<QString>("lost text"));
        // Offered again in its place, after a round trip.
        m_connection->roundtrip();
        m_connection->roundtrip();
        QCOMPARE(paste("text/plain;charset=utf-8"), std::optional(QByteArray("lost text")));
    }

    void ownWriteIsServedAndCountedOnce()
    {
        // Larger than a pipe holds, so that it is served across loop turns.
        const QString text = QStringLiteral("ours ✓\n").repeated(300000);
        auto pasteboard = makePasteboard();
        QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
        pasteboard->setString(text);
        QCOMPARE(pasteboard->changeCount(), 1);
        QCOMPARE(paste("text/plain;charset=utf-8"), std::optional(text.toUtf8()));
        // The compositor's echo of our write has come and gone by now, and
        // one that comes late is ours too.
        m_connection->roundtrip();
        QVERIFY(m_compositor->command("announce"));
        m_connection->roundtrip();
        QVERIFY(!pasteboard->isReading()); // not even read
        QCOMPARE(pasteboard->changeCount(), 1);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(pasteboard->string(), std::optional(text));

        // Another program's copy right after is news again.
        QVERIFY(copy("serve", "theirs"));
        QTRY_COMPARE(pasteboard->string(), std::optional<QString>("theirs"));
        QCOMPARE(changed.count(), 1);
    }

    void newerCopyReplacesAReadUnderWay_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("an owner that never writes") << QByteArray("hang") << QByteArray("never sent");
        QTest::newRow("an owner that writes slowly") << QByteArray("slow") << QByteArray("fill:100000");
    }

    void newerCopyReplacesAReadUnderWay()
    {
        QFETCH(QByteArray, mode);
        QFETCH(QByteArray, data);
        auto pasteboard = makePasteboard();
        QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
        StallMeter meter;
        QVERIFY(copy(mode, data));
        QTRY_VERIFY(pasteboard->isReading());
        QVERIFY(copy("serve", "next"));
        QTRY_COMPARE(pasteboard->string(), std::optional<QString>("next"));
        // The older read was dropped: it counted neither before nor after.
        QVERIFY(!pasteboard->isReading());
        QCOMPARE(changed.count(), 1);
        // A read that waited on the owner would have held the loop for
        // seconds (or for good); the bound leaves room for a busy machine.
        QVERIFY2(meter.longestMs() < 1000, qPrintable(QString::number(meter.longestMs())));
    }

    void readerThatStopsReadingCostsNothing()
    {
        auto pasteboard = makePasteboard({.serveTimeout = std::chrono::milliseconds(400)});
        pasteboard->setString(QString(8 << 20, u'q'));
        m_connection->roundtrip();
        StallMeter meter;
        QVERIFY(m_compositor->command("stall text/plain"));
        QTRY_COMPARE(pasteboard->servingCount(), 1);
        // Given up after the timeout; others are served meanwhile.
        QTRY_COMPARE_WITH_TIMEOUT(pasteboard->servingCount(), 0, 3000);
        QCOMPARE(paste("text/plain")->size(), 8 << 20);
        QVERIFY2(meter.longestMs() < 1000, qPrintable(QString::number(meter.longestMs())));
    }

    void endedDeviceAndLostCompositorAreSurvived()
    {
        auto pasteboard = makePasteboard();
        QVERIFY(copy("serve", "kept"));
        QTRY_COMPARE(pasteboard->string(), std::optional<QString>("kept"));

        QVERIFY(m_compositor->command("finish"));
        QTRY_VERIFY(!pasteboard->watchesChanges());
        const qint64 count = pasteboard->changeCount();
        QVERIFY(copy("serve", "unseen"));
        QTest::qWait(100);
        QCOMPARE(pasteboard->changeCount(), count);

        QSignalSpy lost(m_connection.get(), &WaylandConnection::lost);
        QVERIFY(m_compositor->command("drop"));
        QTRY_COMPARE(lost.count(), 1);
        QVERIFY(m_connection->isLost());
        // Writes still count, and what was learnt stays.
        pasteboard->setString(QStringLiteral("after"));
        QCOMPARE(pasteboard->changeCount(), count + 1);
        QCOMPARE(pasteboard->string(), std::optional<QString>("after"));
    }

private:
    // Another program copies data offered under the types; mode serve, hang or slow.
    bool copy(const QByteArray &mode, const QByteArray &data, const QByteArray &types = "text/plain;charset=utf-8")
    {
        const QByteArray argument = data.startsWith("fill:") ? data : "b64:" + data.toBase64();
        return m_compositor->command("offer " + mode + ' ' + types + ' ' + argument);
    }
    // Another program pastes; nothing when it got nothing.
    std::optional<QByteArray> paste(const QByteArray &type)
    {
        m_compositor->program().write("paste " + type);
        const auto line = m_compositor->program().waitForLine("pasted ");
        if (!line || line->startsWith("pasted -1"))
            return std::nullopt;
        return QByteArray::fromBase64(line->split(' ').value(2));
    }
    std::unique_ptr<WaylandPasteboard> makePasteboard(PasteboardLimits limits = {})
    {
        auto pasteboard = std::make_unique<WaylandPasteboard>(m_connection, WaylandPasteboard::Protocol::Ext, limits);
        // The selection present at start is learnt, not counted.
        m_connection->roundtrip();
        return pasteboard;
    }

    std::unique_ptr<TestCompositor> m_compositor;
    std::shared_ptr<WaylandConnection> m_connection;
};

QTEST_MAIN(TestWaylandPasteboard)
#include "tst_wayland_pasteboard.moc"
