#include "auto_paster.h"

#include "clipboard_manager.h"
#include "input_synthesizer.h"
#include "scheduler.h"
#include "window_system.h"

#include <QPointer>

AutoPaster::AutoPaster(ClipboardManager &manager, InputSynthesizer &input, WindowSystem &windows,
                       Scheduler &scheduler, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_input(input)
    , m_windows(windows)
    , m_scheduler(scheduler)
{
}

void AutoPaster::paste(const ClipItemPtr &item, const std::function<void()> &hideWindowHandler,
                       std::function<void(bool pressed)> finished)
{
    if (!item)
        return;
    const bool mayPost = m_input.mayPostInputEvents();
    // Held until the stroke has been read: the watcher takes nothing of ours.
    ClipboardManager::PasteGuard guard = m_manager.beginPaste();
    m_manager.recordPaste(item);
    m_manager.writeAsOwn(item->rawContent());
    if (hideWindowHandler)
        hideWindowHandler();

    if (!mayPost) {
        if (finished)
            finished(false);
        return;
    }
    // The end of the paste does not depend on the paster: the watcher must
    // not stay switched off.
    QPointer<AutoPaster> self(this);
    Scheduler *scheduler = &m_scheduler;
    m_scheduler.schedule(strokeDelay, [self, scheduler, guard, finished = std::move(finished)] {
        if (self)
            self->simulatePaste();
        scheduler->schedule(settleDelay, [guard, finished] {
            if (finished)
                finished(true);
        });
    });
}

void AutoPaster::simulatePaste()
{
    // The stroke goes to whichever window has the focus by now.
    const auto windowClass = m_windows.windowClass(m_windows.activeWindow());
    const PasteStroke stroke = windowClass ? pasteStrokeForWindowClass(windowClass->instanceName,
                                                                       windowClass->className)
                                           : PasteStroke::ControlV;
    m_input.postPasteStroke(stroke);
}
