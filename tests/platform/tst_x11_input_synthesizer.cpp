// Synthesized paste strokes as a real X client receives them.
#include "paste_stroke.h"
#include "x11/x11_connection.h"
#include "x11/x11_input_synthesizer.h"
#include "x11/x11_window_system.h"
#include "x11_test_tools.h"

#include <QTest>

using namespace X11TestTools;

Q_DECLARE_METATYPE(PasteStroke)

class TestX11InputSynthesizer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void strokeCarriesOnlyItsOwnModifiers_data();
    void strokeCarriesOnlyItsOwnModifiers();

private:
    std::shared_ptr<X11Connection> m_connection;
};

void TestX11InputSynthesizer::init()
{
    m_connection = X11Connection::open();
    QVERIFY(m_connection);
}

void TestX11InputSynthesizer::strokeCarriesOnlyItsOwnModifiers_data()
{
    QTest::addColumn<QString>("instanceName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("heldKey");
    QTest::addColumn<PasteStroke>("stroke");
    QTest::addColumn<QByteArray>("expectedPress");
    QTest::addColumn<QByteArray>("restored");
    // State bits: Shift 1, Control 4, Mod1 (Alt) 8, Mod4 (Super) 64.
    QTest::newRow("editor") << "gedit" << "Gedit" << "" << PasteStroke::ControlV << QByteArray("press v 4") << QByteArray();
    QTest::newRow("editor, Super and Shift still held") << "gedit" << "Gedit" << "super+shift"
                                                        << PasteStroke::ControlV << QByteArray("press v 4")
                                                        << QByteArray("press Super_L");
    QTest::newRow("terminal") << "xterm" << "XTerm" << "" << PasteStroke::ControlShiftV
                              << QByteArray("press v 5") << QByteArray();
    QTest::newRow("terminal, Alt still held") << "xterm" << "XTerm" << "alt" << PasteStroke::ControlShiftV
                                              << QByteArray("press v 5") << QByteArray("press Alt_L");
}

void TestX11InputSynthesizer::strokeCarriesOnlyItsOwnModifiers()
{
    QFETCH(QString, instanceName);
    QFETCH(QString, className);
    QFETCH(QString, heldKey);
    QFETCH(PasteStroke, stroke);
    QFETCH(QByteArray, expectedPress);
    QFETCH(QByteArray, restored);

    X11InputSynthesizer input(m_connection);
    X11WindowSystem windows(m_connection);
    QVERIFY(input.mayPostInputEvents());

    QProcess logger;
    logger.start(helperPath("x11_key_logger"), {instanceName, className});
    QVERIFY(logger.waitForStarted());
    LineReader reader(logger);
    QTRY_VERIFY(reader.output().startsWith("window "));
    const auto window = reader.lines().first().mid(7).toULongLong();
    windows.activate(window);
    QTRY_COMPARE(windows.activeWindow(), window);

    // The same rule the paster uses picks the stroke from the window class.
    const auto windowClass = windows.windowClass(windows.activeWindow());
    QVERIFY(windowClass);
    QCOMPARE(pasteStrokeForWindowClass(windowClass->instanceName, windowClass->className), stroke);

    if (!heldKey.isEmpty())
        QVERIFY(xdotool({"keydown", heldKey}));
    const qsizetype before = reader.lines().size();
    input.postPasteStroke(stroke);
    QTRY_VERIFY(reader.output().contains("release v"));
    const QList<QByteArray> lines = reader.lines().mid(before - 1);
    QVERIFY2(lines.contains(expectedPress), reader.output().constData());
    if (!restored.isEmpty()) {
        // The keys the user holds are down again after the stroke.
        QTRY_VERIFY(reader.output().mid(reader.output().lastIndexOf("release Control_L")).contains(restored));
        QVERIFY(xdotool({"keyup", heldKey}));
    }
    logger.kill();
    logger.waitForFinished();
}

QTEST_MAIN(TestX11InputSynthesizer)
#include "tst_x11_input_synthesizer.moc"
