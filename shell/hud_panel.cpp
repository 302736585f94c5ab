#include "hud_panel.h"

#include "panel_view.h"
#include "trace.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QPixmapCache>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSet>
#include <QVBoxLayout>
#include <QWindow>

HUDPanel::HUDPanel(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Tavorindle"));
    setFixedSize(panelSize);
    setBackdrop(false, false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

void HUDPanel::setContentView(QWidget *view)
{
    if (m_content || !view)
        return;
    m_content = view;
    layout()->addWidget(view);
}

QRect HUDPanel::centredGeometry(const QRect &area, QSize size)
{
    QRect rect(QPoint(0, 0), size);
    rect.moveCenter(area.center());
    // QRect::center() rounds down; centre on the exact middle instead.
    rect.moveLeft(area.left() + (area.width() - size.width()) / 2);
    rect.moveTop(area.top() + (area.height() - size.height()) / 2);
    if (rect.left() < area.left())
        rect.moveLeft(area.left());
    if (rect.top() < area.top())
        rect.moveTop(area.top());
    return rect;
}

void HUDPanel::centreOnPointerScreen()
{
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    setGeometry(centredGeometry(screen->availableGeometry(), panelSize));
}

bool HUDPanel::setTranslucent(bool translucent)
{
    if (translucent == testAttribute(Qt::WA_TranslucentBackground) || isVisible())
        return false;
    const bool made = testAttribute(Qt::WA_WState_Created);
    if (made)
        destroy();
    setAttribute(Qt::WA_TranslucentBackground, translucent);
    if (made)
        create();
    return made;
}

void HUDPanel::setBackdrop(bool composited, bool blurred)
{
    // With a compositor the shape reaches two pixels past the outline, so
    // that the antialiased edge lies wholly inside it and shows smooth,
    // while compositors that draw shadows of their own still round them.
    const qreal grow = composited ? 2 : 0;
    const qreal r = TavorindleView::cornerRadius + grow;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(panelSize)).adjusted(-grow, -grow, grow, grow), r, r);
    setMask(QRegion(shape.toFillPolygon().toPolygon()) & QRegion(rect()));
    if (auto *view = qobject_cast<TavorindleView *>(m_content))
        view->setBlurredBehind(blurred);
}

void HUDPanel::prepareFirstShow()
{
    // Shown where nobody sees it (no window is mapped), so that every
    // widget is polished, laid out and told it shows, then painted once
    // offscreen: the fonts, glyphs, icons and pane a first frame needs are
    // then made.
    setAttribute(Qt::WA_DontShowOnScreen);
    show();
    hide();
    setAttribute(Qt::WA_DontShowOnScreen, false);
    QPixmap frame(size() * devicePixelRatioF());
    frame.setDevicePixelRatio(devicePixelRatioF());
    frame.fill(Qt::transparent);
    render(&frame);
    // What the paint put in Qt's pixmap cache would be swept by a timer 30 s
    // later, waking the program at rest: the icons are drawn again cheaply
    // at the show.
    QPixmapCache::clear();

    // The window system loads a pointer shape (a theme file read and sent
    // to the display server) the first time a window uses it, and keeps it.
    QWindow *window = windowHandle();
    if (!window)
        return;
    QSet<Qt::CursorShape> shapes{cursor().shape()};
    for (const QWidget *widget : findChildren<QWidget *>())
        shapes.insert(widget->cursor().shape());
    shapes.remove(Qt::BitmapCursor);
    for (Qt::CursorShape shape : std::as_const(shapes))
        window->setCursor(shape);
    // The widgets set their own again when shown.
    window->unsetCursor();
}

void HUDPanel::cancelOperation()
{
    if (onCancel)
        onCancel();
}

void HUDPanel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        cancelOperation();
        return;
    }
    QWidget::keyPressEvent(event);
}

void HUDPanel::closeEvent(QCloseEvent *event)
{
    // The panel lives for the whole run: a close (Alt+F4 in most window
    // managers) is a hide, with the same clean-up as any other.
    event->ignore();
    cancelOperation();
}

void HUDPanel::paintEvent(QPaintEvent *event)
{
    // An opaque window shows the view as a translucent one does where
    // nothing blends it: over black.
    if (!testAttribute(Qt::WA_TranslucentBackground))
        QPainter(this).fillRect(event->rect(), Qt::black);
    QWidget::paintEvent(event);
    if (m_traceNextPaint && Trace::enabled()) {
        m_traceNextPaint = false;
        // Runs once the whole window has been painted and flushed.
        QMetaObject::invokeMethod(
            this, [] { Trace::mark("panel-painted"); }, Qt::QueuedConnection);
    }
}
