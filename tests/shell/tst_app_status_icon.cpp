#include "status_icon.h"

#include <QImage>
#include <QTest>

Q_DECLARE_METATYPE(QSystemTrayIcon::ActivationReason)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
Q_DECLARE_METATYPE(TrayClick)

namespace {

// Opacity at a point given in the drawing's own units (y upwards).
int alphaAt(const QImage &image, qreal scale, qreal x, qreal yUp)
{
    const int px = int(x * scale);
    const int py = int((StatusIcon::logicalSize - yUp) * scale);
    return qAlpha(image.pixel(px, py));
}

} // namespace

class TestAppStatusIcon : public QObject
{
    Q_OBJECT
private slots:
    void rendersAtBothScales_data();
    void rendersAtBothScales();
    void iconIsAMaskWithBothSizes();
    void drawsInTheGivenColour();
    void clickRouting_data();
    void clickRouting();
};

void TestAppStatusIcon::rendersAtBothScales_data()
{
    QTest::addColumn<qreal>("scale");
    QTest::newRow("1x") << 1.0;
    QTest::newRow("2x") << 2.0;
}

void TestAppStatusIcon::rendersAtBothScales()
{
    QFETCH(qreal, scale);
    const QPixmap pixmap = StatusIcon::render(scale);
    QCOMPARE(pixmap.devicePixelRatio(), scale);
    QCOMPARE(pixmap.size(), QSize(18, 18) * scale);
    const QImage image = pixmap.toImage();

    // The clip, filled, sits at the top (y upwards: 13 to 16.5).
    QCOMPARE(alphaAt(image, scale, 9, 15), 255);
    // Inside the board, between the two lines, nothing is drawn.
    QCOMPARE(alphaAt(image, scale, 9, 12), 0);
    // The board's left edge at x 2.5, mid-height.
    QVERIFY(alphaAt(image, scale, 2.5, 8) > 128);
    // The corners of the canvas stay empty.
    QCOMPARE(alphaAt(image, scale, 0.2, 0.5), 0);
    QCOMPARE(alphaAt(image, scale, 17.5, 17.5), 0);
    // Below the board (its stroke ends at y 0.8) at most an edge's blur.
    for (int x = 0; x < image.width(); ++x)
        QVERIFY(qAlpha(image.pixel(x, image.height() - 1)) < 64);
    // The lines' curves start high on the left (upper line at 9.5).
    QVERIFY(alphaAt(image, scale, 4.6, 9.5) > 0);
    QVERIFY(alphaAt(image, scale, 4.6, 5.5) > 0);
}

void TestAppStatusIcon::iconIsAMaskWithBothSizes()
{
    const QIcon icon = StatusIcon::icon();
    QVERIFY(icon.isMask());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(18, 18)));
    QVERIFY(sizes.contains(QSize(36, 36)));
}

void TestAppStatusIcon::drawsInTheGivenColour()
{
    const QImage image = StatusIcon::render(2.0, QColor(200, 10, 30)).toImage();
    const QColor clip = image.pixelColor(18, 2 * (18 - 15));
    QCOMPARE(clip.red(), 200);
    QCOMPARE(clip.green(), 10);
    QCOMPARE(clip.blue(), 30);
}

void TestAppStatusIcon::clickRouting_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<TrayClick>("expected");

    const Qt::KeyboardModifiers none;
    QTest::newRow("left click") << QSystemTrayIcon::Trigger << none << TrayClick::TogglePanel;
    QTest::newRow("left click with Shift")
        << QSystemTrayIcon::Trigger << Qt::KeyboardModifiers(Qt::ShiftModifier)
        << TrayClick::TogglePanel;
    QTest::newRow("Ctrl+left click")
        << QSystemTrayIcon::Trigger << Qt::KeyboardModifiers(Qt::ControlModifier)
        << TrayClick::OpenMenu;
    QTest::newRow("Ctrl+Shift+left click")
        << QSystemTrayIcon::Trigger << (Qt::ControlModifier | Qt::ShiftModifier)
        << TrayClick::OpenMenu;
    QTest::newRow("right click") << QSystemTrayIcon::Context << none << TrayClick::OpenMenu;
    QTest::newRow("Ctrl+right click")
        << QSystemTrayIcon::Context << Qt::KeyboardModifiers(Qt::ControlModifier)
        << TrayClick::OpenMenu;
    // The second of two quick clicks arrives as a double click.
    QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << none << TrayClick::TogglePanel;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << none << TrayClick::Ignore;
    QTest::newRow("unknown") << QSystemTrayIcon::Unknown << none << TrayClick::Ignore;
}

void TestAppStatusIcon::clickRouting()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(TrayClick, expected);
    QCOMPARE(trayClickAction(reason, modifiers), expected);
}

QTEST_MAIN(TestAppStatusIcon)
#include "tst_app_status_icon.moc"
