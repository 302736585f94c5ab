#include "platform_services.h"

#include "global_hot_key_backend.h"
#include "input_synthesizer.h"
#include "pasteboard.h"
#include "qt/no_hot_key_backend.h"
#include "qt/no_input_synthesizer.h"
#include "qt/qt_pasteboard.h"
#include "qt/qt_scheduler.h"
#include "qt/qt_window_system.h"
#include "scheduler.h"
#include "window_system.h"
#include "x11/x11_connection.h"
#include "x11/x11_hot_key_backend.h"
#include "x11/x11_input_synthesizer.h"
#include "x11/x11_pasteboard.h"
#include "x11/x11_window_system.h"

#include <QGuiApplication>

#include <X11/Xlib.h>

PlatformServices::PlatformServices() = default;
PlatformServices::PlatformServices(PlatformServices &&) noexcept = default;
PlatformServices &PlatformServices::operator=(PlatformServices &&) noexcept = default;
PlatformServices::~PlatformServices() = default;

namespace {

std::shared_ptr<X11Connection> openX11()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    // The display Qt itself talks to, whatever DISPLAY says.
    QByteArray name;
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        if (Display *display = x11->display())
            name = DisplayString(display);
    }
    return X11Connection::open(name);
}

} // namespace

PlatformServices createPlatformServices()
{
    PlatformServices services;
    services.scheduler = std::make_unique<QtScheduler>();
    if (auto connection = openX11()) {
        services.pasteboard = std::make_unique<X11Pasteboard>(connection);
        services.hotKeys = std::make_unique<X11HotKeyBackend>(connection);
        services.inputSynthesizer = std::make_unique<X11InputSynthesizer>(connection);
        services.windowSystem = std::make_unique<X11WindowSystem>(connection);
        return services;
    }
    services.pasteboard = std::make_unique<QtPasteboard>();
    services.hotKeys = std::make_unique<NoHotKeyBackend>();
    services.inputSynthesizer = std::make_unique<NoInputSynthesizer>();
    services.windowSystem = std::make_unique<QtWindowSystem>();
    return services;
}

PlatformServices &defaultPlatformServices()
{
    static PlatformServices services = createPlatformServices();
    return services;
}

Pasteboard &defaultPasteboard()
{
    return *defaultPlatformServices().pasteboard;
}
