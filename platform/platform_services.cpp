#include "platform_services.h"

#include "backend_choice.h"
#include "global_hot_key_backend.h"
#include "gnome/gnome_bridge.h"
#include "gnome/gnome_hot_key_backend.h"
#include "gnome/gnome_input_synthesizer.h"
#include "gnome/gnome_pasteboard.h"
#include "gnome/gnome_window_system.h"
#include "input_synthesizer.h"
#include "kde/kglobalaccel_hot_key_backend.h"
#include "pasteboard.h"
#include "portal/portal_hot_key_backend.h"
#include "qt/no_hot_key_backend.h"
#include "qt/no_input_synthesizer.h"
#include "qt/qt_pasteboard.h"
#include "qt/qt_scheduler.h"
#include "qt/qt_window_system.h"
#include "scheduler.h"
#include "wayland/wayland_backends.h"
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

bool isWaylandSession()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_SOCKET")
        || qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

std::shared_ptr<X11Connection> openX11(bool waylandSession)
{
    if (!qGuiApp)
        return nullptr;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        // The display Qt itself talks to, whatever DISPLAY says.
        QByteArray name;
        if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            if (Display *display = x11->display())
                name = DisplayString(display);
        }
        return X11Connection::open(name);
    }
    // XWayland, for what the compositor itself does not offer.
    if (waylandSession && platform == QLatin1String("wayland") && qEnvironmentVariableIsSet("DISPLAY"))
        return X11Connection::open();
    return nullptr;
}

} // namespace

QByteArray preferredQtPlatform()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !isWaylandSession()
        || !qEnvironmentVariableIsSet("DISPLAY"))
        return {};
    return QByteArrayLiteral("xcb");
}

PlatformServices createPlatformServices()
{
    SessionDescription session;
    session.qtPlatform = qGuiApp ? QGuiApplication::platformName() : QString();
    session.waylandSession = isWaylandSession();
    session.desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    session.requested = qEnvironmentVariable("TAVORINDLE_PLATFORM").trimmed().toLower();
    const bool headless = isHeadlessQtPlatform(session.qtPlatform);
    const auto x11 = headless ? nullptr : openX11(session.waylandSession);
    session.x11Connected = x11 != nullptr;
    const auto wayland = headless || !session.waylandSession ? nullptr : WaylandBackends::connect();
    session.waylandConnected = wayland != nullptr;
    if (wayland)
        session.waylandGlobals = wayland->globals();
    // Only GNOME Shell owns the bridge's name; elsewhere the bus is not asked.
    if (!headless && session.waylandSession && session.desktop.contains(QLatin1String("GNOME"), Qt::CaseInsensitive))
        session.gnomeBridge = GnomeBridge::bridgePresent(QDBusConnection::sessionBus());
    if (!headless && session.waylandSession && session.desktop.contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        session.kdeGlobalAccel = KGlobalAccelHotKeyBackend::isPresent(QDBusConnection::sessionBus());
    const BackendChoice choice = chooseBackends(session);
    std::shared_ptr<GnomeBridge> bridge;
    if (session.gnomeBridge)
        bridge = std::make_shared<GnomeBridge>(QDBusConnection::sessionBus());

    PlatformServices services;
    services.notes = choice.notes;
    services.scheduler = std::make_unique<QtScheduler>();
    using Choice = BackendChoice;

    switch (choice.clipboard) {
    case Choice::Clipboard::X11:
        services.pasteboard = std::make_unique<X11Pasteboard>(x11);
        break;
    case Choice::Clipboard::WaylandExtDataControl:
    case Choice::Clipboard::WaylandWlrDataControl:
        services.pasteboard = wayland->makePasteboard(choice.clipboard, x11);
        break;
    case Choice::Clipboard::GnomeBridge:
        services.pasteboard = std::make_unique<GnomePasteboard>(bridge);
        break;
    case Choice::Clipboard::Qt:
        break;
    }
    if (!services.pasteboard)
        services.pasteboard = std::make_unique<QtPasteboard>();
    switch (choice.hotKeys) {
    case Choice::HotKeys::X11:
        services.hotKeys = std::make_unique<X11HotKeyBackend>(x11);
        break;
    case Choice::HotKeys::KdeGlobalAccel:
        services.hotKeys = std::make_unique<KGlobalAccelHotKeyBackend>(QDBusConnection::sessionBus());
        break;
    case Choice::HotKeys::Portal:
        services.hotKeys = std::make_unique<PortalHotKeyBackend>(QDBusConnection::sessionBus());
        break;
    case Choice::HotKeys::GnomeBridge:
        services.hotKeys = std::make_unique<GnomeHotKeyBackend>(bridge);
        break;
    case Choice::HotKeys::Absent:
        services.hotKeys = std::make_unique<NoHotKeyBackend>();
        break;
    }
    switch (choice.input) {
    case Choice::Input::X11:
        services.inputSynthesizer = std::make_unique<X11InputSynthesizer>(x11);
        break;
    case Choice::Input::WaylandVirtualKeyboard:
    case Choice::Input::KdeFakeInput:
        services.inputSynthesizer = wayland->makeInputSynthesizer(choice.input);
        break;
    case Choice::Input::GnomeBridge:
        services.inputSynthesizer = std::make_unique<GnomeInputSynthesizer>(bridge);
        break;
    case Choice::Input::Absent:
        break;
    }
    if (!services.inputSynthesizer)
        services.inputSynthesizer = std::make_unique<NoInputSynthesizer>();
    switch (choice.windows) {
    case Choice::Windows::X11:
        services.windowSystem = std::make_unique<X11WindowSystem>(x11);
        break;
    case Choice::Windows::WaylandForeignToplevel:
    case Choice::Windows::KdePlasmaWindows:
        services.windowSystem = wayland->makeWindowSystem(choice.windows);
        break;
    case Choice::Windows::GnomeBridge:
        services.windowSystem = std::make_unique<GnomeWindowSystem>(bridge);
        break;
    case Choice::Windows::Qt:
        break;
    }
    if (!services.windowSystem)
        services.windowSystem = std::make_unique<QtWindowSystem>();
    return services;
}
