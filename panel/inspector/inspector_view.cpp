#include "inspector/inspector_view.h"

#include "clipboard_manager.h"
#include "clock.h"
#include "inspector/code_pane.h"
#include "inspector/color_pane.h"
#include "inspector/empty_state_view.h"
#include "inspector/link_pane.h"
#include "panel_services.h"
#include "panel_state.h"
#include "inspector/text_pane.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QVBoxLayout>

InspectorView::InspectorView(PanelState &state, const PanelServices &services, QWidget *parent)
    : QWidget(parent), m_state(state), m_services(services), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    connect(&m_state, &PanelState::filteredItemsChanged, this, &InspectorView::scheduleRefresh);
    connect(&m_state, &PanelState::selectedItemIdChanged, this, &InspectorView::scheduleRefresh);
    connect(&m_state, &PanelState::hoveredItemIdChanged, this, &InspectorView::scheduleRefresh);
    refresh();
}

QWidget *InspectorView::createPane(const ClipItemPtr &item)
{
    const TimeInterval now = m_state.clipboardManager().clock().now();
    switch (clipContentTypeFromRaw(item->contentTypeRaw()).value_or(ClipContentType::Text)) {
    case ClipContentType::Code:
        return new CodePane(item, m_services);
    case ClipContentType::Link:
        return new LinkPane(item, m_services, m_state.onDismiss());
    case ClipContentType::Color:
        return new ColorPane(item, m_services);
    case ClipContentType::Text:
        return new TextPane(item, now);
    }
    return new TextPane(item, now);
}

InspectorView::Shown InspectorView::describe(const ClipItemPtr &item)
{
    if (!item)
        return {};
    return {item, item->contentTypeRaw(), item->timestamp(), item->isPinned()};
}

void InspectorView::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &InspectorView::refresh, Qt::QueuedConnection);
}

void InspectorView::refresh()
{
    m_refreshPending = false;
    const Shown next = describe(m_state.activeInspectorItem());
    if (m_shownState && *m_shownState == next)
        return;
    // Another item fades in; the same item drawn anew (a re-copy moved
    // its time, a pin) does not.
    const bool otherItem = next.item && (!m_shown.item || m_shown.item->id() != next.item->id());
    show(next, otherItem && m_shownState.has_value());
}

void InspectorView::show(const Shown &next, bool fade)
{
    QWidget *content = nullptr;
    if (next.item) {
        // The column: insets 14, leading, spacing 12.
        content = new QWidget;
        auto *column = new QVBoxLayout(content);
        column->setContentsMargins(14, 14, 14, 14);
        column->setSpacing(12);
        column->addWidget(createPane(next.item), 1);
    } else {
        content = new EmptyStateView;
    }
    if (m_content) {
        m_layout->removeWidget(m_content);
        m_content->deleteLater();
        m_content->hide();
    }
    m_content = content;
    m_layout->addWidget(content);
    m_shown = next;
    m_shownState = next;
    ++m_buildCount;

    if (fade) {
        auto *effect = new QGraphicsOpacityEffect(content);
        effect->setOpacity(0);
        content->setGraphicsEffect(effect);
        auto *animation = new QPropertyAnimation(effect, "opacity", content);
        animation->setDuration(fadeMs);
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        // The effect renders through an offscreen pixmap: drop it once done.
        connect(animation, &QPropertyAnimation::finished, content,
                [content] { content->setGraphicsEffect(nullptr); });
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
    content->show();
}
