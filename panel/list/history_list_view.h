#pragma once

#include "clip_item.h"

#include <QListView>
#include <QUuid>
#include <QVariantAnimation>

#include <optional>

class HistoryListModel;
class HistoryRowDelegate;
class PanelState;
class PanelMenu;
class RowHighlight;
struct PanelServices;

// The scrolling list of history rows: hover tracking, click to paste, the
// pin button, the context menu, and the selected row kept centred.
class HistoryListView : public QListView
{
    Q_OBJECT
public:
    // The eased scroll that brings a new selection to the middle.
    static constexpr int scrollMs = 180;

    HistoryListView(PanelState &state, const PanelServices &services, QWidget *parent = nullptr);

    const RowHighlight &highlight() const { return *m_highlight; }
    // The padded rectangle of the row for id, in viewport coordinates
    // (empty when the row is not listed).
    QRect rowRectFor(const QUuid &id) const;
    // The row menu: "Paste", "Pin/Unpin Snippet", "Copy to Clipboard", "Delete".
    PanelMenu *createContextMenu(const ClipItemPtr &item, QWidget *parent);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // The row whose padded rectangle holds pos (viewport coordinates).
    QModelIndex rowAt(const QPoint &pos) const;
    void updateHover(const QPoint &pos);
    void syncHighlight(bool animated);
    void scrollToId(const std::optional<QUuid> &id);
    // Hover the row now under a pointer that has not moved.
    void scheduleFollowPointer();
    void followPointer();
    // A pointer event that counts as the user's own: motion away from where
    // it rested when a key moved the selection, or any button.
    bool pointerActed(const QMouseEvent &event);

    PanelState &m_state;
    const PanelServices &m_services;
    HistoryListModel *m_model;
    RowHighlight *m_highlight;
    HistoryRowDelegate *m_delegate;
    QPersistentModelIndex m_pressed;
    bool m_pressedOnPin = false;
    QVariantAnimation m_scroll;
    bool m_followPending = false;
    // Set by an arrow key: rows the scroll slides under a resting pointer do
    // not take the hover until the pointer itself moves away from here.
    std::optional<QPoint> m_pointerRestsAt;
};
