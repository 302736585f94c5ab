#include "hud_shadow.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// One pass of a running-mean blur over alpha values, along rows or columns.
void boxBlur(std::vector<float> &values, int width, int height, int radius, bool rows)
{
    const int lines = rows ? height : width;
    const int length = rows ? width : height;
    const int stride = rows ? 1 : width;
    std::vector<float> line(size_t(length), 0.0f);
    const float scale = 1.0f / float(2 * radius + 1);
    for (int l = 0; l < lines; ++l) {
        float *start = values.data() + (rows ? size_t(l) * size_t(width) : size_t(l));
        for (int i = 0; i < length; ++i)
            line[size_t(i)] = start[size_t(i) * size_t(stride)];
        const auto at = [&](int i) { return i < 0 || i >= length ? 0.0f : line[size_t(i)]; };
        float sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += at(i);
        for (int i = 0; i < length; ++i) {
            start[size_t(i) * size_t(stride)] = sum * scale;
            sum += at(i + radius + 1) - at(i - radius);
        }
    }
}

// Three box blurs make a close Gaussian; the box sizes that match sigma.
void gaussianBlur(std::vector<float> &values, int width, int height, qreal sigma)
{
    const qreal ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const qreal m = std::round((12 * sigma * sigma - 3 * lower * lower - 12 * lower - 9)
                               / (-4 * lower - 4));
    for (int pass = 0; pass < 3; ++pass) {
        const int box = pass < m ? lower : upper;
        boxBlur(values, width, height, (box - 1) / 2, true);
        boxBlur(values, width, height, (box - 1) / 2, false);
    }
}

} // namespace

namespace HudShadow {

WindowSystem::Shadow tiles(QSize windowSize, qreal cornerRadius, qreal devicePixelRatio)
{
    const qreal sigma = blurRadius / 2.0 * devicePixelRatio;
    const int extent = int(std::ceil(3 * sigma));
    const int drop = int(std::lround(offsetY * devicePixelRatio));
    const QMargins reach(extent, extent - drop, extent, extent + drop);
    const int w = int(std::lround(windowSize.width() * devicePixelRatio));
    const int h = int(std::lround(windowSize.height() * devicePixelRatio));
    cornerRadius *= devicePixelRatio;
    const int width = reach.left() + w + reach.right();
    const int height = reach.top() + h + reach.bottom();

    // The outline's coverage, moved down by the offset, then blurred.
    QImage shape(width, height, QImage::Format_Alpha8);
    shape.fill(0);
    {
        QPainter p(&shape);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(reach.left(), reach.top() + drop, w, h), cornerRadius, cornerRadius);
        p.fillPath(outline, Qt::black);
    }
    std::vector<float> alpha(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uchar *line = shape.constScanLine(y);
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * size_t(width) + size_t(x)] = line[x] / 255.0f;
    }
    gaussianBlur(alpha, width, height, sigma);

    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const float a = alpha[size_t(y) * size_t(width) + size_t(x)] * float(opacity);
            line[x] = qRgba(0, 0, 0, std::clamp(int(std::lround(a * 255)), 0, 255));
        }
    }
    {
        // Nothing under the window: it is see-through.
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        QPainterPath window;
        window.addRoundedRect(QRectF(reach.left(), reach.top(), w, h), cornerRadius, cornerRadius);
        p.fillPath(window, Qt::transparent);
    }

    // Corners reach far enough in that the edge tiles, one pixel thick,
    // repeat an unchanging cross-section.
    const int inner = std::min({int(std::ceil(cornerRadius)) + extent + drop, w / 2, h / 2});
    const int left = reach.left(), top = reach.top(), right = reach.right(), bottom = reach.bottom();
    WindowSystem::Shadow shadow;
    shadow.reach = reach;
    shadow.tiles = {
        image.copy(left + inner, 0, 1, top),                                   // top
        image.copy(left + w - inner, 0, inner + right, top + inner),           // top-right
        image.copy(left + w, top + inner, right, 1),                           // right
        image.copy(left + w - inner, top + h - inner, inner + right, inner + bottom), // bottom-right
        image.copy(left + inner, top + h, 1, bottom),                          // bottom
        image.copy(0, top + h - inner, left + inner, inner + bottom),          // bottom-left
        image.copy(0, top + inner, left, 1),                                   // left
        image.copy(0, 0, left + inner, top + inner),                           // top-left
    };
    return shadow;
}

} // namespace HudShadow
