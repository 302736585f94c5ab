// What the program makes of the GNOME Shell bridge's messages: malformed
// ones refused, stale ones ignored, our own write's echo not counted twice.
#include "concealed_types.h"
#include "gnome/bridge_clipboard_state.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using Origin = BridgeClipboardChange::Origin;

namespace {

QVariantMap wellFormed()
{
    return {{"serial", QVariant::fromValue<quint64>(7)},
            {"types", QStringList{"text/plain;charset=utf-8"}},
            {"concealed", false},
            {"origin", QString("wayland")},
            {"text-readable", true}};
}

// One step of a conversation with the bridge: a change it reports, our own
// write, or that write failing.
struct Step
{
    enum Kind { Report, Write, WriteFails, Restart } kind = Report;
    quint64 serial = 0;
    Origin origin = Origin::Wayland;
    QString text = {};
    bool concealed = false;
    quint64 token = 0;
    bool initial = false;
};

Step report(quint64 serial, Origin origin, const QString &text = {}, bool concealed = false)
{
    return {Step::Report, serial, origin, text, concealed};
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestGnomeBridgeMessages : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data()
    {
        QTest::addColumn<QVariantMap>("change");
        QTest::addColumn<QString>("error");
        auto with = [](const QString &key, const QVariant &value) {
            QVariantMap map = wellFormed();
            if (value.isValid())
                map.insert(key, value);
            else
                map.remove(key);
            return map;
        };
        QTest::newRow("well formed") << wellFormed() << QString();
        QTest::newRow("no serial") << with("serial", {}) << "missing field \"serial\"";
        QTest::newRow("serial as text") << with("serial", QString("7")) << "field \"serial\" has type ";
        QTest::newRow("signed serial") << with("serial", qint64(7)) << "field \"serial\" has type ";
        QTest::newRow("types as text") << with("types", QString("text/plain")) << "field \"types\" has type ";
        QTest::newRow("no origin") << with("origin", {}) << "missing field \"origin\"";
        QTest::newRow("unknown origin") << with("origin", QString("pipe")) << "unknown origin \"pipe\"";
        QTest::newRow("readable as text") << with("text-readable", QString("yes"))
                                          << "field \"text-readable\" has type ";
        QTest::newRow("concealed text") << with("concealed", true) << "text offered for a concealed copy";
        QVariantMap ours = with("origin", QString("ours"));
        QTest::newRow("our write without token") << ours << "our own write without its token";
    }

    void decodes()
    {
        QFETCH(QVariantMap, change);
        QFETCH(QString, error);
        QString actual;
        const auto decoded = decodeClipboardChange(change, &actual);
        // After "has type" comes Qt's name of the type, not ours to check.
        QCOMPARE(error.endsWith(u' ') && actual.size() > error.size() ? actual.first(error.size()) : actual, error);
        QCOMPARE(decoded.has_value(), error.isEmpty());
        QVERIFY(!decoded || (decoded->serial == 7 && decoded->origin == Origin::Wayland && decoded->textReadable));
    }

    // The shell's judgement is a hint: a copy the program's own rule calls
    // concealed is never read, whatever the shell said.
    void programRuleDecidesConcealment_data()
    {
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<bool>("concealed");
        const QStringList text{"text/plain;charset=utf-8"};
        QStringList crowd = text;
        for (int i = 0; i < 1100; ++i)
            crowd << QStringLiteral("x-other-%1").arg(i);
        QTest::newRow("plain text") << text << false;
        QTest::newRow("a marker") << text + QStringList{"x-kde-passwordManagerHint"} << true;
        QTest::newRow("a marker past the 1,024th type") << crowd + QStringList{"x-kde-passwordManagerHint"} << true;
    }

    void programRuleDecidesConcealment()
    {
        QFETCH(QStringList, types);
        QFETCH(bool, concealed);
        QVariantMap map = wellFormed();
        map.insert("types", types);
        const auto decoded = decodeClipboardChange(map, nullptr);
        QVERIFY(decoded);
        QCOMPARE(decoded->concealed, concealed);
        QCOMPARE(decoded->textReadable, !concealed);
    }

    // The extension decides concealment and the text type before the
    // program sees a copy: its rules are the program's, entry for entry.
    void extensionSharesTheProgramsRules()
    {
        const QString gjs = QStandardPaths::findExecutable("gjs");
        if (gjs.isEmpty())
            QSKIP("gjs is not installed");
        QProcess process;
        process.start(gjs, {"-c", QStringLiteral("imports.searchPath.unshift('%1'); const {Decisions} = imports.decisions;"
                                                 "print(JSON.stringify([Decisions.concealedTypes, Decisions.textTypes,"
                                                 "Decisions.maxTextBytes, Decisions.maxTypes]));")
                                  .arg(TAVORINDLE_SOURCE_DIR "/gnome-extension")});
        QVERIFY(process.waitForFinished(20000));
        const QJsonArray rules = QJsonDocument::fromJson(process.readAllStandardOutput()).array();
        QStringList textTypes;
        for (const char *type : textMimeTypes)
            textTypes << QString::fromLatin1(type);
        QCOMPARE(rules.at(0).toVariant().toStringList(), concealedPasteboardTypes());
        QCOMPARE(rules.at(1).toVariant().toStringList(), textTypes);
        QCOMPARE(qint64(rules.at(2).toDouble()), PasteboardLimits{}.maxBytes);
        QCOMPARE(qsizetype(rules.at(3).toInt()), maxOfferedTypes);
    }

    void focusNeedsItsWindow()
    {
        QString error;
        QVERIFY(!decodeFocus({{"wm-class", QString("foot")}}, &error));
        QCOMPARE(error, QString("missing field \"window\""));
        const auto focus = decodeFocus({{"window", QVariant::fromValue<quint64>(3)},
                                        {"wm-class", QString("foot")},
                                        {"pid", qint64(42)}}, &error);
        QVERIFY(focus);
        QCOMPARE(focus->wmClass, QString("foot"));
        QCOMPARE(focus->pid, 42);
    }

    void conversations_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<int>("countMoves");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("concealed");

        Step write{Step::Write, 0, Origin::Ours, "mine"};
        Step echo{Step::Report, 5, Origin::Ours, {}, false, 1};
        Step initial = report(1, Origin::Wayland, "there before us");
        initial.initial = true;

        QTest::newRow("a late or repeated serial is no change")
            << QList{report(2, Origin::Wayland, "new"), report(1, Origin::X11, "old"), report(2, Origin::X11, "again")}
            << 1 << "new" << false;
        QTest::newRow("the state found at start is no change") << QList{initial} << 0 << "there before us" << false;
        QTest::newRow("our write counts once") << QList{write, echo} << 1 << "mine" << false;
        QTest::newRow("what was sent before our write's echo is older")
            << QList{write, report(4, Origin::Wayland, "before"), echo, report(6, Origin::X11, "after")} << 2
            << "after" << false;
        // The first write's echo comes while the second is awaited: what
        // follows it still happened before the second took effect.
        QTest::newRow("two writes in flight")
            << QList{write, Step{Step::Write, 0, Origin::Ours, "second"}, echo,
                     report(6, Origin::Wayland, "between"), Step{Step::Report, 7, Origin::Ours, {}, false, 2}}
            << 2 << "second" << false;
        const Step refused{Step::WriteFails, 0, Origin::Ours, {}, false, 1};
        QTest::newRow("a refused write stops the wait")
            << QList{write, refused, report(3, Origin::X11, "next")} << 2 << "next" << false;
        QTest::newRow("a refused write brings back what came meanwhile")
            << QList{write, report(4, Origin::Wayland, "taken meanwhile"), refused} << 2 << "taken meanwhile"
            << false;
        QTest::newRow("Mutter's re-offer of the same text is no change")
            << QList{report(1, Origin::Wayland, "kept"), report(2, Origin::Keeper, "kept")} << 1 << "kept" << false;
        QTest::newRow("a re-offer of a concealed copy stays concealed")
            << QList{report(1, Origin::Wayland, {}, true), report(2, Origin::Keeper, {}, true)} << 1 << "" << true;
        QTest::newRow("an owner gone empties the clipboard")
            << QList{report(1, Origin::Wayland, "lost"), report(2, Origin::None)} << 2 << "" << false;
        QTest::newRow("a restarted bridge counts anew")
            << QList{report(9, Origin::Wayland, "a"), Step{Step::Restart}, report(1, Origin::Wayland, "b")} << 2
            << "b" << false;
    }

    void conversations()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(int, countMoves);

        BridgeClipboardState state;
        for (const Step &step : steps) {
            switch (step.kind) {
            case Step::Write:
                state.beginOwnWrite(step.text);
                break;
            case Step::WriteFails:
                state.ownWriteFailed(step.token);
                break;
            case Step::Restart:
                state.bridgeRestarted();
                break;
            case Step::Report: {
                BridgeClipboardChange change;
                change.serial = step.serial;
                change.origin = step.origin;
                change.concealed = step.concealed;
                change.token = step.token;
                change.initial = step.initial;
                if (!step.text.isEmpty())
                    change.text = step.text;
                const qint64 before = state.changeCount();
                if (state.apply(change) == BridgeClipboardState::Effect::Vanished)
                    QVERIFY(state.finishVanish(before));
                break;
            }
            }
        }
        QCOMPARE(state.changeCount(), countMoves);
        QTEST(state.text().value_or(QString()), "text");
        QTEST(state.concealed(), "concealed");
    }
};

QTEST_GUILESS_MAIN(TestGnomeBridgeMessages)
#include "tst_gnome_bridge_messages.moc"
