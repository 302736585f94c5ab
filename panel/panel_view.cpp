#include "panel_view.h"

#include "style/divider_line.h"
#include "list/history_list_view.h"
#include "inspector/view.h"
#include "style/named_colors.h"
#include "panel_notifications.h"
#include "top_bar/top_bar.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

// Drawn above every child: trims what the children painted outside the
// rounded outline, then strokes the outline on top.
class PanelOutline : public QWidget
{
public:
    explicit PanelOutline(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal r = TavorindleView::cornerRadius;
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), r, r);
        QPainterPath outside;
        outside.addRect(QRectF(rect()));
        p.setCompositionMode(QPainter::CompositionMode_Clear);
        p.fillPath(outside.subtracted(shape), Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        // A pixel in from the edge: on the antialiased edge itself the light
        // line would show as a fringe over what lies behind.
        QPainterPath outline;
        outline.addRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), r - 1.5, r - 1.5);
        p.setPen(QPen(NamedColors::primary(palette(), 0.08), 1));
        p.drawPath(outline);
    }
};

} // namespace

TavorindleView::TavorindleView(const PanelServices &services, std::function<void()> onDismiss,
                               QWidget *parent)
    : QWidget(parent),
      m_services(services),
      m_state(m_services.clipboardManager, m_services.paste, std::move(onDismiss))
{
    setFixedSize(panelWidth, panelHeight);
    setPalette(NamedColors::hudPalette(palette()));
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);

    m_topBar = new TopBar(m_state, m_services, this);
    m_list = new HistoryListView(m_state, m_services, this);
    m_list->setFixedWidth(listWidth);
    m_inspector = new InspectorView(m_state, m_services, this);
    m_inspector->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto *columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    columns->addWidget(m_list);
    columns->addWidget(new DividerLine(Qt::Vertical, 0.18, this));
    columns->addWidget(m_inspector, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_topBar);
    layout->addWidget(new DividerLine(Qt::Horizontal, 0.15, this));
    layout->addLayout(columns, 1);

    m_state.connectNotifications(m_services.notifications);

    auto *outline = new PanelOutline(this);
    outline->setGeometry(rect());
    outline->raise();
}

TavorindleView::~TavorindleView() = default;

void TavorindleView::showEvent(QShowEvent *event)
{
    // Later shows are announced by tavorindleWindowWillShow.
    if (!m_shownOnce) {
        m_shownOnce = true;
        m_state.resetToTopItem();
    }
    QWidget::showEvent(event);
}

void TavorindleView::setBlurredBehind(bool blurred)
{
    if (blurred == m_blurredBehind)
        return;
    m_blurredBehind = blurred;
    update();
}

void TavorindleView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    // Stands in for the blurred material: the window colour, slightly
    // see-through where the compositor blurs what lies behind.
    p.fillPath(shape, NamedColors::withOpacity(palette().color(QPalette::Window), backgroundOpacity()));
}
