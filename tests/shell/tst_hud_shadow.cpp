// The panel's shadow tiles, put together around the window the way a
// compositor places them (corner tiles at the outer corners, edge tiles
// stretched between them).
#include "hud_shadow.h"

#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

const QSize window(720, 460);
constexpr qreal radius = 18;

// The shadow's alpha around the window; the window's own rectangle starts
// at reach.left(), reach.top().
QImage compose(const WindowSystem::Shadow &shadow)
{
    const QMargins m = shadow.reach;
    const int w = window.width(), h = window.height();
    QImage image(m.left() + w + m.right(), m.top() + h + m.bottom(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.translate(m.left(), m.top());
    const auto &[top, topRight, right, bottomRight, bottom, bottomLeft, left, topLeft] = shadow.tiles;
    p.drawImage(-m.left(), -m.top(), topLeft);
    p.drawImage(w + m.right() - topRight.width(), -m.top(), topRight);
    p.drawImage(w + m.right() - bottomRight.width(), h + m.bottom() - bottomRight.height(), bottomRight);
    p.drawImage(-m.left(), h + m.bottom() - bottomLeft.height(), bottomLeft);
    p.drawImage(QRect(topLeft.width() - m.left(), -m.top(),
                      w + m.left() + m.right() - topLeft.width() - topRight.width(), top.height()), top);
    p.drawImage(QRect(bottomLeft.width() - m.left(), h,
                      w + m.left() + m.right() - bottomLeft.width() - bottomRight.width(), bottom.height()),
                bottom);
    p.drawImage(QRect(-m.left(), topLeft.height() - m.top(), left.width(),
                      h + m.top() + m.bottom() - topLeft.height() - bottomLeft.height()), left);
    p.drawImage(QRect(w, topRight.height() - m.top(), right.width(),
                      h + m.top() + m.bottom() - topRight.height() - bottomRight.height()), right);
    return image;
}

int alphaAt(const QImage &image, const QMargins &m, int x, int y)
{
    return qAlpha(image.pixel(m.left() + x, m.top() + y));
}

} // namespace

class TestHudShadow : public QObject
{
    Q_OBJECT
private slots:
    void shadowAroundTheRoundedPanel()
    {
        const WindowSystem::Shadow shadow = HudShadow::tiles(window, radius);
        const QMargins m = shadow.reach;
        const int w = window.width(), h = window.height();
        // Down by the offset: it reaches further below than above.
        QVERIFY(m.bottom() > m.top());
        QCOMPARE(m.left(), m.right());
        const QImage image = compose(shadow);

        // Soft everywhere outside the window: no step where tiles meet.
        const QRect inside(m.left(), m.top(), w, h);
        int steepest = 0;
        for (int y = 1; y < image.height(); ++y)
            for (int x = 1; x < image.width(); ++x) {
                if (inside.contains(x, y) || inside.contains(x - 1, y) || inside.contains(x, y - 1))
                    continue;
                const int a = qAlpha(image.pixel(x, y));
                steepest = std::max({steepest, std::abs(a - qAlpha(image.pixel(x - 1, y))),
                                     std::abs(a - qAlpha(image.pixel(x, y - 1)))});
            }
        QVERIFY2(steepest <= 6, qPrintable(QString::number(steepest)));
        QVERIFY(qAlpha(image.pixel(0, 0)) <= 1);
        QVERIFY(qAlpha(image.pixel(image.width() - 1, image.height() - 1)) <= 1);

        // Black at 0.25 at most, darker below the panel than above it.
        const int below = alphaAt(image, m, w / 2, h + 1);
        const int above = alphaAt(image, m, w / 2, -2);
        QVERIFY(below <= qRound(255 * HudShadow::opacity) + 1);
        QVERIFY(below > 255 * HudShadow::opacity * 0.5);
        QVERIFY(above < below / 2);

        // Around the rounded outline: it shows in the cut-off corner below,
        // and nothing is drawn under the window itself.
        QVERIFY(alphaAt(image, m, 1, h - 1) > 0);
        QCOMPARE(alphaAt(image, m, int(radius), h - int(radius)), 0);
        QCOMPARE(alphaAt(image, m, w - 40, 40), 0);
    }
};

QTEST_MAIN(TestHudShadow)
#include "tst_hud_shadow.moc"
