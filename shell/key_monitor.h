#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class PanelNotifications;
class QKeyEvent;
class QWidget;

// The keys the panel answers while it is shown, whichever of its widgets
// has the focus (the search field included). One table in key_monitor.cpp
// says which key does what; a new key is a new row there.
class KeyMonitor : public QObject
{
    Q_OBJECT
public:
    // What a key press carries that the table looks at.
    struct KeyInput
    {
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        QString text; // what the key types with its modifiers applied
    };
    // The character a key types with Ctrl's control-code mapping undone
    // (X11 reports Ctrl+2 as NUL): Shift and the layout still count.
    static QString typedText(const KeyInput &input);

    // What the keys act on: the program's quit, the panel's hide and the
    // notifications the panel view reacts to.
    struct Targets
    {
        std::function<void()> quit;
        std::function<void()> hide;
        PanelNotifications &notifications;
    };

    struct Binding; // a row of the table

    struct Decision
    {
        const Binding *binding = nullptr; // none: the key is passed on
        int index = -1; // the quick paste's row: 0 to 8
        bool swallows() const { return binding != nullptr; }
        void perform(const Targets &targets) const;
        bool operator==(const Decision &) const = default;
    };

    // The key table: the first row that applies decides.
    static Decision decide(const KeyInput &input);
    static KeyInput inputOf(const QKeyEvent &event);

    using Handler = std::function<void(const Decision &)>;

    // Installs itself as an application event filter for its lifetime. Only
    // key presses meant for `panel` count: a popup menu keeps its own keys.
    KeyMonitor(QWidget *panel, Handler handler, QObject *parent = nullptr);
    ~KeyMonitor() override;

    // Monitors alive in the process; the shell keeps at most one.
    static int liveCount();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isForPanel(QObject *watched) const;

    QPointer<QWidget> m_panel;
    Handler m_handler;
};
