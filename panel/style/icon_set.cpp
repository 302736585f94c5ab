#include "style/icon_set.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

#include <memory>

// The icons live in this static library: their resource must be registered
// by name, or the linker drops it.
static void ensureIconResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)done;
}

namespace {

QString resourcePath(const QString &name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

// One renderer per icon: parsing the SVG is the costly part.
QSvgRenderer *renderer(const QString &name)
{
    ensureIconResources();
    static QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    auto it = renderers.find(name);
    if (it == renderers.end()) {
        auto r = std::make_shared<QSvgRenderer>(resourcePath(name));
        it = renderers.insert(name, r->isValid() ? r : nullptr);
    }
    return it->get();
}

} // namespace

namespace IconSet {

bool exists(const QString &name)
{
    ensureIconResources();
    return QFile::exists(resourcePath(name));
}

QPixmap tinted(const QString &name, const QColor &color, int pixelSize, qreal devicePixelRatio)
{
    if (pixelSize <= 0 || devicePixelRatio <= 0)
        return {};
    const QString key = QStringLiteral("%1|%2|%3|%4")
                            .arg(name)
                            .arg(color.rgba(), 8, 16)
                            .arg(pixelSize)
                            .arg(devicePixelRatio);
    static QHash<QString, QPixmap> cache;
    if (auto it = cache.constFind(key); it != cache.constEnd())
        return *it;

    QSvgRenderer *svg = renderer(name);
    if (!svg)
        return {};
    const int device = qRound(pixelSize * devicePixelRatio);
    QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        svg->render(&p, QRectF(0, 0, device, device));
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    // Colours are a small fixed set; the bound only guards against callers
    // that animate a tint.
    if (cache.size() > 1024)
        cache.clear();
    cache.insert(key, pixmap);
    return pixmap;
}

QIcon icon(const QString &name, const QColor &color, qreal devicePixelRatio)
{
    QIcon result;
    for (int size : {16, 20, 24, 32})
        result.addPixmap(tinted(name, color, size, devicePixelRatio));
    return result;
}

} // namespace IconSet
