#include "key_monitor.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>

using Action = KeyMonitor::Action;
using Decision = KeyMonitor::Decision;

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
Q_DECLARE_METATYPE(KeyMonitor::Decision)

class TestKeyMonitor : public QObject
{
    Q_OBJECT
private slots:
    void keyTable_data();
    void keyTable();
    void swallowsOnlyPanelKeys();
    void passedOnKeysReachTheFocusWidget();
    void shortcutOverrideKeepsTheKeyFromShortcuts();
    void removedWithTheMonitor();
    void handlerMayEndTheMonitor();
};

void TestKeyMonitor::keyTable_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Decision>("expected");

    const Qt::KeyboardModifiers none;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers alt = Qt::AltModifier;

    QTest::newRow("Ctrl+Q quits") << int(Qt::Key_Q) << ctrl << "\x11" << Decision{Action::Quit};
    QTest::newRow("Ctrl+Shift+Q quits") << int(Qt::Key_Q) << ctrlShift << "\x11" << Decision{Action::Quit};
    QTest::newRow("q alone types") << int(Qt::Key_Q) << none << "q" << Decision{};
    QTest::newRow("Shift+Q types") << int(Qt::Key_Q) << shift << "Q" << Decision{};
    QTest::newRow("Ctrl+W passes") << int(Qt::Key_W) << ctrl << "\x17" << Decision{};
    QTest::newRow("Ctrl+A passes") << int(Qt::Key_A) << ctrl << "\x01" << Decision{};

    QTest::newRow("Escape hides") << int(Qt::Key_Escape) << none << "\x1b" << Decision{Action::Hide};
    QTest::newRow("Shift+Escape hides") << int(Qt::Key_Escape) << shift << "" << Decision{Action::Hide};
    QTest::newRow("Up") << int(Qt::Key_Up) << none << "" << Decision{Action::NavigateUp};
    QTest::newRow("Alt+Up") << int(Qt::Key_Up) << alt << "" << Decision{Action::NavigateUp};
    QTest::newRow("Down") << int(Qt::Key_Down) << none << "" << Decision{Action::NavigateDown};
    QTest::newRow("Ctrl+Down") << int(Qt::Key_Down) << ctrl << "" << Decision{Action::NavigateDown};
    QTest::newRow("Return") << int(Qt::Key_Return) << none << "\r" << Decision{Action::PasteSelected};
    QTest::newRow("Shift+Return") << int(Qt::Key_Return) << shift << "\r" << Decision{Action::PasteSelected};
    QTest::newRow("keypad Enter passes") << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << "\r" << Decision{};
    QTest::newRow("Left passes") << int(Qt::Key_Left) << none << "" << Decision{};
    QTest::newRow("Tab passes") << int(Qt::Key_Tab) << none << "\t" << Decision{};

    QTest::newRow("Ctrl+1 pastes row 1") << int(Qt::Key_1) << ctrl << "1" << Decision{Action::QuickPaste, 0};
    QTest::newRow("Ctrl+5 pastes row 5") << int(Qt::Key_5) << ctrl << "5" << Decision{Action::QuickPaste, 4};
    QTest::newRow("Ctrl+9 pastes row 9") << int(Qt::Key_9) << ctrl << "9" << Decision{Action::QuickPaste, 8};
    QTest::newRow("Ctrl+0 passes") << int(Qt::Key_0) << ctrl << "0" << Decision{};
    QTest::newRow("keypad Ctrl+3") << int(Qt::Key_3) << (ctrl | Qt::KeypadModifier) << "3" << Decision{Action::QuickPaste, 2};
    // The typed text decides, not the key: Shift+1 types "!" on a US layout.
    QTest::newRow("Ctrl+Shift+1 types !") << int(Qt::Key_Exclam) << ctrlShift << "!" << Decision{};
    // ...while on a French layout the digits themselves need Shift.
    QTest::newRow("Ctrl+Shift+& types 1") << int(Qt::Key_1) << ctrlShift << "1" << Decision{Action::QuickPaste, 0};
    QTest::newRow("digit without Ctrl types") << int(Qt::Key_2) << none << "2" << Decision{};
    QTest::newRow("Alt+2 passes") << int(Qt::Key_2) << alt << "2" << Decision{};
    // X11 applies Ctrl's control-code mapping to the text: Ctrl+2 types NUL.
    QTest::newRow("X11 Ctrl+2") << int(Qt::Key_2) << ctrl << QString(QChar(0)) << Decision{Action::QuickPaste, 1};
    QTest::newRow("Ctrl+2 with no text") << int(Qt::Key_2) << ctrl << "" << Decision{Action::QuickPaste, 1};
    QTest::newRow("X11 Ctrl+Shift+1") << int(Qt::Key_Exclam) << ctrlShift << QString(QChar(0)) << Decision{};
    QTest::newRow("Ctrl+0 as NUL") << int(Qt::Key_0) << ctrl << QString(QChar(0)) << Decision{};
    QTest::newRow("Ctrl+F2 no text") << int(Qt::Key_F2) << ctrl << "" << Decision{};
    QTest::newRow("signed text") << int(Qt::Key_unknown) << ctrl << "+4" << Decision{Action::QuickPaste, 3};
    QTest::newRow("negative text") << int(Qt::Key_unknown) << ctrl << "-4" << Decision{};
    QTest::newRow("two digits") << int(Qt::Key_unknown) << ctrl << "12" << Decision{};
    QTest::newRow("zero-padded digit") << int(Qt::Key_unknown) << ctrl << "07" << Decision{Action::QuickPaste, 6};
    QTest::newRow("sign alone") << int(Qt::Key_Plus) << ctrl << "+" << Decision{};
    QTest::newRow("non-ASCII digit") << int(Qt::Key_unknown) << ctrl << QString(QChar(0x0663)) << Decision{};
    QTest::newRow("huge number") << int(Qt::Key_unknown) << ctrl << "99999999999999999999" << Decision{};
}

void TestKeyMonitor::keyTable()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(Decision, expected);
    const Decision decision = KeyMonitor::decide({key, modifiers, text});
    QCOMPARE(int(decision.action), int(expected.action));
    QCOMPARE(decision.index, expected.index);
    QCOMPARE(decision.swallows(), expected.action != Action::PassOn);
}

namespace {

// A panel with a search field, as the shell hosts it.
struct Panel
{
    Panel()
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        window.show();
        field->setFocus();
    }
    QWidget window;
    QLineEdit *field = new QLineEdit;
};

} // namespace

void TestKeyMonitor::swallowsOnlyPanelKeys()
{
    Panel panel;
    QWidget other;
    auto *otherField = new QLineEdit(&other);
    other.show();

    QList<Decision> seen;
    KeyMonitor monitor(&panel.window, [&](const Decision &d) { seen.append(d); });

    QTest::keyClick(panel.field, Qt::Key_Down);
    QTest::keyClick(panel.field, Qt::Key_2, Qt::ControlModifier);
    QTest::keyClick(panel.field, Qt::Key_Escape);
    QCOMPARE(seen.size(), 3);
    QCOMPARE(seen[0].action, Action::NavigateDown);
    QCOMPARE(seen[1], (Decision{Action::QuickPaste, 1}));
    QCOMPARE(seen[2].action, Action::Hide);

    // Keys of another window of ours (a menu, say) are not the panel's.
    QTest::keyClick(otherField, Qt::Key_Down);
    QTest::keyClick(otherField, Qt::Key_Escape);
    QCOMPARE(seen.size(), 3);
}

void TestKeyMonitor::passedOnKeysReachTheFocusWidget()
{
    Panel panel;
    int calls = 0;
    KeyMonitor monitor(&panel.window, [&](const Decision &) { ++calls; });
    QTest::keyClicks(panel.field, QStringLiteral("ab1"));
    QTest::keyClick(panel.field, Qt::Key_Return); // swallowed: the field sees no Return
    QTest::keyClick(panel.field, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(panel.field->text(), QStringLiteral("ab1"));
    QCOMPARE(calls, 1);
}

void TestKeyMonitor::shortcutOverrideKeepsTheKeyFromShortcuts()
{
    Panel panel;
    int shortcutFired = 0;
    auto *action = new QAction(&panel.window);
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_3));
    panel.window.addAction(action);
    connect(action, &QAction::triggered, this, [&] { ++shortcutFired; });
    QApplication::setActiveWindow(&panel.window);
    QVERIFY(QTest::qWaitForWindowActive(&panel.window));
    QTest::keyClick(panel.field, Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(shortcutFired, 1); // the shortcut works while no monitor runs

    QList<Decision> seen;
    KeyMonitor monitor(&panel.window, [&](const Decision &d) { seen.append(d); });
    QTest::keyClick(panel.field, Qt::Key_3, Qt::ControlModifier);
    QCOMPARE(shortcutFired, 1);
    QCOMPARE(seen.size(), 1);
    QCOMPARE(seen[0], (Decision{Action::QuickPaste, 2}));
}

void TestKeyMonitor::removedWithTheMonitor()
{
    Panel panel;
    int calls = 0;
    auto monitor = std::make_unique<KeyMonitor>(&panel.window, [&](const Decision &) { ++calls; });
    QCOMPARE(KeyMonitor::liveCount(), 1);
    monitor.reset();
    QCOMPARE(KeyMonitor::liveCount(), 0);
    QTest::keyClick(panel.field, Qt::Key_Escape);
    QTest::keyClicks(panel.field, QStringLiteral("x"));
    QCOMPARE(calls, 0);
    QCOMPARE(panel.field->text(), QStringLiteral("x"));
}

void TestKeyMonitor::handlerMayEndTheMonitor()
{
    Panel panel;
    std::unique_ptr<KeyMonitor> monitor;
    int calls = 0;
    monitor = std::make_unique<KeyMonitor>(&panel.window, [&](const Decision &) {
        ++calls;
        monitor.reset(); // the hide sequence removes the monitor from inside it
    });
    QTest::keyClick(panel.field, Qt::Key_Escape);
    QCOMPARE(calls, 1);
    QVERIFY(!monitor);
    QTest::keyClick(panel.field, Qt::Key_Escape);
    QCOMPARE(calls, 1);
}

QTEST_MAIN(TestKeyMonitor)
#include "tst_key_monitor.moc"
