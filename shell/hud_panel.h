#pragma once

#include <QWidget>

#include <functional>

// The floating panel the history is browsed in: frameless, above other
// windows, with a see-through background that the hosted view paints. It is
// made once and reused; hiding it keeps its view and that view's state.
class HUDPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize panelSize{720, 460};

    explicit HUDPanel(QWidget *parent = nullptr);

    // Hosts the view (the panel takes it over); set once.
    void setContentView(QWidget *view);
    QWidget *contentView() const { return m_content; }

    // Run for Escape and for a close request from the window manager.
    std::function<void()> onCancel;

    // Where a panel of `size` goes to sit in the middle of `area`; a panel
    // larger than the area keeps its top-left corner inside it.
    static QRect centredGeometry(const QRect &area, QSize size);
    // Moves the panel to the middle of the screen that holds the pointer.
    void centreOnPointerScreen();
    // A window with an alpha channel where a compositor blends it; an opaque
    // one where none runs: the display server would otherwise keep a copy
    // of a translucent window, made anew at each show. The window's format
    // is fixed when it is made: a change while hidden makes the window
    // anew (true is returned; what was asked of the old window must be
    // asked again), and none is made while the panel shows.
    bool setTranslucent(bool translucent);
    // The window takes the panel's rounded shape (a 1-bit mask): without a
    // compositor exactly, or its corners would show black; with one a little
    // wider, so that the antialiased corners the view paints show whole. The
    // view is see-through only over a blur.
    void setBackdrop(bool composited, bool blurred);


    // Does once, unseen, what the first show would otherwise do while the
    // user waits: lays out and paints the view, and loads the pointer shapes
    // its widgets use.
    void prepareFirstShow();

    // With tracing on, logs when the next paint after a show has finished.
    void traceNextPaint() { m_traceNextPaint = true; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void cancelOperation();

    QWidget *m_content = nullptr;
    bool m_traceNextPaint = false;
};
