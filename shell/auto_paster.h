#pragma once

#include "clip_item.h"

#include <QObject>

#include <chrono>
#include <functional>

class ClipboardManager;
class InputSynthesizer;
class Scheduler;
class WindowSystem;

// Puts one history item back into the window the user worked in: writes
// it to the clipboard without the watcher recording it, lets the caller
// hide the panel (which gives the focus back), and then, where input may
// be synthesized, presses the paste keys for the user.
class AutoPaster : public QObject
{
    Q_OBJECT
public:
    // From the hide handler to the key stroke: time for the window manager
    // to hand the focus back.
    static constexpr std::chrono::milliseconds strokeDelay{180};
    // From the key stroke to the end of the paste: time for the target to
    // read the clipboard before the watcher looks again.
    static constexpr std::chrono::milliseconds settleDelay{100};

    AutoPaster(ClipboardManager &manager, InputSynthesizer &input, WindowSystem &windows,
               Scheduler &scheduler, QObject *parent = nullptr);

    // Calls hideWindowHandler exactly once, before returning. A null item
    // does nothing. finished, when given, learns how the paste ended:
    // true once the keys were pressed and the settle time is over, false
    // at once when no keys may be pressed here.
    void paste(const ClipItemPtr &item, const std::function<void()> &hideWindowHandler,
               std::function<void(bool pressed)> finished = {});

private:
    void simulatePaste();

    ClipboardManager &m_manager;
    InputSynthesizer &m_input;
    WindowSystem &m_windows;
    Scheduler &m_scheduler;
};
