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
        // Visible, in the given colour, and not a filled square: a shape
        // with empty space around and inside it.
        const QImage image = pixmap.toImage();
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() < 128)
                    continue;
                ++inked;
                if (pixel.alpha() == 255)
                    QCOMPARE(pixel.rgb(), colour.rgb());
            }
        }
        const int area = image.width() * image.height();
        QVERIFY2(inked > area / 10 && inked < area / 2, qPrintable(QString::number(inked)));

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
