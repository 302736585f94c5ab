#include "backend_choice.h"

namespace {

using Choice = BackendChoice;

Choice portable()
{
    return {};
}

Choice allX11()
{
    return {Choice::Clipboard::X11, Choice::HotKeys::X11, Choice::Input::X11, Choice::Windows::X11, {}};
}

bool isDesktop(const SessionDescription &session, const char *name)
{
    return session.desktop.split(u':').contains(QLatin1String(name), Qt::CaseInsensitive);
}

Choice native(const SessionDescription &session)
{
    const auto offers = [&](const char *name) { return session.waylandGlobals.contains(QLatin1String(name)); };
    const bool seat = offers(WaylandGlobal::seat);
    Choice choice;
    // KDE's portal binds no key (Plasma 5.27) and sends the user to System
    // Settings: KDE's own shortcut service does it as KDE programs do. The
    // portal's answer comes later; where it offers nothing the hot-key
    // manager tells the user how to bind the toggle command instead.
    if (isDesktop(session, "KDE") && session.kdeGlobalAccel)
        choice.hotKeys = Choice::HotKeys::KdeGlobalAccel;
    else
        choice.hotKeys = Choice::HotKeys::Portal;

    if (seat && offers(WaylandGlobal::extDataControl)) {
        choice.clipboard = Choice::Clipboard::WaylandExtDataControl;
    } else if (seat && offers(WaylandGlobal::wlrDataControl)) {
        choice.clipboard = Choice::Clipboard::WaylandWlrDataControl;
    } else if (session.x11Connected) {
        choice.clipboard = Choice::Clipboard::X11;
        choice.notes << QStringLiteral("the compositor offers no clipboard-manager protocol: only copies "
                                       "made in X programs (XWayland) are recorded");
    } else {
        choice.notes << QStringLiteral("the compositor offers no clipboard-manager protocol and there is "
                                       "no XWayland: copies made in other programs are not recorded");
    }

    if (seat && offers(WaylandGlobal::virtualKeyboard)) {
        choice.input = Choice::Input::WaylandVirtualKeyboard;
    } else if (seat && offers(WaylandGlobal::kdeFakeInput)) {
        choice.input = Choice::Input::KdeFakeInput;
    } else {
        choice.notes << QStringLiteral("the compositor lets no program type: a chosen item is put on the "
                                       "clipboard for you to paste");
    }

    if (offers(WaylandGlobal::foreignToplevel))
        choice.windows = Choice::Windows::WaylandForeignToplevel;
    else if (offers(WaylandGlobal::kdeWindowManagement))
        choice.windows = Choice::Windows::KdePlasmaWindows;
    return choice;
}

Choice gnomeBridge()
{
    return {Choice::Clipboard::GnomeBridge, Choice::HotKeys::GnomeBridge, Choice::Input::GnomeBridge,
            Choice::Windows::GnomeBridge, {}};
}

} // namespace

bool isHeadlessQtPlatform(const QString &qtPlatform)
{
    return qtPlatform == QLatin1String("offscreen") || qtPlatform == QLatin1String("minimal");
}

BackendChoice chooseBackends(const SessionDescription &session)
{
    if (isHeadlessQtPlatform(session.qtPlatform))
        return portable();

    QStringList notes;
    const QString &requested = session.requested;
    if (requested == QLatin1String("qt"))
        return portable();
    if (requested == QLatin1String("x11")) {
        if (session.x11Connected)
            return allX11();
        notes << QStringLiteral("TAVORINDLE_PLATFORM=x11, but no X display opened");
    } else if (requested == QLatin1String("wayland")) {
        if (session.waylandConnected)
            return native(session);
        notes << QStringLiteral("TAVORINDLE_PLATFORM=wayland, but no Wayland compositor answered");
    } else if (!requested.isEmpty()) {
        notes << QStringLiteral("TAVORINDLE_PLATFORM=%1 is none of x11, wayland, qt: ignored").arg(requested);
    }

    Choice choice;
    if (session.waylandSession && session.gnomeBridge && requested.isEmpty()) {
        return gnomeBridge();
    } else if (session.waylandConnected && isDesktop(session, "GNOME")) {
        // One line instead of what the compositor lacks: how to get it all.
        choice = native(session);
        choice.notes = {QStringLiteral("without its GNOME Shell bridge this program sees copies only as XWayland "
                                       "mirrors them, and gets no key and cannot paste; run `gnome-extensions "
                                       "enable tavorindle-bridge@tavorindle.app`, then log in again")};
    } else if (session.waylandConnected) {
        choice = native(session);
    } else if (session.x11Connected) {
        choice = allX11();
        if (session.waylandSession)
            notes << QStringLiteral("no connection to the Wayland compositor: only X programs (XWayland) "
                                    "are seen and pasted into");
    } else {
        choice = portable();
        notes << QStringLiteral("neither a Wayland compositor nor an X display answered: only this "
                                "program's own copies are recorded");
    }
    choice.notes = notes + choice.notes;
    return choice;
}
