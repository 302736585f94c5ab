// Which backends run on which desktop, from a description of the session.
#include "backend_choice.h"

#include <QTest>

using Choice = BackendChoice;

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

} // namespace

class TestBackendChoice : public QObject
{
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
};

void TestBackendChoice::choice_data()
{
    QTest::addColumn<QString>("qtPlatform");
    QTest::addColumn<bool>("waylandSession");
    QTest::addColumn<bool>("waylandConnected");
    QTest::addColumn<QStringList>("globals");
    QTest::addColumn<bool>("x11Connected");
    QTest::addColumn<QString>("requested");
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<bool>("gnomeBridge");
    QTest::addColumn<Choice::Clipboard>("clipboard");
    QTest::addColumn<Choice::HotKeys>("hotKeys");
    QTest::addColumn<Choice::Input>("input");
    QTest::addColumn<Choice::Windows>("windows");
    QTest::addColumn<int>("notes");

    using C = Choice::Clipboard;
    using H = Choice::HotKeys;
    using I = Choice::Input;
    using W = Choice::Windows;
    // Qt on xcb through XWayland, the usual start in a Wayland session.
    QTest::newRow("sway") << "xcb" << true << true << sway << true << "" << "" << false
                          << C::WaylandWlrDataControl << H::Portal << I::WaylandVirtualKeyboard
                          << W::WaylandForeignToplevel << 0;
    QTest::newRow("sway, Qt on wayland") << "wayland" << true << true << sway << false << "" << "" << false
                                         << C::WaylandWlrDataControl << H::Portal << I::WaylandVirtualKeyboard
                                         << W::WaylandForeignToplevel << 0;
    QTest::newRow("Hyprland") << "xcb" << true << true << hyprland << true << "" << "" << false
                              << C::WaylandExtDataControl << H::Portal << I::WaylandVirtualKeyboard
                              << W::WaylandForeignToplevel << 0;
    QTest::newRow("KDE 5.27") << "xcb" << true << true << kde5 << true << "" << "" << false
                              << C::WaylandWlrDataControl << H::Portal << I::KdeFakeInput << W::Qt << 0;
    QTest::newRow("KDE 6") << "wayland" << true << true << kde6 << true << "" << "" << false
                           << C::WaylandExtDataControl << H::Portal << I::KdeFakeInput << W::Qt << 0;
    // No clipboard-manager protocol: XWayland copies only, and no typing,
    // unless GNOME Shell's bridge is enabled; one line says how.
    QTest::newRow("GNOME") << "xcb" << true << true << gnome << true << "" << "ubuntu:GNOME" << false
                           << C::X11 << H::Portal << I::Absent << W::Qt << 1;
    QTest::newRow("GNOME without XWayland") << "wayland" << true << true << gnome << false << "" << "GNOME"
                                            << false << C::Qt << H::Portal << I::Absent << W::Qt << 1;
    QTest::newRow("GNOME with the bridge") << "xcb" << true << true << gnome << true << "" << "GNOME" << true
                                           << C::GnomeBridge << H::GnomeBridge << I::GnomeBridge
                                           << W::GnomeBridge << 0;
    QTest::newRow("GNOME with the bridge, x11 asked") << "xcb" << true << true << gnome << true << "x11"
                                                      << "GNOME" << true << C::X11 << H::X11 << I::X11
                                                      << W::X11 << 0;
    // A data-control global is no use without a seat to hold the selection.
    QTest::newRow("no seat") << "xcb" << true << true
                             << QStringList{"zwlr_data_control_manager_v1", "zwp_virtual_keyboard_manager_v1"}
                             << true << "" << "" << false << C::X11 << H::Portal << I::Absent << W::Qt << 2;
    QTest::newRow("plain X11") << "xcb" << false << false << QStringList{} << true << "" << "" << false
                               << C::X11 << H::X11 << I::X11 << W::X11 << 0;
    QTest::newRow("XWayland only") << "xcb" << true << false << QStringList{} << true << "" << "" << false
                                   << C::X11 << H::X11 << I::X11 << W::X11 << 1;
    QTest::newRow("nothing") << "xcb" << false << false << QStringList{} << false << "" << "" << false
                             << C::Qt << H::Absent << I::Absent << W::Qt << 1;
    QTest::newRow("offscreen, in a sway session") << "offscreen" << true << true << sway << true << "" << "" << false
                                                  << C::Qt << H::Absent << I::Absent << W::Qt << 0;

    // The override, where it can be honoured, and a note where it cannot.
    QTest::newRow("x11 asked in sway") << "xcb" << true << true << sway << true << "x11" << "" << false
                                       << C::X11 << H::X11 << I::X11 << W::X11 << 0;
    QTest::newRow("qt asked in sway") << "xcb" << true << true << sway << true << "qt" << "" << false
                                      << C::Qt << H::Absent << I::Absent << W::Qt << 0;
    QTest::newRow("wayland asked, none there") << "xcb" << false << false << QStringList{} << true
                                               << "wayland" << "" << false << C::X11 << H::X11 << I::X11 << W::X11 << 1;
    QTest::newRow("x11 asked, none there") << "wayland" << true << true << sway << false << "x11" << "" << false
                                           << C::WaylandWlrDataControl << H::Portal << I::WaylandVirtualKeyboard
                                           << W::WaylandForeignToplevel << 1;
    QTest::newRow("unknown override") << "xcb" << false << false << QStringList{} << true << "mir" << "" << false
                                      << C::X11 << H::X11 << I::X11 << W::X11 << 1;
}

void TestBackendChoice::choice()
{
    QFETCH(QString, qtPlatform);
    QFETCH(bool, waylandSession);
    QFETCH(bool, waylandConnected);
    QFETCH(QStringList, globals);
    QFETCH(bool, x11Connected);
    QFETCH(QString, requested);
    QFETCH(QString, desktop);
    QFETCH(bool, gnomeBridge);
    const SessionDescription session{qtPlatform, waylandSession, waylandConnected, globals,
                                     x11Connected, desktop, requested, gnomeBridge};
    const BackendChoice choice = chooseBackends(session);
    QTEST(choice.clipboard, "clipboard");
    QTEST(choice.hotKeys, "hotKeys");
    QTEST(choice.input, "input");
    QTEST(choice.windows, "windows");
    QTEST(int(choice.notes.size()), "notes");
}

QTEST_GUILESS_MAIN(TestBackendChoice)
#include "tst_backend_choice.moc"
