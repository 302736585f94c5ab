#include "status_icon.h"

#include <QImage>
#include <QTest>

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
Q_DECLARE_METATYPE(TrayClick)

class TestAppStatusIcon : public QObject
{
    Q_OBJECT
private slots:
    void renders_data()
    {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("1x black") << 1.0 << QColor(Qt::black);
        QTest::newRow("2x red") << 2.0 << QColor(200, 10, 30);
    }

    void renders()
    {
        QFETCH(qreal, scale);
        QFETCH(QColor, colour);
        const QPixmap pixmap = StatusIcon::render(scale, colour);
        QCOMPARE(pixmap.devicePixelRatio(), scale);
        QCOMPARE(pixmap.size(), QSize(18, 18) * scale);
        const QImage image = pixmap.toImage();
        // Opacity at a point given in the drawing's own units (y upwards).
        const auto alphaAt = [&](qreal x, qreal yUp) {
            return qAlpha(image.pixel(int(x * scale), int((StatusIcon::logicalSize - yUp) * scale)));
        };

        // The clip, filled in the given colour, sits at the top (y 13 to 16.5).
        QCOMPARE(alphaAt(9, 15), 255);
        QCOMPARE(image.pixelColor(int(9 * scale), int(3 * scale)).rgb(), colour.rgb());
        QCOMPARE(alphaAt(9, 12), 0);         // inside the board, between the lines
        QVERIFY(alphaAt(2.5, 8) > 128);      // the board's left edge
        QCOMPARE(alphaAt(0.2, 0.5), 0);      // the canvas corners stay empty
        QCOMPARE(alphaAt(17.5, 17.5), 0);
        // Below the board (its stroke ends at y 0.8) at most an edge's blur.
        for (int x = 0; x < image.width(); ++x)
            QVERIFY(qAlpha(image.pixel(x, image.height() - 1)) < 64);

        const QIcon icon = StatusIcon::icon(colour);
        QVERIFY(icon.isMask());
        QVERIFY(icon.availableSizes().contains(QSize(18, 18)));
        QVERIFY(icon.availableSizes().contains(QSize(36, 36)));
    }

    void clickRouting_data()
    {
        QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<TrayClick>("expected");

        const Qt::KeyboardModifiers none, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
        QTest::newRow("left click") << QSystemTrayIcon::Trigger << none << TrayClick::TogglePanel;
        QTest::newRow("Shift+left click") << QSystemTrayIcon::Trigger << shift << TrayClick::TogglePanel;
        QTest::newRow("Ctrl+left click") << QSystemTrayIcon::Trigger << ctrl << TrayClick::OpenMenu;
        QTest::newRow("Ctrl+Shift+left") << QSystemTrayIcon::Trigger << (ctrl | shift) << TrayClick::OpenMenu;
        QTest::newRow("right click") << QSystemTrayIcon::Context << none << TrayClick::OpenMenu;
        QTest::newRow("Ctrl+right click") << QSystemTrayIcon::Context << ctrl << TrayClick::OpenMenu;
        // The second of two quick clicks arrives as a double click.
        QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << none << TrayClick::TogglePanel;
        QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << none << TrayClick::Ignore;
        QTest::newRow("unknown") << QSystemTrayIcon::Unknown << none << TrayClick::Ignore;
    }

    void clickRouting()
    {
        QFETCH(QSystemTrayIcon::ActivationReason, reason);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(TrayClick, expected);
        QCOMPARE(trayClickAction(reason, modifiers), expected);
    }
};

QTEST_MAIN(TestAppStatusIcon)
#include "tst_app_status_icon.moc"
