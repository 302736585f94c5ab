#pragma once

#include "clip_item.h"

#include <QAbstractListModel>
#include <QUuid>

class PanelState;

// The rows of the history list: the panel's filteredItems, re-read whenever
// the store, search or filter moves. Rows are keyed by item id.
class HistoryListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit HistoryListModel(PanelState &state, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    ClipItemPtr item(int row) const;
    ClipItemPtr item(const QModelIndex &index) const { return item(index.row()); }
    // -1 when the id is not listed.
    int rowOf(const QUuid &id) const;

    // Re-reads filteredItems: the same ids in the same order only repaint,
    // anything else resets the rows.
    void refresh();

private:
    PanelState &m_state;
    QList<ClipItemPtr> m_rows;
};
