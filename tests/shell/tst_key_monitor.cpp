#include "key_monitor.h"
#include "panel_notifications.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

using Decision = KeyMonitor::Decision;

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

// What a decision does, as one word per effect: "quit", "hide", "up",
// "down", "paste", "row N"; empty for a key passed on.
QString effectOf(const Decision &decision)
{
    PanelNotifications notifications;
    QStringList heard;
    QObject::connect(&notifications, &PanelNotifications::tavorindleNavigateUp, [&] { heard << "up"; });
    QObject::connect(&notifications, &PanelNotifications::tavorindleNavigateDown, [&] { heard << "down"; });
    QObject::connect(&notifications, &PanelNotifications::tavorindlePasteSelected, [&] { heard << "paste"; });
    QObject::connect(&notifications, &PanelNotifications::tavorindleQuickPaste,
                     [&](int row) { heard << QStringLiteral("row %1").arg(row); });
    QObject::connect(&notifications, &PanelNotifications::tavorindleWindowWillShow, [&] { heard << "show"; });
    decision.perform({[&] { heard << "quit"; }, [&] { heard << "hide"; }, notifications});
    return heard.join(u',');
}

class TestKeyMonitor : public QObject
{
    Q_OBJECT
private slots:
    void keyTable_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("effect");

        const Qt::KeyboardModifiers none, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier,
                                          alt = Qt::AltModifier, ctrlShift = ctrl | shift;
        const QString nul(QChar(0));
        const auto row = [](const char *name, int key, Qt::KeyboardModifiers modifiers,
                            const QString &text, const char *effect = "") {
            QTest::newRow(name) << key << modifiers << text << QString::fromLatin1(effect);
        };
        row("Ctrl+Q quits", Qt::Key_Q, ctrl, "\x11", "quit");
        row("q types", Qt::Key_Q, none, "q");
        row("Ctrl+A passes", Qt::Key_A, ctrl, "\x01");
        row("Shift+Escape hides", Qt::Key_Escape, shift, "", "hide");
        row("Alt+Up", Qt::Key_Up, alt, "", "up");
        row("Ctrl+Down", Qt::Key_Down, ctrl, "", "down");
        row("Shift+Return", Qt::Key_Return, shift, "\r", "paste");
        row("keypad Enter passes", Qt::Key_Enter, Qt::KeypadModifier, "\r");
        row("Ctrl+1 pastes row 1", Qt::Key_1, ctrl, "1", "row 0");
        row("Ctrl+9 pastes row 9", Qt::Key_9, ctrl, "9", "row 8");
        row("Ctrl+0 passes", Qt::Key_0, ctrl, "0");
        row("Ctrl+0 as NUL passes", Qt::Key_0, ctrl, nul);
        row("keypad Ctrl+3", Qt::Key_3, ctrl | Qt::KeypadModifier, "3", "row 2");
        // The typed text decides, not the key: Shift+1 types "!" on a US layout...
        row("Ctrl+Shift+1 types !", Qt::Key_Exclam, ctrlShift, "!");
        row("X11 Ctrl+Shift+1", Qt::Key_Exclam, ctrlShift, nul);
        // ...while on a French layout the digits themselves need Shift.
        row("Ctrl+Shift+& types 1", Qt::Key_1, ctrlShift, "1", "row 0");
        row("digit without Ctrl types", Qt::Key_2, none, "2");
        // X11 applies Ctrl's control-code mapping to the text: Ctrl+2 types NUL.
        row("X11 Ctrl+2", Qt::Key_2, ctrl, nul, "row 1");
        row("Ctrl+F2 no text", Qt::Key_F2, ctrl, "");
        row("signed text", Qt::Key_unknown, ctrl, "+4", "row 3");
        row("zero-padded digit", Qt::Key_unknown, ctrl, "07", "row 6");
        row("negative text", Qt::Key_unknown, ctrl, "-4");
        row("two digits", Qt::Key_unknown, ctrl, "12");
        row("non-ASCII digit", Qt::Key_unknown, ctrl, QString(QChar(0x0663)));
        row("huge number", Qt::Key_unknown, ctrl, "99999999999999999999");
    }

    void keyTable()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QFETCH(QString, effect);
        const Decision decision = KeyMonitor::decide({key, modifiers, text});
        QCOMPARE(effectOf(decision), effect);
        QCOMPARE(decision.swallows(), !effect.isEmpty());
    }

    void shortcutOverrideKeepsTheKeyFromShortcuts()
    {
        // A panel with a search field, as the shell hosts it.
        QWidget panel;
        auto *field = new QLineEdit;
        (new QVBoxLayout(&panel))->addWidget(field);
        int shortcutFired = 0;
        auto *action = new QAction(&panel);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_3));
        panel.addAction(action);
        connect(action, &QAction::triggered, this, [&] { ++shortcutFired; });
        panel.show();
        field->setFocus();
        panel.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        QTest::keyClick(field, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(shortcutFired, 1); // the shortcut works while no monitor runs

        QList<Decision> seen;
        KeyMonitor monitor(&panel, [&](const Decision &d) { seen.append(d); });
        QTest::keyClick(field, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(shortcutFired, 1);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(effectOf(seen.first()), QStringLiteral("row 2"));
    }
};

QTEST_MAIN(TestKeyMonitor)
#include "tst_key_monitor.moc"
