#include "inspector/view.h"

#include "clipboard_manager.h"
#include "clock.h"
#include "inspector/code_pane.h"
#include "inspector/color_pane.h"
#include "inspector/empty_state_view.h"
#include "inspector/link_pane.h"
#include "inspector/text_pane.h"
#include "panel_services.h"
#include "panel_state.h"

#include <QGraphicsOpacityEffect>
#include <QVBoxLayout>

InspectorView::InspectorView(PanelState &state, const PanelServices &services, QWidget *parent)
    : QWidget(parent), m_state(state), m_services(services), m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_fade.setDuration(fadeMs);
    m_fade.setStartValue(0.0);
    m_fade.setEndValue(1.0);
    m_fade.setEasingCurve(QEasingCurve::InOutQuad);
    connect(&m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const qreal t = value.toReal();
        if (m_contentEffect)
            m_contentEffect->setOpacity(t);
        if (m_leavingEffect)
            m_leavingEffect->setOpacity(m_leavingFrom * (1 - t));
    });
    connect(&m_fade, &QVariantAnimation::finished, this, [this] {
        delete m_leaving;
        // The effect renders through an offscreen pixmap: drop it once done.
        if (m_content)
            m_content->setGraphicsEffect(nullptr);
    });
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
    // Hidden, nothing is drawn: the pane is built when the column shows
    // again, not for every copy made meanwhile.
    if (m_built && !isVisible()) {
        m_stale = true;
        return;
    }
    showActiveItem(true);
}

void InspectorView::showEvent(QShowEvent *event)
{
    // Straight to what is current, before the first frame: no fade from
    // what was shown when the panel last closed.
    if (m_stale || m_refreshPending) {
        m_stale = false;
        showActiveItem(false);
    }
    QWidget::showEvent(event);
}

void InspectorView::showActiveItem(bool fade)
{
    const ClipItemPtr next = m_state.activeInspectorItem();
    if (m_built && next == m_shownItem) {
        // The same item drawn again: only its age is read anew.
        if (auto *text = m_content ? m_content->findChild<TextPane *>() : nullptr)
            text->showTime(m_state.clipboardManager().clock().now());
        return;
    }
    // Keyed on the id: another object of the same id (a reload) is built
    // anew but not faded.
    const bool sameId = next && m_shownItem && next->id() == m_shownItem->id();
    show(next, fade && m_built && !sameId);
}

void InspectorView::show(const ClipItemPtr &item, bool fade)
{
    QWidget *content = nullptr;
    if (item) {
        // The column: insets 14, leading, spacing 12.
        content = new QWidget;
        auto *column = new QVBoxLayout(content);
        column->setContentsMargins(14, 14, 14, 14);
        column->setSpacing(12);
        column->addWidget(createPane(item), 1);
    } else {
        content = new EmptyStateView;
    }

    QWidget *old = m_content;
    const qreal oldOpacity = m_contentEffect ? m_contentEffect->opacity() : 1.0;
    m_fade.stop();
    // At most one pane leaves at a time: one still fading out goes now.
    delete m_leaving;
    if (old) {
        m_layout->removeWidget(old);
        if (fade) {
            // Outside the layout, over the new content, where it was.
            old->setAttribute(Qt::WA_TransparentForMouseEvents);
            old->raise();
            m_leaving = old;
            m_leavingFrom = oldOpacity;
            m_leavingEffect = new QGraphicsOpacityEffect(old);
            m_leavingEffect->setOpacity(oldOpacity);
            old->setGraphicsEffect(m_leavingEffect);
        } else {
            delete old;
        }
    }
    m_content = content;
    m_layout->addWidget(content);
    m_shownItem = item;
    m_built = true;
    ++m_buildCount;

    if (fade) {
        m_contentEffect = new QGraphicsOpacityEffect(content);
        m_contentEffect->setOpacity(0);
        content->setGraphicsEffect(m_contentEffect);
        if (m_leaving)
            m_leaving->raise();
        m_fade.start();
    }
    content->show();
}
