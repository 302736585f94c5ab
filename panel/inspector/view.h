#pragma once

#include "clip_item.h"

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

class PanelState;
class QGraphicsOpacityEffect;
class QVBoxLayout;
struct PanelServices;

// The right-hand column: the active item's pane, or the empty state.
// Moving to another item (or to or from the empty state) cross-fades the
// new content in over the old; the same item drawn again keeps its pane.
// While hidden it only notes that it is out of date.
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
    const ClipItemPtr &shownItem() const { return m_shownItem; }
    QWidget *content() const { return m_content; }
    // The content on its way out during a fade, else null.
    QWidget *leavingContent() const { return m_leaving; }
    // How many times a pane or the empty state was built (for tests).
    int buildCount() const { return m_buildCount; }

public slots:
    // Coalesced: many state changes in one turn build at most one pane.
    void scheduleRefresh();
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showActiveItem(bool fade);
    void show(const ClipItemPtr &item, bool fade);

    PanelState &m_state;
    const PanelServices &m_services;
    QVBoxLayout *m_layout;
    QPointer<QWidget> m_content;
    QPointer<QWidget> m_leaving;
    QPointer<QGraphicsOpacityEffect> m_contentEffect;
    QPointer<QGraphicsOpacityEffect> m_leavingEffect;
    qreal m_leavingFrom = 1;
    QVariantAnimation m_fade;
    ClipItemPtr m_shownItem;
    bool m_built = false;
    bool m_stale = false;
    bool m_refreshPending = false;
    int m_buildCount = 0;
};
