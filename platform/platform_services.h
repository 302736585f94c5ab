#pragma once

#include <QStringList>

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
    // What does not work in this session, a line each, for the user.
    QStringList notes;
};

// The one place that makes the backends: it describes the session (Qt's
// platform, which connections open, what the compositor offers) and builds
// what chooseBackends() picks for it. Needs the QGuiApplication to exist.
PlatformServices createPlatformServices();

// The Qt platform to run on, to be set before the application starts;
// nothing to leave the choice to Qt. In a Wayland session with XWayland the
// panel runs on xcb: there it can centre itself and stay on top, which a
// Wayland client cannot ask for. A platform the user chose is kept.
QByteArray preferredQtPlatform();
