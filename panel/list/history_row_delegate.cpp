#include "list/history_row_delegate.h"

#include "list/history_list_model.h"
#include "style/icon_set.h"
#include "style/named_colors.h"
#include "style/panel_fonts.h"
#include "list/row_highlight.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int symbolPixels = 11;
constexpr int pinBox = 16; // clickable square around the pin symbol

QColor mix(const QColor &from, const QColor &to, qreal t)
{
    if (t <= 0)
        return from;
    if (t >= 1)
        return to;
    const auto lerp = [t](float a, float b) { return a + (b - a) * float(t); };
    QColor c;
    c.setRgbF(lerp(from.redF(), to.redF()), lerp(from.greenF(), to.greenF()),
              lerp(from.blueF(), to.blueF()), lerp(from.alphaF(), to.alphaF()));
    return c;
}

// Draws the inactive and the active tint of a symbol, crossfaded.
void drawSymbol(QPainter *p, const QRect &box, const QString &name, int pixels,
                const QColor &inactive, const QColor &active, qreal t, qreal dpr)
{
    const QRect target(box.x() + (box.width() - pixels) / 2, box.y() + (box.height() - pixels) / 2,
                       pixels, pixels);
    const qreal opacity = p->opacity();
    if (t < 1) {
        p->setOpacity(opacity * (1 - t));
        p->drawPixmap(target, IconSet::tinted(name, inactive, pixels, dpr));
    }
    if (t > 0) {
        p->setOpacity(opacity * t);
        p->drawPixmap(target, IconSet::tinted(name, active, pixels, dpr));
    }
    p->setOpacity(opacity);
}

} // namespace

HistoryRowDelegate::HistoryRowDelegate(const RowHighlight &highlight, QObject *parent)
    : QStyledItemDelegate(parent), m_highlight(highlight)
{
}

QString HistoryRowDelegate::typeSymbol(ClipContentType type)
{
    switch (type) {
    case ClipContentType::Code: return QStringLiteral("curlybraces");
    case ClipContentType::Link: return QStringLiteral("link");
    case ClipContentType::Color: return QStringLiteral("paintpalette.fill");
    case ClipContentType::Text: break;
    }
    return QStringLiteral("text.alignleft");
}

QColor HistoryRowDelegate::typeColor(ClipContentType type, const QPalette &palette)
{
    switch (type) {
    case ClipContentType::Code: return NamedColors::purple();
    case ClipContentType::Link: return NamedColors::blue();
    case ClipContentType::Color: return NamedColors::orange();
    case ClipContentType::Text: break;
    }
    return NamedColors::secondary(palette);
}

int HistoryRowDelegate::lineHeight() const
{
    // The tallest element is the 12-pixel title.
    static const int height = QFontMetrics(PanelFonts::system(12)).height();
    return height;
}

HistoryRowDelegate::ShownTitle HistoryRowDelegate::shownTitle(const QString &title,
                                                              const QFontMetrics &metrics, int width)
{
    // One line. Column stops mean nothing in a proportional font: every tab
    // is the same gap.
    QString line = title;
    line.replace(QLatin1Char('\t'), QString(tabSpaces, QLatin1Char(' ')));
    return {metrics.elidedText(line, Qt::ElideRight, width),
            line.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight};
}

QRect HistoryRowDelegate::rowRect(const QRect &cell, const QModelIndex &index)
{
    const int rows = index.model() ? index.model()->rowCount() : 0;
    const int top = index.row() == 0 ? listPadding : 0;
    const int bottom = index.row() == rows - 1 ? listPadding : rowSpacing;
    return cell.adjusted(listPadding, top, -listPadding, -bottom);
}

QRect HistoryRowDelegate::pinRect(const QRect &row)
{
    const int right = row.right() + 1 - paddingX + (pinBox - pinSize) / 2;
    return QRect(right - pinBox, row.center().y() - pinBox / 2 + 1, pinBox, pinBox);
}

QSize HistoryRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const int rows = index.model() ? index.model()->rowCount() : 0;
    int height = lineHeight() + 2 * paddingY;
    height += index.row() == 0 ? listPadding : 0;
    height += index.row() == rows - 1 ? listPadding : rowSpacing;
    return {2 * listPadding + 2 * paddingX, height};
}

void HistoryRowDelegate::paint(QPainter *p, const QStyleOptionViewItem &option,
                               const QModelIndex &index) const
{
    const auto *model = qobject_cast<const HistoryListModel *>(index.model());
    const ClipItemPtr item = model ? model->item(index) : nullptr;
    if (!item)
        return;
    const QPalette &palette = option.palette;
    const qreal dpr = p->device() ? p->device()->devicePixelRatioF() : 1.0;
    const qreal t = m_highlight.factor(item->id());
    const QColor white(Qt::white);

    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    const QRect row = rowRect(option.rect, index);
    if (t > 0) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(row), 6, 6);
        p->fillPath(shape, NamedColors::accent(palette, t));
    }

    const QRect content = row.adjusted(paddingX, paddingY, -paddingX, -paddingY);
    int x = content.left();

    // The first nine rows carry the digit that pastes them.
    if (index.row() < 9) {
        p->setFont(PanelFonts::monospaced(10, QFont::Bold));
        p->setPen(mix(NamedColors::secondary(palette), NamedColors::withOpacity(white, 0.8), t));
        p->drawText(QRect(x, content.top(), numberWidth, content.height()), Qt::AlignCenter,
                    QString::number(index.row() + 1));
    }
    x += numberWidth + spacing;

    const ClipContentType type = item->contentType();
    drawSymbol(p, QRect(x, content.top(), symbolWidth, content.height()), typeSymbol(type),
               symbolPixels, typeColor(type, palette), white, t, dpr);
    x += symbolWidth + spacing;

    const QRect pin = pinRect(row);
    const int titleRight = pin.left() + (pinBox - pinSize) / 2 - 2 * spacing;
    p->setFont(PanelFonts::system(12));
    p->setPen(mix(NamedColors::primary(palette), white, t));
    const QRect titleRect(x, content.top(), std::max(0, titleRight - x), content.height());
    const ShownTitle title = shownTitle(item->title(), p->fontMetrics(), titleRect.width());
    // The text's own direction puts the ellipsis at its logical end; the
    // title still starts at the column's left edge.
    p->setLayoutDirection(title.direction);
    p->drawText(titleRect, Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter | Qt::TextSingleLine,
                title.text);
    p->setLayoutDirection(Qt::LeftToRight);

    // Pinned rows always show their pin; others only while active.
    if (item->isPinned()) {
        drawSymbol(p, pin, QStringLiteral("pin.fill"), pinSize, NamedColors::orange(), white, t, dpr);
    } else if (t > 0) {
        p->setOpacity(t);
        drawSymbol(p, pin, QStringLiteral("pin"), pinSize,
                   NamedColors::secondary(palette, 0.6), NamedColors::withOpacity(white, 0.8), t, dpr);
    }
    p->restore();
}
