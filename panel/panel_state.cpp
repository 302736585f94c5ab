#include "panel_state.h"

#include "clipboard_manager.h"
#include "panel_notifications.h"

#include <algorithm>

bool matchesSearch(const ClipItem &item, const QString &searchText)
{
    if (searchText.isEmpty())
        return true;
    if (item.rawContent().contains(searchText, Qt::CaseInsensitive))
        return true;
    if (item.title().contains(searchText, Qt::CaseInsensitive))
        return true;
    const auto &language = item.detectedLanguage();
    return language && language->contains(searchText, Qt::CaseInsensitive);
}

QList<ClipItemPtr> filterItems(const QList<ClipItemPtr> &items, const QString &searchText,
                               FilterCategory filter)
{
    QList<ClipItemPtr> kept;
    kept.reserve(items.size());
    for (const ClipItemPtr &item : items) {
        if (matchesSearch(*item, searchText) && admits(filter, *item))
            kept.append(item);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const ClipItemPtr &a, const ClipItemPtr &b) {
        if (a->isPinned() != b->isPinned())
            return a->isPinned();
        return a->timestamp() > b->timestamp();
    });
    return kept;
}

PanelState::PanelState(ClipboardManager &store, PasteHandler paste,
                       std::function<void()> onDismiss, QObject *parent)
    : QObject(parent),
      m_store(store),
      m_paste(std::move(paste)),
      m_onDismiss(onDismiss ? std::move(onDismiss) : [] {}),
      m_storeFirstItemId(storeFirstItemId())
{
    connect(&m_store, &ClipboardManager::itemsChanged, this, &PanelState::onStoreChanged);
}

void PanelState::setSearchText(const QString &text)
{
    if (text == m_searchText)
        return;
    m_searchText = text;
    emit searchTextChanged(m_searchText);
    emit filteredItemsChanged();
    selectFirstFilteredItem();
}

void PanelState::setSelectedFilter(FilterCategory filter)
{
    if (filter == m_selectedFilter)
        return;
    m_selectedFilter = filter;
    emit selectedFilterChanged(m_selectedFilter);
    emit filteredItemsChanged();
    setHoveredItemId(std::nullopt);
    selectFirstFilteredItem();
}

void PanelState::chooseFilter(FilterCategory filter)
{
    setSelectedFilter(filter);
    setHoveredItemId(std::nullopt);
}

void PanelState::setSelectedItemId(const Id &id)
{
    if (id == m_selectedItemId)
        return;
    m_selectedItemId = id;
    emit selectedItemIdChanged(m_selectedItemId);
}

void PanelState::setHoveredItemId(const Id &id)
{
    if (id == m_hoveredItemId)
        return;
    m_hoveredItemId = id;
    emit hoveredItemIdChanged(m_hoveredItemId);
}

QList<ClipItemPtr> PanelState::filteredItems() const
{
    return filterItems(m_store.items(), m_searchText, m_selectedFilter);
}

ClipItemPtr PanelState::findFiltered(const QList<ClipItemPtr> &list, const Id &id) const
{
    if (!id)
        return nullptr;
    auto it = std::find_if(list.begin(), list.end(),
                           [&](const ClipItemPtr &item) { return item->id() == *id; });
    return it == list.end() ? nullptr : *it;
}

ClipItemPtr PanelState::activeInspectorItem() const
{
    const QList<ClipItemPtr> list = filteredItems();
    if (ClipItemPtr hovered = findFiltered(list, m_hoveredItemId))
        return hovered;
    if (ClipItemPtr selected = findFiltered(list, m_selectedItemId))
        return selected;
    return list.isEmpty() ? nullptr : list.first();
}

void PanelState::navigateSelection(int step)
{
    const QList<ClipItemPtr> list = filteredItems();
    if (list.isEmpty())
        return;
    qsizetype current = 0;
    if (m_selectedItemId) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (list[i]->id() == *m_selectedItemId) {
                current = i;
                break;
            }
        }
    }
    const qsizetype target = std::clamp<qsizetype>(current + step, 0, list.size() - 1);
    setSelectedItemId(list[target]->id());
}

void PanelState::resetToTopItem()
{
    setSearchText(QString());
    setSelectedFilter(FilterCategory::All);
    setHoveredItemId(std::nullopt);
    selectFirstFilteredItem();
}

void PanelState::selectFirstFilteredItem()
{
    const QList<ClipItemPtr> list = filteredItems();
    setSelectedItemId(list.isEmpty() ? Id() : Id(list.first()->id()));
}

PanelState::Id PanelState::storeFirstItemId() const
{
    const auto &items = m_store.items();
    return items.isEmpty() ? Id() : Id(items.first()->id());
}

void PanelState::onStoreChanged()
{
    emit filteredItemsChanged();
    // The store moves an item to the top in two steps (remove, insert); the
    // first-item handler must see only where it ends up, so it runs once
    // the store is done, in a later turn of the loop.
    if (m_firstItemCheckPending)
        return;
    m_firstItemCheckPending = true;
    QMetaObject::invokeMethod(this, &PanelState::checkStoreFirstItem, Qt::QueuedConnection);
}

void PanelState::checkStoreFirstItem()
{
    m_firstItemCheckPending = false;
    const Id first = storeFirstItemId();
    if (first == m_storeFirstItemId)
        return;
    m_storeFirstItemId = first;
    if (m_searchText.isEmpty() && m_selectedFilter == FilterCategory::All)
        setSelectedItemId(first);
}

void PanelState::paste(const ClipItemPtr &item) const
{
    if (item && m_paste)
        m_paste(item, m_onDismiss);
}

void PanelState::pasteActiveItem() const
{
    paste(activeInspectorItem());
}

void PanelState::quickPaste(int index) const
{
    if (index < 0)
        return;
    const QList<ClipItemPtr> list = filteredItems();
    if (index < list.size())
        paste(list[index]);
}

void PanelState::clickRow(const ClipItemPtr &item)
{
    if (!item)
        return;
    setSelectedItemId(item->id());
    paste(item);
}

void PanelState::connectNotifications(PanelNotifications &notifications)
{
    connect(&notifications, &PanelNotifications::tavorindleNavigateUp, this,
            [this] { navigateSelection(-1); });
    connect(&notifications, &PanelNotifications::tavorindleNavigateDown, this,
            [this] { navigateSelection(1); });
    connect(&notifications, &PanelNotifications::tavorindlePasteSelected, this,
            &PanelState::pasteActiveItem);
    connect(&notifications, &PanelNotifications::tavorindleQuickPaste, this,
            &PanelState::quickPaste);
    connect(&notifications, &PanelNotifications::tavorindleWindowWillShow, this,
            &PanelState::resetToTopItem);
}
