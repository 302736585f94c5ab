#pragma once

#include <memory>

class Pasteboard;

// The one place that knows which backend runs: X11 where the session has
// an X display, Qt's portable implementations elsewhere.
struct PlatformServices
{
    std::unique_ptr<Pasteboard> pasteboard;
};

PlatformServices createPlatformServices();

// The process's clipboard, made by createPlatformServices() on first use.
Pasteboard &defaultPasteboard();
