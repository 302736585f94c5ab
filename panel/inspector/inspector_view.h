#pragma once

#include "clip_item.h"

#include <QPointer>
#include <QWidget>

class PanelState;
class QVBoxLayout;
struct PanelServices;

// The right-hand column: the active item's pane, or the empty state.
// A pane is built anew only when the active item or its fields change; a
// move to another item fades the new pane in.
class InspectorView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int fadeMs = 150;

    InspectorView(PanelState &state, const PanelServices &services, QWidget *parent = nullptr);

    // The pane for an item, chosen by its stored type string.
    QWidget *createPane(const ClipItemPtr &item);

    // What is shown now: the active item (none for the empty state) and
    // the widget showing it.
    const ClipItemPtr &shownItem() const { return m_shown.item; }
    QWidget *content() const { return m_content; }
    // How many times a pane or the empty state was built (for tests).
    int buildCount() const { return m_buildCount; }

public slots:
    // Coalesced: many state changes in one turn build at most one pane.
    void scheduleRefresh();
    void refresh();

private:
    struct Shown
    {
        ClipItemPtr item;
        QString typeRaw;
        TimeInterval timestamp = 0;
        bool pinned = false;
        bool operator==(const Shown &) const = default;
    };
    static Shown describe(const ClipItemPtr &item);
    void show(const Shown &next, bool fade);

    PanelState &m_state;
    const PanelServices &m_services;
    QVBoxLayout *m_layout;
    QPointer<QWidget> m_content;
    std::optional<Shown> m_shownState;
    Shown m_shown;
    bool m_refreshPending = false;
    int m_buildCount = 0;
};
