#pragma once

#include "panel_services.h"
#include "panel_state.h"

#include <QWidget>

#include <functional>

class HistoryListView;
class InspectorView;
class TopBar;

// The panel's root view: top bar, divider, the history list beside the
// inspector, on a translucent rounded background. 720 x 460.
//
// The shell puts it into its HUD window (frameless, translucent, the same
// size) and emits PanelNotifications::tavorindleWindowWillShow before every
// show after the first; the first show resets the state by itself.
class TavorindleView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int panelWidth = 720;
    static constexpr int panelHeight = 460;
    static constexpr int listWidth = 290;
    static constexpr qreal cornerRadius = 18;

    // onDismiss hides the panel; every paste hands it to services.paste.
    TavorindleView(const PanelServices &services, std::function<void()> onDismiss,
                   QWidget *parent = nullptr);
    ~TavorindleView() override;

    PanelState &state() { return m_state; }
    const std::function<void()> &onDismiss() const { return m_state.onDismiss(); }
    TopBar *topBar() const { return m_topBar; }
    HistoryListView *historyList() const { return m_list; }
    InspectorView *inspector() const { return m_inspector; }
    // Translucent only over a blur: without one the text behind would read
    // through the list.
    void setBlurredBehind(bool blurred);
    qreal backgroundOpacity() const { return m_blurredBehind ? 0.92 : 0.985; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    PanelServices m_services;
    PanelState m_state;
    TopBar *m_topBar;
    HistoryListView *m_list;
    InspectorView *m_inspector;
    bool m_shownOnce = false;
    bool m_blurredBehind = false;
};
