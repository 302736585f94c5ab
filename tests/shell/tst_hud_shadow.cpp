// The panel's shadow tiles, put together around the window the way a
// compositor places them: corner tiles at the outer corners, edge tiles
// stretched between them.
#include "hud_shadow.h"

#include <QPainter>
#include <QTest>

class TestHudShadow : public QObject
{
    Q_OBJECT
private slots:
    void shadowAroundTheRoundedPanel_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("2x screen") << 2.0;
    }

    // In device pixels, as the compositor draws it: a 2x screen gets tiles
    // of twice the reach, as soft as at 1x.
    void shadowAroundTheRoundedPanel()
    {
        QFETCH(qreal, ratio);
        const WindowSystem::Shadow shadow = HudShadow::tiles(QSize(720, 460), 18, ratio);
        const QSize window = QSize(720, 460) * ratio;
        const int radius = qRound(18 * ratio);
        const QMargins m = shadow.reach;
        QCOMPARE(m, HudShadow::tiles(QSize(720, 460), 18).reach * int(ratio));
        // Down by the offset: it reaches further below than above.
        QVERIFY(m.bottom() > m.top());

        const QRect outer = QRect(QPoint(0, 0), window).marginsAdded(m);
        const auto &[top, topRight, right, bottomRight, bottom, bottomLeft, left, topLeft] = shadow.tiles;
        QImage image(outer.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.translate(m.left(), m.top());
        p.drawImage(outer.topLeft(), topLeft);
        p.drawImage(outer.topRight() + QPoint(1 - topRight.width(), 0), topRight);
        p.drawImage(outer.bottomRight() + QPoint(1 - bottomRight.width(), 1 - bottomRight.height()), bottomRight);
        p.drawImage(outer.bottomLeft() + QPoint(0, 1 - bottomLeft.height()), bottomLeft);
        p.drawImage(QRect(QPoint(outer.left() + topLeft.width(), outer.top()),
                          QPoint(outer.right() - topRight.width(), -1)), top);
        p.drawImage(QRect(QPoint(outer.left() + bottomLeft.width(), window.height()),
                          QPoint(outer.right() - bottomRight.width(), outer.bottom())), bottom);
        p.drawImage(QRect(QPoint(outer.left(), outer.top() + topLeft.height()),
                          QPoint(-1, outer.bottom() - bottomLeft.height())), left);
        p.drawImage(QRect(QPoint(window.width(), outer.top() + topRight.height()),
                          QPoint(outer.right(), outer.bottom() - bottomRight.height())), right);
        p.end();
        const auto alpha = [&](int x, int y) { return qAlpha(image.pixel(m.left() + x, m.top() + y)); };

        // Soft everywhere outside the window: no step where tiles meet.
        const QRect inside(m.left(), m.top(), window.width(), window.height());
        int steepest = 0;
        for (int y = 1; y < image.height(); ++y)
            for (int x = 1; x < image.width(); ++x) {
                if (!inside.adjusted(0, 0, 1, 1).contains(x, y))
                    steepest = std::max({steepest, std::abs(qAlpha(image.pixel(x, y)) - qAlpha(image.pixel(x - 1, y))),
                                         std::abs(qAlpha(image.pixel(x, y)) - qAlpha(image.pixel(x, y - 1)))});
            }
        QVERIFY2(steepest <= 6, qPrintable(QString::number(steepest)));
        QVERIFY(qAlpha(image.pixel(0, 0)) <= 1);

        // Black at 0.25 at most, darker below the panel than above it.
        const int below = alpha(window.width() / 2, window.height() + 1);
        QVERIFY(below <= qRound(255 * HudShadow::opacity) + 1);
        QVERIFY(below > 255 * HudShadow::opacity * 0.5);
        QVERIFY(alpha(window.width() / 2, -2) < below / 2);
        // Around the rounded outline: it shows in the cut-off corner below,
        // and nothing is drawn under the window itself.
        QVERIFY(alpha(1, window.height() - 1) > 0);
        QCOMPARE(alpha(radius, window.height() - radius), 0);
        QCOMPARE(alpha(window.width() - 40, 40), 0);
    }
};

QTEST_MAIN(TestHudShadow)
#include "tst_hud_shadow.moc"
