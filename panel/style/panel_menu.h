#pragma once

#include <QMenu>

// A menu of the panel or the tray. Titles are shown exactly as written (an
// "&" is no mnemonic marker here); icons come from the icon set, tinted for
// the menu's own palette each time it opens; destructive entries are drawn
// in red. The panel's own menus look like the panel (its dark palette and
// accent, rounded corners); the tray's follows the desktop's theme.
class PanelMenu : public QMenu
{
    Q_OBJECT
public:
    enum class Role { Normal, Destructive };
    enum class Look { Desktop, Panel };

    explicit PanelMenu(QWidget *parent = nullptr, Look look = Look::Desktop);

    // iconName: a symbol of the icon set, or empty for none.
    QAction *addEntry(const QString &title, const QString &iconName = {}, Role role = Role::Normal);
    template<typename Context, typename Functor>
    QAction *addEntry(const QString &title, const QString &iconName, const Context *context,
                      Functor &&slot, Role role = Role::Normal)
    {
        QAction *action = addEntry(title, iconName, role);
        connect(action, &QAction::triggered, context, std::forward<Functor>(slot));
        return action;
    }
    // Renames an entry, again without mnemonics.
    static void setTitle(QAction *action, const QString &title);

    // Red that reads on the palette's menu background.
    static QColor destructiveColor(const QPalette &palette);

protected:
    void initStyleOption(QStyleOptionMenuItem *option, const QAction *action) const override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void tintIcons();

    Look m_look;
};
