#pragma once

#include "backend_choice.h"

#include <QStringList>

#include <memory>

class InputSynthesizer;
class Pasteboard;
class WindowSystem;
class X11Connection;

// The native Wayland backends over one connection of our own. Built only
// with libwayland; without it connect() finds nothing and the program runs
// on its X11 and portable backends.
class WaylandBackends
{
public:
    virtual ~WaylandBackends() = default;

    // Null when no compositor answers (or when built without Wayland).
    static std::unique_ptr<WaylandBackends> connect();

    virtual QStringList globals() const = 0;
    // xwayland: our connection to XWayland, if any, to learn when an X
    // program that owned the clipboard quits.
    virtual std::unique_ptr<Pasteboard> makePasteboard(BackendChoice::Clipboard kind,
                                                       std::shared_ptr<X11Connection> xwayland) = 0;
    virtual std::unique_ptr<InputSynthesizer> makeInputSynthesizer(BackendChoice::Input kind) = 0;
    virtual std::unique_ptr<WindowSystem> makeWindowSystem(BackendChoice::Windows kind) = 0;
};
