#pragma once

#include <QToolButton>

struct PanelServices;
class PanelMenu;

// The gear button of the top bar and its menu: clear the unpinned
// history, open the website, quit.
class OptionsButton : public QToolButton
{
    Q_OBJECT
public:
    OptionsButton(const PanelServices &services, QWidget *parent = nullptr);

    PanelMenu *optionsMenu() const { return m_menu; }
    QSize sizeHint() const override { return {26, 26}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PanelMenu *m_menu;
};
