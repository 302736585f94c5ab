#pragma once

#include <memory>

class GlobalHotKeyBackend;
class InputSynthesizer;
class Pasteboard;
class Scheduler;
class WindowSystem;

// What the program takes from the desktop, each behind its interface.
struct PlatformServices
{
    PlatformServices();
    PlatformServices(PlatformServices &&) noexcept;
    PlatformServices &operator=(PlatformServices &&) noexcept;
    ~PlatformServices();

    std::unique_ptr<Pasteboard> pasteboard;
    std::unique_ptr<GlobalHotKeyBackend> hotKeys;
    std::unique_ptr<InputSynthesizer> inputSynthesizer;
    std::unique_ptr<WindowSystem> windowSystem;
    std::unique_ptr<Scheduler> scheduler;
};

// The one place that knows which backends run: the native X11 ones when Qt
// runs on xcb and our own connection to its display opens, Qt's portable
// ones (and no global key, no key synthesis) elsewhere. Needs the
// QGuiApplication to exist.
PlatformServices createPlatformServices();

// The process's services, made by createPlatformServices() on first use.
PlatformServices &defaultPlatformServices();
Pasteboard &defaultPasteboard();
