#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// What the program learns about its desktop session at start, before it
// picks the backends. Filled by the platform factory; tests write it.
struct SessionDescription
{
    // Qt's platform plugin: "xcb", "wayland", "offscreen"...
    QString qtPlatform;
    // WAYLAND_DISPLAY or WAYLAND_SOCKET is set, or XDG_SESSION_TYPE says so.
    bool waylandSession = false;
    // Our own connection to the compositor opened.
    bool waylandConnected = false;
    // The interface names of the globals the compositor offers us.
    QStringList waylandGlobals;
    // Our own connection to an X display opened (XWayland in a Wayland session).
    bool x11Connected = false;
    // XDG_CURRENT_DESKTOP: colon-separated names such as "sway", "KDE", "GNOME".
    QString desktop;
    // TAVORINDLE_PLATFORM: "x11", "wayland" or "qt"; empty to let the program choose.
    QString requested;
    // GNOME Shell's bridge extension owns its name on the session bus.
    bool gnomeBridge = false;
    // KDE's shortcut service (org.kde.kglobalaccel) runs or can be started.
    bool kdeGlobalAccel = false;
};

struct BackendChoice
{
    Q_GADGET
public:
    enum class Clipboard { X11, WaylandExtDataControl, WaylandWlrDataControl, GnomeBridge, Qt };
    Q_ENUM(Clipboard)
    enum class HotKeys { X11, KdeGlobalAccel, Portal, GnomeBridge, Absent };
    Q_ENUM(HotKeys)
    enum class Input { X11, WaylandVirtualKeyboard, KdeFakeInput, GnomeBridge, Absent };
    Q_ENUM(Input)
    enum class Windows { X11, WaylandForeignToplevel, KdePlasmaWindows, GnomeBridge, Qt };
    Q_ENUM(Windows)

    Clipboard clipboard = Clipboard::Qt;
    HotKeys hotKeys = HotKeys::Absent;
    Input input = Input::Absent;
    Windows windows = Windows::Qt;
    // What the user should know about what does not work here, a line each.
    QStringList notes;
};

namespace WaylandGlobal {
inline constexpr char seat[] = "wl_seat";
inline constexpr char extDataControl[] = "ext_data_control_manager_v1";
inline constexpr char wlrDataControl[] = "zwlr_data_control_manager_v1";
inline constexpr char virtualKeyboard[] = "zwp_virtual_keyboard_manager_v1";
inline constexpr char kdeFakeInput[] = "org_kde_kwin_fake_input";
inline constexpr char foreignToplevel[] = "zwlr_foreign_toplevel_manager_v1";
inline constexpr char kdeWindowManagement[] = "org_kde_plasma_window_management";
} // namespace WaylandGlobal

// The backends for a session. In a Wayland session the compositor's own
// clipboard, input and window protocols win even when Qt runs on xcb
// through XWayland; what the compositor lacks falls back to XWayland
// (only X programs' copies are seen) or to Qt's portable backends, and the
// notes say so. GNOME, which offers no such protocol, is served by its
// shell's bridge extension wherever that is enabled.
BackendChoice chooseBackends(const SessionDescription &session);

// Qt's platforms without a desktop (tests and other headless runs), where
// no backend connects to anything.
bool isHeadlessQtPlatform(const QString &qtPlatform);
