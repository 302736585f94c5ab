// The Wayland clipboard against real programs: each case runs on sway's
// zwlr data-control with real clients, and on ext data-control in the test
// compositor, which plays the other programs itself.
#include "wayland/wayland_connection.h"
#include "wayland/wayland_pasteboard.h"
#include "wayland_test_tools.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace WaylandTestTools;
using Protocol = WaylandPasteboard::Protocol;

namespace {

// Another program, in either world.
class World
{
public:
    virtual ~World() = default;
    virtual bool isReady() const = 0;
    virtual QString error() const = 0;
    virtual const Compositor &compositor() const = 0;
    virtual Protocol protocol() const = 0;
    // Another program copies data offered under the types; mode serve, hang or slow.
    virtual bool copy(const QByteArray &mode, const QStringList &types, const QByteArray &data) = 0;
    virtual bool clear() = 0;
    virtual bool ownerQuits() = 0;
    // The owner quits and another program copies before we can answer;
    // false where that cannot be staged.
    virtual bool ownerQuitsAndAnotherCopies(const QByteArray &data) = 0;
    // Whether the last copier was asked for its content.
    virtual bool ownerWasRead() = 0;
    // Another program pastes; nothing when it got nothing.
    virtual std::optional<QByteArray> paste(const QByteArray &type) = 0;
    // Another program asks for our content and never reads it.
    virtual void stallingReader(const QByteArray &type) = 0;
};

QByteArray dataArgument(const QByteArray &data)
{
    return data.startsWith("fill:") ? data : "b64:" + data.toBase64();
}

class ExtWorld final : public World
{
public:
    bool isReady() const override { return m_compositor.isReady(); }
    QString error() const override { return QStringLiteral("the test compositor did not start"); }
    const Compositor &compositor() const override { return m_compositor; }
    Protocol protocol() const override { return Protocol::Ext; }
    bool copy(const QByteArray &mode, const QStringList &types, const QByteArray &data) override
    {
        m_receivesBefore = receives();
        return m_compositor.command("offer " + mode + ' ' + types.join(u',').toUtf8() + ' ' + dataArgument(data));
    }
    bool clear() override { return m_compositor.command("clear"); }
    // Here nothing else holds the content: its owner going is the same empty selection.
    bool ownerQuits() override { return clear(); }
    bool ownerQuitsAndAnotherCopies(const QByteArray &data) override
    {
        return m_compositor.command("swap serve text/plain;charset=utf-8 " + dataArgument(data));
    }
    bool ownerWasRead() override { return receives() > m_receivesBefore; }
    std::optional<QByteArray> paste(const QByteArray &type) override
    {
        m_compositor.program().write("paste " + type);
        const auto line = m_compositor.program().waitForLine("pasted ");
        if (!line || line->startsWith("pasted -1"))
            return std::nullopt;
        const QByteArray encoded = line->split(' ').value(2);
        return encoded == "-" ? QByteArray() : QByteArray::fromBase64(encoded);
    }
    void stallingReader(const QByteArray &type) override { m_compositor.command("stall " + type); }

private:
    int receives()
    {
        int count = 0;
        for (const QByteArray &line : m_compositor.program().lines())
            count += line.startsWith("receive ");
        return count;
    }
    TestCompositor m_compositor;
    int m_receivesBefore = 0;
};

class SwayWorld final : public World
{
public:
    bool isReady() const override { return m_sway.isReady(); }
    QString error() const override { return m_sway.error(); }
    const Compositor &compositor() const override { return m_sway; }
    Protocol protocol() const override { return Protocol::Wlr; }
    bool copy(const QByteArray &mode, const QStringList &types, const QByteArray &data) override
    {
        // The earlier owner is not ended: the new copy replaces its content
        // and it quits by itself, as real programs do.
        if (m_owner)
            m_replaced.push_back(std::move(m_owner));
        m_owner = std::make_unique<Program>(helperPath("wl_clip_owner"),
                                            QStringList{QString::fromUtf8(mode), types.join(u','),
                                                        QString::fromUtf8(dataArgument(data))},
                                            m_sway.environment());
        return m_owner->waitForLine("ready").has_value();
    }
    bool clear() override
    {
        return run(QStringLiteral("wl-copy"), {"--clear"}, m_sway.environment());
    }
    bool ownerQuits() override
    {
        if (!m_owner)
            return false;
        m_owner->kill();
        return true;
    }
    bool ownerQuitsAndAnotherCopies(const QByteArray &) override { return false; }
    bool ownerWasRead() override { return m_owner && m_owner->printed("receive "); }
    std::optional<QByteArray> paste(const QByteArray &type) override
    {
        QByteArray output;
        if (!run(QStringLiteral("wl-paste"), {"--no-newline", "--type", QString::fromUtf8(type)},
                 m_sway.environment(), &output))
            return std::nullopt;
        return output;
    }
    void stallingReader(const QByteArray &type) override
    {
        // wl-paste blocks on a pipe that nobody drains.
        m_stalled = std::make_unique<Program>(
            QStringLiteral("sh"), QStringList{"-c", "wl-paste --type '" + QString::fromUtf8(type) + "' | sleep 30"},
            m_sway.environment());
    }

private:
    HeadlessSway m_sway;
    std::vector<std::unique_ptr<Program>> m_replaced;
    std::unique_ptr<Program> m_owner;
    std::unique_ptr<Program> m_stalled;
};

// The longest time our event loop went without turning while fn's
// condition was awaited.
class StallMeter
{
public:
    StallMeter()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.restart());
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

} // namespace

class TestWaylandPasteboard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase_data();
    void initTestCase();
    void init();
    void cleanup();

    void contentPresentAtStartIsNoChange();
    void recordsWhatAnotherProgramCopies_data();
    void recordsWhatAnotherProgramCopies();
    void lossOfTheContentIsAnnounced_data();
    void lossOfTheContentIsAnnounced();
    void ownWriteIsServedAndCountedOnce();
    void hungOwnerStallsNothing();
    void newerCopyAbandonsASlowRead();
    void readerThatStopsReadingCostsNothing();
    void endedDeviceAndLostCompositorAreSurvived();

private:
    World &world();
    std::unique_ptr<WaylandPasteboard> makePasteboard(PasteboardLimits limits = {});

    std::unique_ptr<World> m_ext;
    std::unique_ptr<World> m_sway;
    std::shared_ptr<WaylandConnection> m_connection;
};

void TestWaylandPasteboard::initTestCase_data()
{
    QTest::addColumn<bool>("sway");
    QTest::newRow("ext, test compositor") << false;
    QTest::newRow("wlr, sway") << true;
}

void TestWaylandPasteboard::initTestCase()
{
    m_ext = std::make_unique<ExtWorld>();
    QVERIFY2(m_ext->isReady(), qPrintable(m_ext->error()));
    m_sway = std::make_unique<SwayWorld>();
    QVERIFY2(m_sway->isReady(), qPrintable(m_sway->error()));
}

World &TestWaylandPasteboard::world()
{
    QFETCH_GLOBAL(bool, sway);
    return sway ? *m_sway : *m_ext;
}

void TestWaylandPasteboard::init()
{
    m_connection = WaylandConnection::open(world().compositor().socketPath());
    QVERIFY(m_connection);
    // Each case starts from an empty clipboard.
    QVERIFY(world().clear());
}

void TestWaylandPasteboard::cleanup()
{
    m_connection.reset();
}

std::unique_ptr<WaylandPasteboard> TestWaylandPasteboard::makePasteboard(PasteboardLimits limits)
{
    auto pasteboard = std::make_unique<WaylandPasteboard>(m_connection, world().protocol(), limits);
    // The selection present at start is learnt, not counted.
    m_connection->roundtrip();
    return pasteboard;
}

void TestWaylandPasteboard::contentPresentAtStartIsNoChange()
{
    QVERIFY(world().copy("serve", {"text/plain;charset=utf-8"}, "from before"));
    auto pasteboard = makePasteboard();
    QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
    QTRY_COMPARE(pasteboard->string(), std::optional<QString>("from before"));
    QCOMPARE(pasteboard->changeCount(), 0);
    QCOMPARE(changed.count(), 0);
}

void TestWaylandPasteboard::recordsWhatAnotherProgramCopies_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qint64>("maxBytes");
    QTest::addColumn<bool>("read");
    QTest::addColumn<std::optional<QString>>("text");

    const QStringList plain{"text/plain;charset=utf-8", "text/plain"};
    const qint64 cap = qint64(64) << 20;
    QTest::newRow("plain") << plain << QByteArray("hello") << cap << true << std::optional<QString>("hello");
    const QString multi = QStringLiteral("Grüße\n\tzweite Zeile ✓\n😀");
    QTest::newRow("multi-line UTF-8") << plain << multi.toUtf8() << cap << true << std::optional(multi);
    QString big;
    for (int i = 0; i < 4 << 20; ++i)
        big += QChar(u'a' + i % 26);
    QTest::newRow("4 MB") << plain << QByteArray("fill:4194304") << cap << true << std::optional(big);
    QTest::newRow("X11 text type only") << QStringList{"UTF8_STRING"} << QByteArray("x") << cap << true
                                        << std::optional<QString>("x");
    QTest::newRow("concealed") << QStringList{"text/plain;charset=utf-8", "x-kde-passwordManagerHint"}
                               << QByteArray("secret") << cap << false << std::optional<QString>();
    QTest::newRow("image only") << QStringList{"image/png"} << QByteArray("\x89PNG") << cap << false
                                << std::optional<QString>();
    QTest::newRow("oversize") << plain << QByteArray("fill:2000000") << qint64(1 << 20) << true
                              << std::optional<QString>();
}

void TestWaylandPasteboard::recordsWhatAnotherProgramCopies()
{
    QFETCH(QStringList, types);
    QFETCH(QByteArray, data);
    QFETCH(qint64, maxBytes);
    QFETCH(bool, read);
    QFETCH(std::optional<QString>, text);

    PasteboardLimits limits;
    limits.maxBytes = maxBytes;
    auto pasteboard = makePasteboard(limits);
    QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
    const qint64 before = pasteboard->changeCount();
    QVERIFY(world().copy("serve", types, data));
    QTRY_COMPARE(changed.count(), 1);
    QCOMPARE(pasteboard->changeCount(), before + 1);
    QCOMPARE(pasteboard->types(), std::optional(types));
    QCOMPARE(pasteboard->string(), text);
    QCOMPARE(world().ownerWasRead(), read);
}

void TestWaylandPasteboard::lossOfTheContentIsAnnounced_data()
{
    QTest::addColumn<QByteArray>("loss");
    QTest::addColumn<bool>("offeredAgain");
    QTest::addColumn<QString>("after");
    QTest::newRow("cleared") << QByteArray("clear") << false << QString();
    QTest::newRow("owner quits") << QByteArray("quit") << false << QString();
    QTest::newRow("owner quits, content offered again") << QByteArray("quit") << true << "lost text";
    QTest::newRow("owner quits, a newer copy on its way") << QByteArray("swap") << true << "newer";
}

void TestWaylandPasteboard::lossOfTheContentIsAnnounced()
{
    QFETCH(QByteArray, loss);
    QFETCH(bool, offeredAgain);
    QFETCH(QString, after);
    auto pasteboard = makePasteboard();
    QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
    QVERIFY(world().copy("serve", {"text/plain;charset=utf-8"}, "lost text"));
    QTRY_COMPARE(changed.count(), 1);

    // What the keeper does: look at the lost content, offer it again.
    std::optional<QString> seenWhileAnnounced;
    connect(pasteboard.get(), &Pasteboard::ownerVanished, this, [&] {
        seenWhileAnnounced = pasteboard->string();
        if (offeredAgain)
            QVERIFY(pasteboard->setStringIfUnowned(*seenWhileAnnounced));
    });
    const qint64 before = pasteboard->changeCount();
    if (loss == "swap" && !world().ownerQuitsAndAnotherCopies(after.toUtf8()))
        QSKIP("cannot be staged here");
    else if (loss != "swap")
        QVERIFY(loss == "quit" ? world().ownerQuits() : world().clear());
    QTRY_VERIFY(seenWhileAnnounced.has_value());
    QCOMPARE(*seenWhileAnnounced, QStringLiteral("lost text"));
    if (!offeredAgain) {
        QTRY_COMPARE(changed.count(), 2);
        QCOMPARE(pasteboard->changeCount(), before + 1);
        QCOMPARE(pasteboard->string(), std::nullopt);
        QCOMPARE(pasteboard->types(), std::nullopt);
        return;
    }
    // Either our claim holds, or the newer copy stands and is news.
    QTRY_COMPARE(pasteboard->string(), std::optional(after));
    // The claim goes out after one round trip and is in place after another.
    m_connection->roundtrip();
    m_connection->roundtrip();
    QCOMPARE(world().paste("text/plain;charset=utf-8"), std::optional(after.toUtf8()));
    QCOMPARE(changed.count(), loss == "swap" ? 2 : 1);
    QCOMPARE(pasteboard->changeCount(), before + (loss == "swap" ? 2 : 1));
    // Nothing to make good outside an announced loss.
    QVERIFY(!pasteboard->setStringIfUnowned(QStringLiteral("late")));
}

void TestWaylandPasteboard::ownWriteIsServedAndCountedOnce()
{
    // Larger than a pipe holds, so that it is served across loop turns.
    const QString text = QStringLiteral("ours ✓\n").repeated(300000);
    const QByteArray type("text/plain;charset=utf-8");
    auto pasteboard = makePasteboard();
    QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
    const qint64 before = pasteboard->changeCount();
    pasteboard->setString(text);
    QCOMPARE(pasteboard->changeCount(), before + 1);
    QCOMPARE(world().paste(type), std::optional(text.toUtf8()));
    // The compositor's echo of our write has come and gone by now.
    m_connection->roundtrip();
    QTest::qWait(50);
    QCOMPARE(pasteboard->changeCount(), before + 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(pasteboard->string(), std::optional(text));

    // Another program's copy right after is news again.
    QVERIFY(world().copy("serve", {"text/plain;charset=utf-8"}, "theirs"));
    QTRY_COMPARE(pasteboard->string(), std::optional<QString>("theirs"));
    QCOMPARE(changed.count(), 1);
}

void TestWaylandPasteboard::hungOwnerStallsNothing()
{
    auto pasteboard = makePasteboard();
    QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
    StallMeter meter;
    QVERIFY(world().copy("hang", {"text/plain;charset=utf-8"}, "never sent"));
    QTRY_VERIFY(pasteboard->isReading());
    QTest::qWait(300);
    QCOMPARE(changed.count(), 0);
    QVERIFY(world().copy("serve", {"text/plain;charset=utf-8"}, "next"));
    QTRY_COMPARE(pasteboard->string(), std::optional<QString>("next"));
    QCOMPARE(changed.count(), 1);
    // A read that waited on the owner would have held the loop for seconds;
    // the bound leaves room for a busy machine.
    QVERIFY2(meter.longestMs() < 250, qPrintable(QString::number(meter.longestMs())));
}

void TestWaylandPasteboard::newerCopyAbandonsASlowRead()
{
    auto pasteboard = makePasteboard();
    QSignalSpy changed(pasteboard.get(), &Pasteboard::changed);
    QVERIFY(world().copy("slow", {"text/plain;charset=utf-8"}, "fill:100000"));
    QTRY_VERIFY(pasteboard->isReading());
    QTest::qWait(100);
    QVERIFY(world().copy("serve", {"text/plain;charset=utf-8"}, "newer"));
    QTRY_COMPARE(pasteboard->string(), std::optional<QString>("newer"));
    QTest::qWait(300);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(pasteboard->string(), std::optional<QString>("newer"));
}

void TestWaylandPasteboard::readerThatStopsReadingCostsNothing()
{
    PasteboardLimits limits;
    limits.serveTimeout = std::chrono::milliseconds(400);
    auto pasteboard = makePasteboard(limits);
    pasteboard->setString(QString(8 << 20, u'q'));
    m_connection->roundtrip();
    StallMeter meter;
    world().stallingReader("text/plain");
    QTRY_COMPARE(pasteboard->servingCount(), 1);
    // Given up after the timeout; others are served meanwhile.
    QTRY_COMPARE_WITH_TIMEOUT(pasteboard->servingCount(), 0, 3000);
    QCOMPARE(world().paste("text/plain")->size(), 8 << 20);
    QVERIFY2(meter.longestMs() < 250, qPrintable(QString::number(meter.longestMs())));
}

void TestWaylandPasteboard::endedDeviceAndLostCompositorAreSurvived()
{
    QFETCH_GLOBAL(bool, sway);
    if (sway)
        QSKIP("sway cannot be told to end a device or drop a client");
    auto &compositor = static_cast<TestCompositor &>(const_cast<Compositor &>(world().compositor()));
    auto pasteboard = makePasteboard();
    QVERIFY(world().copy("serve", {"text/plain;charset=utf-8"}, "kept"));
    QTRY_COMPARE(pasteboard->string(), std::optional<QString>("kept"));

    QVERIFY(compositor.command("finish"));
    QTRY_VERIFY(!pasteboard->watchesChanges());
    const qint64 count = pasteboard->changeCount();
    QVERIFY(world().copy("serve", {"text/plain;charset=utf-8"}, "unseen"));
    QTest::qWait(100);
    QCOMPARE(pasteboard->changeCount(), count);

    QSignalSpy lost(m_connection.get(), &WaylandConnection::lost);
    QVERIFY(compositor.command("drop"));
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(m_connection->isLost());
    // Writes still count, and what was learnt stays.
    pasteboard->setString(QStringLiteral("after"));
    QCOMPARE(pasteboard->changeCount(), count + 1);
    QCOMPARE(pasteboard->string(), std::optional<QString>("after"));
}

QTEST_MAIN(TestWaylandPasteboard)
#include "tst_wayland_pasteboard.moc"
