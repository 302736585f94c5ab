#pragma once

#include "clip_item.h"

#include <QStyledItemDelegate>

class RowHighlight;

// Paints one history row: number, type symbol, title, pin; the accent
// background fades with the row's highlight.
class HistoryRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int listPadding = 8;
    static constexpr int rowSpacing = 2;
    static constexpr int paddingX = 10;
    static constexpr int paddingY = 7;
    static constexpr int spacing = 8;
    static constexpr int numberWidth = 14;
    static constexpr int symbolWidth = 16;
    static constexpr int pinSize = 12; // a 10-pixel symbol's visual size
    // A tab in a title: this many spaces of the row's font, wherever it stands.
    static constexpr int tabSpaces = 3;

    explicit HistoryRowDelegate(const RowHighlight &highlight, QObject *parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The padded row (what is highlighted and takes clicks) inside the
    // cell that the list gives the row.
    static QRect rowRect(const QRect &cell, const QModelIndex &index);
    // Where the pin button sits in a padded row.
    static QRect pinRect(const QRect &row);

    // A title as its row draws it at a width: tabs spaced out, cut with an
    // ellipsis at its logical end, and the direction it is laid out in.
    struct ShownTitle
    {
        QString text;
        Qt::LayoutDirection direction;
    };
    static ShownTitle shownTitle(const QString &title, const QFontMetrics &metrics, int width);

    static QString typeSymbol(ClipContentType type);
    static QColor typeColor(ClipContentType type, const QPalette &palette);

private:
    int lineHeight() const;

    const RowHighlight &m_highlight;
};
