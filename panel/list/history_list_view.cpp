#include "list/history_list_view.h"

#include "clipboard_manager.h"
#include "list/history_list_model.h"
#include "list/history_row_delegate.h"
#include "style/panel_menu.h"
#include "panel_services.h"
#include "panel_state.h"
#include "panel_notifications.h"
#include "list/row_highlight.h"
#include "style/thin_scroll_bar.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

HistoryListView::HistoryListView(PanelState &state, const PanelServices &services, QWidget *parent)
    : QListView(parent),
      m_state(state),
      m_services(services),
      m_model(new HistoryListModel(state, this)),
      m_highlight(new RowHighlight(this)),
      m_delegate(new HistoryRowDelegate(*m_highlight, this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    makeThinScrollBar(verticalScrollBar());
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    QPalette clear = palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    setPalette(clear);

    m_scroll.setDuration(scrollMs);
    m_scroll.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_scroll, &QVariantAnimation::valueChanged, this,
            [this](const QVariant &value) { verticalScrollBar()->setValue(value.toInt()); });
    connect(&m_scroll, &QVariantAnimation::finished, this, &HistoryListView::scheduleFollowPointer);

    connect(m_highlight, &RowHighlight::changed, viewport(), qOverload<>(&QWidget::update));
    connect(&m_state, &PanelState::hoveredItemIdChanged, this, [this] { syncHighlight(true); });
    connect(&m_state, &PanelState::selectedItemIdChanged, this,
            [this](const std::optional<QUuid> &id) {
                syncHighlight(false);
                scrollToId(id);
            });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        syncHighlight(false);
        scheduleFollowPointer();
    });
    // Rows that move under a pointer that stays put change the hover too.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (m_scroll.state() != QAbstractAnimation::Running)
            scheduleFollowPointer();
    });
    // Connected before the state's own handlers: the flag is up before the
    // selection moves and the scroll starts.
    const auto keyMoved = [this] { m_pointerRestsAt = QCursor::pos(); };
    connect(&m_services.notifications, &PanelNotifications::tavorindleNavigateUp, this, keyMoved);
    connect(&m_services.notifications, &PanelNotifications::tavorindleNavigateDown, this, keyMoved);
    syncHighlight(false);
}

void HistoryListView::scheduleFollowPointer()
{
    // Only for a pointer already resting on the list: a panel that opens
    // under the pointer starts from its selection.
    if (m_followPending || !isVisible() || !viewport()->underMouse())
        return;
    m_followPending = true;
    QMetaObject::invokeMethod(this, &HistoryListView::followPointer, Qt::QueuedConnection);
}

void HistoryListView::followPointer()
{
    m_followPending = false;
    if (m_pointerRestsAt)
        return;
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    // A pointer elsewhere has already cleared the hover on leaving.
    if (viewport()->rect().contains(pos))
        updateHover(pos);
}

void HistoryListView::syncHighlight(bool animated)
{
    // No fallback to the first row: a deciding id that is not listed
    // highlights nothing.
    std::optional<QUuid> id = m_state.activeRowId();
    if (id && m_model->rowOf(*id) < 0)
        id.reset();
    m_highlight->setActiveId(id, animated);
}

void HistoryListView::scrollToId(const std::optional<QUuid> &id)
{
    if (!id)
        return;
    const int row = m_model->rowOf(*id);
    if (row < 0)
        return;
    QScrollBar *bar = verticalScrollBar();
    // A change that comes while the last one still moves first finishes
    // that one: held keys never leave the list behind.
    if (m_scroll.state() == QAbstractAnimation::Running) {
        m_scroll.stop();
        bar->setValue(m_scroll.endValue().toInt());
    }
    const QRect cell = visualRect(m_model->index(row));
    const int target = std::clamp(bar->value() + cell.center().y() - viewport()->height() / 2,
                                  bar->minimum(), bar->maximum());
    if (target == bar->value())
        return;
    if (!isVisible()) {
        bar->setValue(target);
        return;
    }
    m_scroll.setStartValue(bar->value());
    m_scroll.setEndValue(target);
    m_scroll.start();
}

QRect HistoryListView::rowRectFor(const QUuid &id) const
{
    const int row = m_model->rowOf(id);
    if (row < 0)
        return {};
    const QModelIndex index = m_model->index(row);
    return HistoryRowDelegate::rowRect(visualRect(index), index);
}

QModelIndex HistoryListView::rowAt(const QPoint &pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || !HistoryRowDelegate::rowRect(visualRect(index), index).contains(pos))
        return {};
    return index;
}

void HistoryListView::updateHover(const QPoint &pos)
{
    const QModelIndex index = rowAt(pos);
    if (const ClipItemPtr item = m_model->item(index); item && index.isValid())
        m_state.setHoveredItemId(item->id());
    else
        m_state.setHoveredItemId(std::nullopt);
}

bool HistoryListView::pointerActed(const QMouseEvent &event)
{
    if (m_pointerRestsAt && event.type() == QEvent::MouseMove
        && event.globalPosition().toPoint() == *m_pointerRestsAt)
        return false;
    m_pointerRestsAt.reset();
    return true;
}

void HistoryListView::mouseMoveEvent(QMouseEvent *event)
{
    // Windowing systems also report motion when only the rows moved.
    if (pointerActed(*event))
        updateHover(event->position().toPoint());
}

void HistoryListView::leaveEvent(QEvent *event)
{
    m_state.setHoveredItemId(std::nullopt);
    QListView::leaveEvent(event);
}

void HistoryListView::mousePressEvent(QMouseEvent *event)
{
    pointerActed(*event);
    m_pressed = QModelIndex();
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = rowAt(pos);
    if (!index.isValid())
        return;
    m_pressed = index;
    m_pressedOnPin = HistoryRowDelegate::pinRect(
                         HistoryRowDelegate::rowRect(visualRect(index), index))
                         .contains(pos);
}

void HistoryListView::mouseReleaseEvent(QMouseEvent *event)
{
    const QPersistentModelIndex pressed = m_pressed;
    m_pressed = QModelIndex();
    if (event->button() != Qt::LeftButton || !pressed.isValid())
        return;
    const QModelIndex index = rowAt(event->position().toPoint());
    if (index != pressed)
        return;
    const ClipItemPtr item = m_model->item(index);
    if (!item)
        return;
    if (m_pressedOnPin)
        m_state.clipboardManager().togglePin(item);
    else
        m_state.clickRow(item);
}

void HistoryListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A second click is just another click: there is no double-click action.
    mousePressEvent(event);
}

PanelMenu *HistoryListView::createContextMenu(const ClipItemPtr &item, QWidget *parent)
{
    auto *menu = new PanelMenu(parent, PanelMenu::Look::Panel);
    PanelState &state = m_state;
    ClipboardManager &store = m_state.clipboardManager();

    menu->addEntry(QStringLiteral("Paste"), QStringLiteral("doc.on.clipboard"), menu,
                   [&state, item] { state.paste(item); });
    const bool pinned = item->isPinned();
    menu->addEntry(pinned ? QStringLiteral("Unpin Snippet") : QStringLiteral("Pin Snippet"),
                   pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"), menu,
                   [&store, item] { store.togglePin(item); });
    menu->addEntry(QStringLiteral("Copy to Clipboard"), QStringLiteral("doc.on.doc"), menu,
                   [&store, item] { store.copyToClipboard(item->rawContent()); });
    menu->addSeparator();
    menu->addEntry(QStringLiteral("Delete"), QStringLiteral("trash"), menu,
                   [&store, item] { store.deleteItem(item); }, PanelMenu::Role::Destructive);
    return menu;
}

void HistoryListView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = rowAt(event->pos()) /* viewport coordinates */;
    const ClipItemPtr item = m_model->item(index);
    if (!index.isValid() || !item)
        return;
    PanelMenu *menu = createContextMenu(item, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
