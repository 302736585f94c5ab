#include "list/history_list_model.h"

#include "panel_state.h"

HistoryListModel::HistoryListModel(PanelState &state, QObject *parent)
    : QAbstractListModel(parent), m_state(state), m_rows(state.filteredItems())
{
    connect(&m_state, &PanelState::filteredItemsChanged, this, &HistoryListModel::refresh);
}

int HistoryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant HistoryListModel::data(const QModelIndex &index, int role) const
{
    const ClipItemPtr it = item(index);
    if (!it)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return it->title();
    case IdRole: return it->id();
    default: return {};
    }
}

ClipItemPtr HistoryListModel::item(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row] : nullptr;
}

int HistoryListModel::rowOf(const QUuid &id) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (m_rows[i]->id() == id)
            return int(i);
    return -1;
}

void HistoryListModel::refresh()
{
    QList<ClipItemPtr> rows = m_state.filteredItems();
    const bool sameRows = std::equal(rows.begin(), rows.end(), m_rows.begin(), m_rows.end(),
                                     [](const ClipItemPtr &a, const ClipItemPtr &b) { return a == b; });
    if (sameRows) {
        // Same objects in the same places; only their fields (a pin) moved.
        if (!m_rows.isEmpty())
            emit dataChanged(index(0), index(int(m_rows.size()) - 1));
        return;
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}
