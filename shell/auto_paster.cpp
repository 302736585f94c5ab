#include "auto_paster.h"

#include "clipboard_manager.h"
#include "input_synthesizer.h"
#include "pasteboard.h"
#include "platform_services.h"
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

AutoPaster &AutoPaster::shared()
{
    PlatformServices &services = defaultPlatformServices();
    static AutoPaster paster(ClipboardManager::shared(), *services.inputSynthesizer,
                             *services.windowSystem, *services.scheduler);
    return paster;
}

void AutoPaster::paste(const ClipItemPtr &item, const std::function<void()> &hideWindowHandler,
                       std::function<void(bool pressed)> finished)
{
    if (!item)
        return;
    const bool mayPost = m_input.mayPostInputEvents();
    m_manager.setIsPasting(true);
    m_manager.recordPaste(item);
    Pasteboard &pasteboard = m_manager.pasteboard();
    pasteboard.clearContents();
    pasteboard.setString(item->rawContent());
    m_manager.setLastChangeCount(pasteboard.changeCount());
    if (hideWindowHandler)
        hideWindowHandler();

    if (!mayPost) {
        m_manager.setIsPasting(false);
        if (finished)
            finished(false);
        return;
    }
    // isPasting is a flag, not a counter: an earlier paste's end may lower
    // it while this one's stroke is pending. lastChangeCount still holds
    // this paste's count, so the watcher records nothing of ours.
    // The end of the paste does not depend on the paster: the watcher must
    // not stay switched off.
    QPointer<AutoPaster> self(this);
    QPointer<ClipboardManager> manager(&m_manager);
    Scheduler *scheduler = &m_scheduler;
    m_scheduler.schedule(strokeDelay, [self, manager, scheduler, finished = std::move(finished)] {
        if (self)
            self->simulatePaste();
        scheduler->schedule(settleDelay, [manager, finished] {
            if (manager)
                manager->setIsPasting(false);
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
