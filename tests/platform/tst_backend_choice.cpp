// Which backends run on which desktop, from a description of the session.
#include "backend_choice.h"

#include <QTest>

using Choice = BackendChoice;
using Session = SessionDescription;

Q_DECLARE_METATYPE(SessionDescription)
Q_DECLARE_METATYPE(BackendChoice)

namespace {

const QStringList common{"wl_compositor", "wl_shm", "wl_seat", "wl_output", "xdg_wm_base",
                         "zwp_primary_selection_device_manager_v1"};
const QStringList sway = common + QStringList{"zwlr_data_control_manager_v1", "zwp_virtual_keyboard_manager_v1",
                                              "zwlr_foreign_toplevel_manager_v1", "zwlr_layer_shell_v1"};
const QStringList hyprland = sway + QStringList{"ext_data_control_manager_v1", "hyprland_global_shortcuts_manager_v1"};
const QStringList kde5 = common + QStringList{"zwlr_data_control_manager_v1", "org_kde_kwin_fake_input",
                                              "org_kde_plasma_window_management"};
const QStringList kde6 = kde5 + QStringList{"ext_data_control_manager_v1"};
const QStringList gnome = common + QStringList{"gtk_shell1", "zwp_text_input_manager_v3"};

SessionDescription describe(const QString &qtPlatform, bool waylandSession, bool waylandConnected,
                            const QStringList &globals, bool x11Connected, const QString &desktop = {},
                            const QString &requested = {}, bool gnomeBridge = false, bool kdeGlobalAccel = false)
{
    return {qtPlatform, waylandSession, waylandConnected, globals, x11Connected, desktop, requested, gnomeBridge,
            kdeGlobalAccel};
}

BackendChoice backends(Choice::Clipboard clipboard, Choice::HotKeys hotKeys, Choice::Input input,
                       Choice::Windows windows)
{
    return {clipboard, hotKeys, input, windows, {}};
}

} // namespace

class TestBackendChoice : public QObject
{
    Q_OBJECT
private slots:
    void choice_data()
    {
        QTest::addColumn<Session>("session");
        QTest::addColumn<Choice>("expected");
        QTest::addColumn<int>("notes");

        using C = Choice::Clipboard;
        using H = Choice::HotKeys;
        using I = Choice::Input;
        using W = Choice::Windows;
        const Choice wlr =
            backends(C::WaylandWlrDataControl, H::Portal, I::WaylandVirtualKeyboard, W::WaylandForeignToplevel);
        const Choice x11 = backends(C::X11, H::X11, I::X11, W::X11);
        const Choice qt = backends(C::Qt, H::Absent, I::Absent, W::Qt);
        // Qt on xcb through XWayland, the usual start in a Wayland session.
        QTest::newRow("sway") << describe("xcb", true, true, sway, true) << wlr << 0;
        QTest::newRow("sway, Qt on wayland") << describe("wayland", true, true, sway, false) << wlr << 0;
        QTest::newRow("Hyprland") << describe("xcb", true, true, hyprland, true)
                                  << backends(C::WaylandExtDataControl, H::Portal, I::WaylandVirtualKeyboard,
                                              W::WaylandForeignToplevel) << 0;
        // KDE's own shortcut service where it runs; the portal elsewhere.
        QTest::newRow("KDE 5.27") << describe("xcb", true, true, kde5, true, "KDE", "", false, true)
                                  << backends(C::WaylandWlrDataControl, H::KdeGlobalAccel, I::KdeFakeInput,
                                              W::KdePlasmaWindows) << 0;
        QTest::newRow("KDE 6") << describe("wayland", true, true, kde6, true, "KDE", "", false, true)
                               << backends(C::WaylandExtDataControl, H::KdeGlobalAccel, I::KdeFakeInput,
                                           W::KdePlasmaWindows) << 0;
        QTest::newRow("KDE without its shortcut service") << describe("xcb", true, true, kde5, true, "KDE")
                                  << backends(C::WaylandWlrDataControl, H::Portal, I::KdeFakeInput,
                                              W::KdePlasmaWindows) << 0;
        // Before the program's desktop entry is known to KWin, it offers neither.
        QTest::newRow("KDE, no grant") << describe("xcb", true, true, common + QStringList{"zwlr_data_control_manager_v1"},
                                                   true, "KDE", "", false, true)
                                       << backends(C::WaylandWlrDataControl, H::KdeGlobalAccel, I::Absent, W::Qt) << 1;
        QTest::newRow("sway, KDE's shortcut service running") << describe("xcb", true, true, sway, true, "sway", "", false, true)
                                  << wlr << 0;
        // No clipboard-manager protocol: XWayland copies only, and no typing,
        // unless GNOME Shell's bridge is enabled; one line says how.
        QTest::newRow("GNOME") << describe("xcb", true, true, gnome, true, "ubuntu:GNOME")
                               << backends(C::X11, H::Portal, I::Absent, W::Qt) << 1;
        QTest::newRow("GNOME without XWayland") << describe("wayland", true, true, gnome, false, "GNOME")
                                                << backends(C::Qt, H::Portal, I::Absent, W::Qt) << 1;
        QTest::newRow("GNOME with the bridge") << describe("xcb", true, true, gnome, true, "GNOME", "", true)
                                               << backends(C::GnomeBridge, H::GnomeBridge, I::GnomeBridge, W::GnomeBridge)
                                               << 0;
        QTest::newRow("GNOME with the bridge, x11 asked")
            << describe("xcb", true, true, gnome, true, "GNOME", "x11", true) << x11 << 0;
        // A data-control global is no use without a seat to hold the selection.
        QTest::newRow("no seat") << describe("xcb", true, true,
                                             {"ext_data_control_manager_v1", "zwlr_data_control_manager_v1",
                                              "zwp_virtual_keyboard_manager_v1"}, true)
                                 << backends(C::X11, H::Portal, I::Absent, W::Qt) << 2;
        QTest::newRow("plain X11") << describe("xcb", false, false, {}, true) << x11 << 0;
        QTest::newRow("XWayland only") << describe("xcb", true, false, {}, true) << x11 << 1;
        QTest::newRow("nothing") << describe("xcb", false, false, {}, false) << qt << 1;
        QTest::newRow("offscreen, in a sway session") << describe("offscreen", true, true, sway, true) << qt << 0;

        // The override, where it can be honoured, and a note where it cannot.
        QTest::newRow("x11 asked in sway") << describe("xcb", true, true, sway, true, "", "x11") << x11 << 0;
        QTest::newRow("qt asked in sway") << describe("xcb", true, true, sway, true, "", "qt") << qt << 0;
        QTest::newRow("wayland asked, none there")
            << describe("xcb", false, false, {}, true, "", "wayland") << x11 << 1;
        QTest::newRow("x11 asked, none there") << describe("wayland", true, true, sway, false, "", "x11") << wlr << 1;
        QTest::newRow("unknown override") << describe("xcb", false, false, {}, true, "", "mir") << x11 << 1;
    }

    void choice()
    {
        QFETCH(Session, session);
        QFETCH(Choice, expected);
        const BackendChoice choice = chooseBackends(session);
        QCOMPARE(choice.clipboard, expected.clipboard);
        QCOMPARE(choice.hotKeys, expected.hotKeys);
        QCOMPARE(choice.input, expected.input);
        QCOMPARE(choice.windows, expected.windows);
        QTEST(int(choice.notes.size()), "notes");
    }
};

QTEST_GUILESS_MAIN(TestBackendChoice)
#include "tst_backend_choice.moc"
