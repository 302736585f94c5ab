#pragma once

#include "clip_item.h"
#include "filter_category.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class ClipboardManager;
class PanelNotifications;

// Whether an item passes the search: content, then title, then language,
// each a case-insensitive containment test. An empty search passes all.
bool matchesSearch(const ClipItem &item, const QString &searchText);

// Search, then category, then the display order: pinned first, each group
// newest first, equal timestamps in store order.
QList<ClipItemPtr> filterItems(const QList<ClipItemPtr> &items, const QString &searchText,
                               FilterCategory filter);

// The panel's view state and what derives from it, without any widget:
// the widgets draw it and forward gestures here.
class PanelState : public QObject
{
    Q_OBJECT
public:
    using PasteHandler =
        std::function<void(const ClipItemPtr &item, const std::function<void()> &hide)>;
    using Id = std::optional<QUuid>;

    PanelState(ClipboardManager &store, PasteHandler paste, std::function<void()> onDismiss,
               QObject *parent = nullptr);

    ClipboardManager &clipboardManager() const { return m_store; }

    const QString &searchText() const { return m_searchText; }
    void setSearchText(const QString &text);
    FilterCategory selectedFilter() const { return m_selectedFilter; }
    void setSelectedFilter(FilterCategory filter);
    // What a chip does: choose its category, then forget the hover.
    void chooseFilter(FilterCategory filter);
    const Id &selectedItemId() const { return m_selectedItemId; }
    void setSelectedItemId(const Id &id);
    const Id &hoveredItemId() const { return m_hoveredItemId; }
    void setHoveredItemId(const Id &id);
    const std::function<void()> &onDismiss() const { return m_onDismiss; }

    // Derived afresh on every read from the store, search and filter.
    QList<ClipItemPtr> filteredItems() const;
    // The hovered row, else the selected row, else the first row.
    ClipItemPtr activeInspectorItem() const;
    // The id that decides which row is highlighted: hover, else selection
    // (no fallback to the first row).
    Id activeRowId() const { return m_hoveredItemId ? m_hoveredItemId : m_selectedItemId; }

    void navigateSelection(int step);
    void resetToTopItem();

    // Hands the item to the paster with onDismiss as the hide handler.
    void paste(const ClipItemPtr &item) const;
    void pasteActiveItem() const;
    void quickPaste(int index) const;
    // Selects the row's item, then pastes it.
    void clickRow(const ClipItemPtr &item);

    // Subscribes to the five panel notifications.
    void connectNotifications(PanelNotifications &notifications);

signals:
    void searchTextChanged(const QString &text);
    void selectedFilterChanged(FilterCategory filter);
    void selectedItemIdChanged(const std::optional<QUuid> &id);
    void hoveredItemIdChanged(const std::optional<QUuid> &id);
    // The store, search or filter moved: filteredItems() may differ now.
    // Emitted before the change handlers move the selection.
    void filteredItemsChanged();

private:
    void onStoreChanged();
    void checkStoreFirstItem();
    void selectFirstFilteredItem();
    Id storeFirstItemId() const;
    ClipItemPtr findFiltered(const QList<ClipItemPtr> &list, const Id &id) const;

    ClipboardManager &m_store;
    PasteHandler m_paste;
    std::function<void()> m_onDismiss;
    QString m_searchText;
    FilterCategory m_selectedFilter = FilterCategory::All;
    Id m_selectedItemId;
    Id m_hoveredItemId;
    // The watched value of the first-item handler, not a derived result.
    Id m_storeFirstItemId;
    bool m_firstItemCheckPending = false;
};
