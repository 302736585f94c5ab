#include "x11/x11_window_system.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QSysInfo>
#include <QWindow>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

#include <unistd.h>

namespace {

std::optional<unsigned long> cardinalProperty(X11Connection &connection, Window window,
                                              Atom property, Atom type)
{
    X11ErrorTrap trap(connection);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(connection.display(), window, property, 0, 1, False, type,
                                          &actualType, &format, &count, &after, &data);
    std::optional<unsigned long> value;
    if (status == Success && data && actualType == type && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long *>(data);
    if (data)
        XFree(data);
    if (!trap.ok())
        return std::nullopt;
    return value;
}

} // namespace

X11WindowSystem::X11WindowSystem(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    using Member = X11Connection::XID Atoms::*;
    const std::pair<Member, QByteArray> names[] = {
        {&Atoms::activeWindow, "_NET_ACTIVE_WINDOW"},
        {&Atoms::pid, "_NET_WM_PID"},
        {&Atoms::desktop, "_NET_WM_DESKTOP"},
        {&Atoms::state, "_NET_WM_STATE"},
        {&Atoms::sticky, "_NET_WM_STATE_STICKY"},
        {&Atoms::blurRegion, "_KDE_NET_WM_BLUR_BEHIND_REGION"},
        {&Atoms::shadow, "_KDE_NET_WM_SHADOW"},
        // A compositing manager owns the _NET_WM_CM_S<screen> selection.
        {&Atoms::compositorSelection,
         "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(m_connection->display()))},
    };
    std::vector<QByteArray> list;
    for (const auto &[member, name] : names)
        list.push_back(name);
    const std::vector<X11Connection::XID> values = m_connection->atoms(list);
    for (size_t i = 0; i < values.size(); ++i)
        m_atoms.*names[i].first = values[i];
}

WindowSystem::WindowId X11WindowSystem::activeWindow()
{
    return cardinalProperty(*m_connection, m_connection->rootWindow(),
                            m_atoms.activeWindow, XA_WINDOW)
        .value_or(0);
}

bool X11WindowSystem::isOwnWindow(WindowId window)
{
    if (window == 0)
        return false;
    if (qGuiApp) {
        for (QWindow *own : QGuiApplication::topLevelWindows()) {
            if (own->handle() && own->winId() == window)
                return true;
        }
    }
    const auto pid = cardinalProperty(*m_connection, window, m_atoms.pid,
                                      XA_CARDINAL);
    if (!pid || *pid != static_cast<unsigned long>(getpid()))
        return false;
    // A pid means this process only on this machine.
    X11ErrorTrap trap(*m_connection);
    XTextProperty machine{};
    bool sameHost = true;
    if (XGetWMClientMachine(m_connection->display(), window, &machine) && machine.value) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        sameHost = QByteArray(reinterpret_cast<const char *>(machine.value), int(machine.nitems))
                   == QByteArray(host);
        XFree(machine.value);
    }
    return trap.ok() && sameHost;
}

void X11WindowSystem::activate(WindowId window)
{
    if (window == 0)
        return;
    Display *display = m_connection->display();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = m_atoms.activeWindow;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2; // source: a pager, which window managers obey
    event.xclient.data.l[1] = long(m_connection->serverTime());
    event.xclient.data.l[2] = long(activeWindow());
    X11ErrorTrap trap(*m_connection);
    XSendEvent(display, m_connection->rootWindow(), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

std::optional<WindowSystem::WindowClass> X11WindowSystem::windowClass(WindowId window)
{
    if (window == 0)
        return std::nullopt;
    X11ErrorTrap trap(*m_connection);
    XClassHint hint{};
    const Status status = XGetClassHint(m_connection->display(), window, &hint);
    std::optional<WindowClass> result;
    if (status) {
        result = WindowClass{QString::fromLocal8Bit(hint.res_name ? hint.res_name : ""),
                             QString::fromLocal8Bit(hint.res_class ? hint.res_class : "")};
    }
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    if (!trap.ok())
        return std::nullopt;
    return result;
}

void X11WindowSystem::hideOwnWindows()
{
    if (!qGuiApp)
        return;
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->isVisible())
            window->hide();
    }
}

void X11WindowSystem::requestBlurBehind(WindowId window)
{
    if (window == 0)
        return;
    // An empty region means the whole window; compositors that know the
    // property blur behind it, the others ignore it.
    X11ErrorTrap trap(*m_connection);
    XChangeProperty(m_connection->display(), window, m_atoms.blurRegion,
                    XA_CARDINAL, 32, PropModeReplace, nullptr, 0);
    XFlush(m_connection->display());
}

bool X11WindowSystem::compositorActive()
{
    return XGetSelectionOwner(m_connection->display(), m_atoms.compositorSelection) != None;
}

bool X11WindowSystem::blursBehind()
{
    if (!compositorActive())
        return false;
    X11ErrorTrap trap(*m_connection);
    int count = 0;
    Atom *properties = XListProperties(m_connection->display(), m_connection->rootWindow(), &count);
    const Atom blur = m_atoms.blurRegion;
    const bool announced = properties && std::find(properties, properties + count, blur) != properties + count;
    if (properties)
        XFree(properties);
    return trap.ok() && announced;
}

// Pixmaps of our own on the server, freed with this object.
class X11WindowSystem::Pixmaps
{
public:
    explicit Pixmaps(std::shared_ptr<X11Connection> connection) : m_connection(std::move(connection)) {}
    ~Pixmaps()
    {
        for (Pixmap pixmap : m_pixmaps)
            XFreePixmap(m_connection->display(), pixmap);
        XFlush(m_connection->display());
    }
    Pixmaps(const Pixmaps &) = delete;
    Pixmaps &operator=(const Pixmaps &) = delete;

    // A 32-bit pixmap holding the image (premultiplied ARGB); None on failure.
    Pixmap add(const QImage &source)
    {
        Display *display = m_connection->display();
        const QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return None;
        X11ErrorTrap trap(*m_connection);
        const Pixmap pixmap = XCreatePixmap(display, m_connection->rootWindow(), uint(image.width()),
                                            uint(image.height()), 32);
        XImage ximage{};
        ximage.width = image.width();
        ximage.height = image.height();
        ximage.format = ZPixmap;
        ximage.data = const_cast<char *>(reinterpret_cast<const char *>(image.constBits()));
        ximage.byte_order = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? LSBFirst : MSBFirst;
        ximage.bitmap_unit = 32;
        ximage.bitmap_bit_order = ximage.byte_order;
        ximage.bitmap_pad = 32;
        ximage.depth = 32;
        ximage.bytes_per_line = int(image.bytesPerLine());
        ximage.bits_per_pixel = 32;
        ximage.red_mask = 0xff0000;
        ximage.green_mask = 0xff00;
        ximage.blue_mask = 0xff;
        if (XInitImage(&ximage)) {
            GC gc = XCreateGC(display, pixmap, 0, nullptr);
            XPutImage(display, pixmap, gc, &ximage, 0, 0, 0, 0, uint(image.width()), uint(image.height()));
            XFreeGC(display, gc);
        }
        XSync(display, False);
        if (!trap.ok()) {
            XFreePixmap(display, pixmap);
            return None;
        }
        m_pixmaps.push_back(pixmap);
        return pixmap;
    }

private:
    std::shared_ptr<X11Connection> m_connection;
    std::vector<Pixmap> m_pixmaps;
};

X11WindowSystem::~X11WindowSystem() = default;

void X11WindowSystem::requestShadow(WindowId window, const Shadow &shadow)
{
    Display *display = m_connection->display();
    XVisualInfo visual{};
    if (window == 0 || !XMatchVisualInfo(display, DefaultScreen(display), 32, TrueColor, &visual))
        return;
    auto pixmaps = std::make_unique<Pixmaps>(m_connection);
    unsigned long data[12] = {};
    for (size_t i = 0; i < shadow.tiles.size(); ++i) {
        data[i] = pixmaps->add(shadow.tiles[i]);
        if (data[i] == None)
            return;
    }
    data[8] = ulong(shadow.reach.top());
    data[9] = ulong(shadow.reach.right());
    data[10] = ulong(shadow.reach.bottom());
    data[11] = ulong(shadow.reach.left());
    X11ErrorTrap trap(*m_connection);
    XChangeProperty(display, window, m_atoms.shadow, XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char *>(data), 12);
    XSync(display, False);
    if (!trap.ok())
        return;
    m_shadows[window] = std::move(pixmaps);
    // A window made anew (the panel is, when a compositor starts or quits)
    // leaves the tiles of the old one behind: free those of windows gone.
    // Rare enough for a round trip each.
    std::erase_if(m_shadows, [&](const auto &entry) {
        if (entry.first == window)
            return false;
        X11ErrorTrap gone(*m_connection);
        XWindowAttributes attributes{};
        return !XGetWindowAttributes(display, entry.first, &attributes) || !gone.ok();
    });
}

void X11WindowSystem::showOnAllDesktops(WindowId window)
{
    if (window == 0)
        return;
    Display *display = m_connection->display();
    constexpr unsigned long allDesktops = 0xFFFFFFFF;
    const Atom desktop = m_atoms.desktop;
    const Atom state = m_atoms.state;
    const Atom sticky = m_atoms.sticky;
    X11ErrorTrap trap(*m_connection);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes))
        return;
    if (attributes.map_state == IsUnmapped) {
        // Read when the window manager maps the window; Qt keeps state atoms
        // it does not manage when it writes its own.
        unsigned long value = allDesktops;
        XChangeProperty(display, window, desktop, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(&value), 1);
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char *data = nullptr;
        bool present = false;
        if (XGetWindowProperty(display, window, state, 0, 64, False, XA_ATOM, &type, &format, &count,
                               &after, &data) == Success && data && format == 32) {
            const auto *atoms = reinterpret_cast<const unsigned long *>(data);
            present = std::find(atoms, atoms + count, sticky) != atoms + count;
        }
        if (data)
            XFree(data);
        if (!present) {
            unsigned long value = sticky;
            XChangeProperty(display, window, state, XA_ATOM, 32, PropModeAppend,
                            reinterpret_cast<unsigned char *>(&value), 1);
        }
    } else {
        const auto send = [&](Atom type, long a, long b) {
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = window;
            event.xclient.message_type = type;
            event.xclient.format = 32;
            event.xclient.data.l[0] = a;
            event.xclient.data.l[1] = b;
            event.xclient.data.l[2] = 0;
            event.xclient.data.l[3] = 2; // source: a pager
            XSendEvent(display, m_connection->rootWindow(), False,
                       SubstructureRedirectMask | SubstructureNotifyMask, &event);
        };
        send(desktop, long(allDesktops), 2);
        send(state, 1 /* add */, long(sticky));
    }
    // Before Qt maps the window on its own connection.
    XSync(display, False);
}

void X11WindowSystem::prepareBuffer(QBackingStore &store, const QSize &size)
{
    // Only where Qt itself draws through X, and without a compositor: a
    // compositor has the server copy the window at each show, and with the
    // buffer made early those copies land where the server's memory is
    // given back at each hide and made anew at the next show (later shows
    // measured 19 -> 28 ms under picom).
    if (QGuiApplication::platformName() != QLatin1String("xcb") || compositorActive())
        return;
    store.resize(size);
    writeBuffer(store);
}
