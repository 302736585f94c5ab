#include "wayland/wayland_backends.h"

#include "wayland/foreign_toplevel_window_system.h"
#include "wayland/kde_fake_input_synthesizer.h"
#include "wayland/plasma_window_system.h"
#include "wayland/virtual_keyboard_synthesizer.h"
#include "wayland/wayland_connection.h"
#include "wayland/wayland_pasteboard.h"
#include "x11/x11_owner_quit_watch.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

class NativeWaylandBackends final : public WaylandBackends
{
public:
    explicit NativeWaylandBackends(std::shared_ptr<WaylandConnection> connection)
        : m_connection(std::move(connection))
    {
    }

    QStringList globals() const override { return m_connection->globalNames(); }

    std::unique_ptr<Pasteboard> makePasteboard(BackendChoice::Clipboard kind,
                                               std::shared_ptr<X11Connection> xwayland) override
    {
        std::unique_ptr<WaylandPasteboard> pasteboard;
        switch (kind) {
        case BackendChoice::Clipboard::WaylandExtDataControl:
            pasteboard = std::make_unique<WaylandPasteboard>(m_connection, WaylandPasteboard::Protocol::Ext);
            break;
        case BackendChoice::Clipboard::WaylandWlrDataControl:
            pasteboard = std::make_unique<WaylandPasteboard>(m_connection, WaylandPasteboard::Protocol::Wlr);
            break;
        default:
            return nullptr;
        }
        if (xwayland) {
            // KWin keeps a quit X program's copy listed, with nothing behind it.
            auto *watch = new X11OwnerQuitWatch(std::move(xwayland), pasteboard.get());
            QObject::connect(watch, &X11OwnerQuitWatch::ownerQuit, pasteboard.get(),
                             &WaylandPasteboard::checkForeignContentServed);
        }
        return pasteboard;
    }

    std::unique_ptr<InputSynthesizer> makeInputSynthesizer(BackendChoice::Input kind) override
    {
        switch (kind) {
        case BackendChoice::Input::WaylandVirtualKeyboard:
            return std::make_unique<VirtualKeyboardSynthesizer>(m_connection);
        case BackendChoice::Input::KdeFakeInput:
            return std::make_unique<KdeFakeInputSynthesizer>(m_connection);
        default:
            return nullptr;
        }
    }

    std::unique_ptr<WindowSystem> makeWindowSystem(BackendChoice::Windows kind) override
    {
        // Qt names our windows by the desktop entry on Wayland and by the
        // program's name (WM_CLASS) through XWayland.
        QStringList own{QGuiApplication::desktopFileName(), QCoreApplication::applicationName(),
                        QFileInfo(QCoreApplication::applicationFilePath()).fileName()};
        own.removeAll(QString());
        switch (kind) {
        case BackendChoice::Windows::WaylandForeignToplevel:
            return std::make_unique<ForeignToplevelWindowSystem>(m_connection, own);
        case BackendChoice::Windows::KdePlasmaWindows:
            return std::make_unique<PlasmaWindowSystem>(m_connection, own);
        default:
            return nullptr;
        }
    }

private:
    std::shared_ptr<WaylandConnection> m_connection;
};

} // namespace

std::unique_ptr<WaylandBackends> WaylandBackends::connect()
{
    auto connection = WaylandConnection::open();
    if (!connection)
        return nullptr;
    return std::make_unique<NativeWaylandBackends>(std::move(connection));
}
