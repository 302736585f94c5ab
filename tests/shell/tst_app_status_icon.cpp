#include "status_icon.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <QTest>

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
Q_DECLARE_METATYPE(TrayClick)

class TestAppStatusIcon : public QObject
{
    Q_OBJECT
private slots:
    void readsOnAnyTray_data()
    {
        QTest::addColumn<qreal>("scale");
        QTest::addColumn<QColor>("glyph");
        QTest::addColumn<QColor>("tray");
        const QColor dark(0x22, 0x22, 0x22), light(0xee, 0xee, 0xee);
        QTest::newRow("light palette, dark tray") << 1.0 << QColor(Qt::black) << dark;
        QTest::newRow("light palette, light tray") << 1.0 << QColor(Qt::black) << light;
        QTest::newRow("dark palette, light tray, 2x") << 2.0 << QColor(Qt::white) << light;
        QTest::newRow("dark palette, dark tray, 2x") << 2.0 << QColor(Qt::white) << dark;
    }

    // Laid over the tray's background, a good part of the icon stands out
    // from it (WCAG's 3:1 for graphics), whatever the palette's text colour;
    // yet it is a shape, not a filled square.
    void readsOnAnyTray()
    {
        QFETCH(qreal, scale);
        QFETCH(QColor, glyph);
        QFETCH(QColor, tray);
        const QPixmap pixmap = StatusIcon::render(scale, glyph);
        QCOMPARE(pixmap.devicePixelRatio(), scale);
        QCOMPARE(pixmap.size(), QSize(18, 18) * scale);
        QImage image(pixmap.size(), QImage::Format_RGB32);
        image.fill(tray);
        QPainter(&image).drawImage(0, 0, pixmap.toImage());

        const auto luminance = [](const QColor &c) {
            const auto linear = [](qreal v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
        };
        const qreal ground = luminance(tray);
        int standingOut = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const qreal l = luminance(image.pixelColor(x, y));
                standingOut += (std::max(l, ground) + 0.05) / (std::min(l, ground) + 0.05) >= 3;
            }
        const int area = image.width() * image.height();
        QVERIFY2(standingOut > area / 20 && standingOut < area / 2, qPrintable(QString::number(standingOut)));

        const QIcon icon = StatusIcon::icon(glyph);
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
