#include "key_monitor.h"

#include "panel_notifications.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <optional>

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

bool command(const KeyMonitor::KeyInput &input)
{
    return input.modifiers.testFlag(Qt::ControlModifier);
}

// A row's test: the index it carries (-1 for none), or nothing when the key
// is not the row's.
using Match = std::optional<int> (*)(const KeyMonitor::KeyInput &);

// The key whatever the modifiers.
template <Qt::Key key>
std::optional<int> anyModifiers(const KeyMonitor::KeyInput &input)
{
    return input.key == key ? std::optional(-1) : std::nullopt;
}

template <Qt::Key key>
std::optional<int> withCommand(const KeyMonitor::KeyInput &input)
{
    return command(input) && input.key == key ? std::optional(-1) : std::nullopt;
}

// Command with the digits 1 to 9 as typed (the layout decides, not the
// key): rows 0 to 8.
std::optional<int> commandDigit(const KeyMonitor::KeyInput &input)
{
    if (!command(input))
        return std::nullopt;
    if (const auto n = parseInteger(KeyMonitor::typedText(input)); n && *n >= 1 && *n <= 9)
        return *n - 1;
    return std::nullopt;
}

} // namespace

struct KeyMonitor::Binding
{
    Match match;
    void (*perform)(const Targets &, int index);
};

namespace {

// The panel's keys: the first row that applies decides; keypad Enter and
// everything else reach the focused widget.
const KeyMonitor::Binding keyTable[] = {
    {withCommand<Qt::Key_Q>, [](const KeyMonitor::Targets &t, int) { t.quit(); }},
    {anyModifiers<Qt::Key_Escape>, [](const KeyMonitor::Targets &t, int) { t.hide(); }},
    {anyModifiers<Qt::Key_Up>,
     [](const KeyMonitor::Targets &t, int) { emit t.notifications.tavorindleNavigateUp(); }},
    {anyModifiers<Qt::Key_Down>,
     [](const KeyMonitor::Targets &t, int) { emit t.notifications.tavorindleNavigateDown(); }},
    {anyModifiers<Qt::Key_Return>,
     [](const KeyMonitor::Targets &t, int) { emit t.notifications.tavorindlePasteSelected(); }},
    {commandDigit,
     [](const KeyMonitor::Targets &t, int index) { emit t.notifications.tavorindleQuickPaste(index); }},
};

} // namespace

KeyMonitor::Decision KeyMonitor::decide(const KeyInput &input)
{
    for (const Binding &row : keyTable) {
        if (const std::optional<int> index = row.match(input))
            return {&row, *index};
    }
    return {};
}

void KeyMonitor::Decision::perform(const Targets &targets) const
{
    if (binding)
        binding->perform(targets, index);
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
