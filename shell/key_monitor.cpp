#include "key_monitor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

int s_liveCount = 0;

// A base-10 integer: optional sign, then one or more ASCII digits, nothing else.
std::optional<int> parseInteger(const QString &text)
{
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) {
        negative = text[0] == u'-';
        i = 1;
    }
    if (i >= text.size() || text.size() - i > 9)
        return std::nullopt;
    int value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return negative ? -value : value;
}

} // namespace

KeyMonitor::Decision KeyMonitor::decide(const KeyInput &input)
{
    const bool command = input.modifiers.testFlag(Qt::ControlModifier);
    if (command && input.key == Qt::Key_Q)
        return {Action::Quit};
    switch (input.key) {
    case Qt::Key_Escape:
        return {Action::Hide};
    case Qt::Key_Up:
        return {Action::NavigateUp};
    case Qt::Key_Down:
        return {Action::NavigateDown};
    case Qt::Key_Return:
        return {Action::PasteSelected};
    default:
        break;
    }
    if (command) {
        if (const auto n = parseInteger(typedText(input)); n && *n >= 1 && *n <= 9)
            return {Action::QuickPaste, *n - 1};
    }
    return {};
}

QString KeyMonitor::typedText(const KeyInput &input)
{
    const bool control = std::any_of(input.text.cbegin(), input.text.cend(),
                                     [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    if (!input.text.isEmpty() && !control)
        return input.text;
    // Qt's key codes for printable ASCII are the (upper-case) characters.
    if (input.key >= 0x20 && input.key <= 0x7e)
        return QString(QChar(input.key));
    return {};
}

KeyMonitor::KeyInput KeyMonitor::inputOf(const QKeyEvent &event)
{
    return {event.key(), event.modifiers(), event.text()};
}

KeyMonitor::KeyMonitor(QWidget *panel, Handler handler, QObject *parent)
    : QObject(parent), m_panel(panel), m_handler(std::move(handler))
{
    ++s_liveCount;
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

KeyMonitor::~KeyMonitor()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
    --s_liveCount;
}

int KeyMonitor::liveCount()
{
    return s_liveCount;
}

bool KeyMonitor::isForPanel(QObject *watched) const
{
    if (!m_panel)
        return false;
    if (auto *widget = qobject_cast<QWidget *>(watched))
        return widget->window() == m_panel;
    if (auto *window = qobject_cast<QWindow *>(watched))
        return window == m_panel->windowHandle();
    return false;
}

bool KeyMonitor::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return false;
    if (!m_handler || !isForPanel(watched))
        return false;
    const Decision decision = decide(inputOf(*static_cast<QKeyEvent *>(event)));
    if (!decision.swallows())
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Keep the key from any shortcut so that it arrives as a key press.
        event->accept();
        return true;
    }
    // The handler may end the panel (or this monitor): copy what it needs.
    const Handler handler = m_handler;
    handler(decision);
    return true;
}
