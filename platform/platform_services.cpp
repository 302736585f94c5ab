#include "platform_services.h"

#include "qt/qt_pasteboard.h"

PlatformServices createPlatformServices()
{
    PlatformServices services;
    services.pasteboard = std::make_unique<QtPasteboard>();
    return services;
}

Pasteboard &defaultPasteboard()
{
    static PlatformServices services = createPlatformServices();
    return *services.pasteboard;
}
