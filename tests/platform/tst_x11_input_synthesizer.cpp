// Synthesized paste strokes as a real X client receives them.
#include "helper_process.h"
#include "paste_stroke.h"
#include "x11/x11_connection.h"
#include "x11/x11_input_synthesizer.h"
#include "x11/x11_window_system.h"

#include <QScopeGuard>
#include <QTest>

Q_DECLARE_METATYPE(PasteStroke)

class TestX11InputSynthesizer : public QObject
{
    Q_OBJECT
private slots:
    void strokeCarriesOnlyItsOwnModifiers_data()
    {
        QTest::addColumn<QString>("instanceName");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("heldKey");
        QTest::addColumn<PasteStroke>("stroke");
        QTest::addColumn<QByteArray>("expectedPress");
        QTest::addColumn<QByteArray>("restored");
        // State bits: Shift 1, Control 4, Mod1 (Alt) 8, Mod4 (Super) 64.
        QTest::newRow("editor") << "gedit" << "Gedit" << "" << PasteStroke::ControlV << QByteArray("press v 4")
                                << QByteArray();
        QTest::newRow("editor, Super and Shift still held") << "gedit" << "Gedit" << "super+shift"
                                                            << PasteStroke::ControlV << QByteArray("press v 4")
                                                            << QByteArray("press Super_L");
        QTest::newRow("terminal") << "xterm" << "XTerm" << "" << PasteStroke::ControlShiftV
                                  << QByteArray("press v 5") << QByteArray();
        QTest::newRow("terminal, Alt still held") << "xterm" << "XTerm" << "alt" << PasteStroke::ControlShiftV
                                                  << QByteArray("press v 5") << QByteArray("press Alt_L");
    }

    void strokeCarriesOnlyItsOwnModifiers()
    {
        QFETCH(QString, instanceName);
        QFETCH(QString, className);
        QFETCH(QString, heldKey);
        QFETCH(PasteStroke, stroke);
        QFETCH(QByteArray, expectedPress);
        QFETCH(QByteArray, restored);

        const auto connection = X11Connection::open();
        QVERIFY(connection);
        X11InputSynthesizer input(connection);
        X11WindowSystem windows(connection);
        QVERIFY(input.mayPostInputEvents());

        HelperProcess logger(QStringLiteral(X11_KEY_LOGGER), {instanceName, className});
        const auto window = logger.waitForLine("window ").value_or("window 0").mid(7).toULongLong();
        QVERIFY(window);
        windows.activate(window);
        QTRY_COMPARE(windows.activeWindow(), window);

        // The same rule the paster uses picks the stroke from the window class.
        const auto windowClass = windows.windowClass(windows.activeWindow());
        QVERIFY(windowClass);
        QCOMPARE(pasteStrokeForWindowClass(windowClass->instanceName, windowClass->className), stroke);

        const auto xdotool = [](const QStringList &arguments) {
            return AppProcess::run(QStringLiteral("xdotool"), arguments).exitCode == 0;
        };
        if (!heldKey.isEmpty())
            QVERIFY(xdotool({"keydown", heldKey}));
        const auto release = qScopeGuard([&] {
            if (!heldKey.isEmpty())
                xdotool({"keyup", heldKey});
        });
        input.postPasteStroke(stroke);
        QVERIFY(logger.waitForLine("release v"));
        QVERIFY2(logger.lines().contains(expectedPress), logger.lines().join('|').constData());
        // The keys the user holds are down again after the stroke.
        const auto afterStroke = [&] {
            const QByteArray output = logger.lines().join('\n');
            return output.mid(output.lastIndexOf("release Control_L"));
        };
        QTRY_VERIFY(afterStroke().contains(restored));
    }
};

QTEST_MAIN(TestX11InputSynthesizer)
#include "tst_x11_input_synthesizer.moc"
