// Times a key press to the panel's first painted frame from outside the
// program, as a user sees it: it presses the key through XTest (as xdotool
// does), waits for a window of the given class to be mapped and then for
// damage (XDamage) covering most of it, and closes it with Escape. A plain
// window of its own is mapped and focused first, as the one the user works in.
//
//   x11_paint_probe [--shows N] [--key super+shift+v] [--class Tavorindle]
//                   [--min-size 700x400] [--cover 0.9]
//
// Prints one line per show: "show <n> map_ms <key to MapNotify> paint_ms
// <key to damage over --cover of the window>".
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The pause before each show.
constexpr std::chrono::milliseconds settle{300};

double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

struct Options
{
    int shows = 10;
    std::string key = "super+shift+v";
    std::string windowClass = "Tavorindle"; // WM_CLASS's class part
    int minWidth = 700, minHeight = 400;
    double cover = 0.9;
};

struct Watched
{
    Damage damage = 0;
};

class Probe
{
public:
    Probe(Display *display, Options options) : m_dpy(display), m_options(std::move(options))
    {
        int error = 0;
        if (!XDamageQueryExtension(m_dpy, &m_damageEvent, &error))
            fail("no DAMAGE extension");
        int major = 0, minor = 0, opcode = 0;
        if (!XTestQueryExtension(m_dpy, &opcode, &error, &major, &minor))
            fail("no XTEST extension");
        m_root = DefaultRootWindow(m_dpy);
        XSelectInput(m_dpy, m_root, SubstructureNotifyMask);
        watchTree(m_root);
        XSync(m_dpy, False);
        mapWorkWindow();
    }

    // Returns false when the panel did not show within the bound.
    bool show(int n)
    {
        drain();
        const Clock::time_point t0 = Clock::now();
        press(m_options.key);
        Window panel = 0;
        double mapMs = -1, paintMs = -1;
        std::vector<bool> covered;
        long coveredCount = 0;
        int width = 0, height = 0;
        while (paintMs < 0) {
            XEvent event;
            if (!nextEvent(event, 5000 - int(msSince(t0))))
                return false;
            if (event.type == MapNotify && !panel) {
                const Window w = event.xmap.window;
                if (isPanel(w, width, height)) {
                    panel = w;
                    mapMs = msSince(t0);
                    covered.assign(size_t(width) * height, false);
                }
            } else if (event.type == m_damageEvent + XDamageNotify) {
                auto *damage = reinterpret_cast<XDamageNotifyEvent *>(&event);
                if (damage->drawable != panel || !panel)
                    continue;
                const XRectangle &r = damage->area;
                for (int y = std::max(0, int(r.y)); y < std::min(height, r.y + int(r.height)); ++y)
                    for (int x = std::max(0, int(r.x)); x < std::min(width, r.x + int(r.width)); ++x)
                        if (!covered[size_t(y) * width + x]) {
                            covered[size_t(y) * width + x] = true;
                            ++coveredCount;
                        }
                if (coveredCount >= m_options.cover * width * height)
                    paintMs = msSince(t0);
            }
        }
        std::printf("show %d map_ms %.2f paint_ms %.2f\n", n, mapMs, paintMs);
        std::fflush(stdout);
        // Closed again before the next show; its unmap ends the show.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        press("Escape");
        const Clock::time_point closing = Clock::now();
        for (;;) {
            XEvent event;
            if (!nextEvent(event, 5000 - int(msSince(closing))))
                return false;
            if (event.type == UnmapNotify && event.xunmap.window == panel)
                break;
        }
        return true;
    }

private:
    [[noreturn]] static void fail(const char *what)
    {
        std::fprintf(stderr, "x11_paint_probe: %s\n", what);
        std::exit(2);
    }

    // The window the user works in when reaching for the key: the window
    // manager has managed a window before the panel, and the panel has a
    // window to go back to, as on a desktop in use.
    void mapWorkWindow()
    {
        const Window work = XCreateSimpleWindow(m_dpy, m_root, 40, 40, 480, 320, 0, 0, 0xffffff);
        XStoreName(m_dpy, work, "x11_paint_probe");
        XSelectInput(m_dpy, work, StructureNotifyMask);
        XMapWindow(m_dpy, work);
        const Clock::time_point t0 = Clock::now();
        for (;;) {
            XEvent event;
            if (!nextEvent(event, 5000 - int(msSince(t0))))
                fail("the work window was not mapped within 5 s");
            if (event.type == MapNotify && event.xmap.window == work)
                break;
        }
        XSetInputFocus(m_dpy, work, RevertToParent, CurrentTime);
        XSync(m_dpy, False);
        // A new window keeps the window manager and a compositor busy for a
        // while (frame, title, focus, first composite): the user's window
        // was there long before the key, so the first show waits as long as
        // every later one does.
        std::this_thread::sleep_for(settle);
    }

    void watch(Window w)
    {
        if (m_watched.count(w))
            return;
        XSelectInput(m_dpy, w, StructureNotifyMask);
        m_watched[w].damage = XDamageCreate(m_dpy, w, XDamageReportRawRectangles);
    }

    // Every top-level window (and, under a reparenting window manager, its
    // frame's children): the panel may already exist or come later.
    void watchTree(Window w)
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_dpy, w, &root, &parent, &children, &count))
            return;
        for (unsigned i = 0; i < count; ++i) {
            watch(children[i]);
            if (w == m_root)
                watchTree(children[i]);
        }
        if (children)
            XFree(children);
    }

    bool isPanel(Window w, int &width, int &height)
    {
        XClassHint hint{};
        if (!XGetClassHint(m_dpy, w, &hint))
            return false;
        const bool match = hint.res_class && m_options.windowClass == hint.res_class;
        XFree(hint.res_name);
        XFree(hint.res_class);
        XWindowAttributes attributes{};
        if (!match || !XGetWindowAttributes(m_dpy, w, &attributes))
            return false;
        width = attributes.width;
        height = attributes.height;
        return width >= m_options.minWidth && height >= m_options.minHeight;
    }

    bool nextEvent(XEvent &event, int timeoutMs)
    {
        const Clock::time_point start = Clock::now();
        while (!XPending(m_dpy)) {
            const int left = timeoutMs - int(msSince(start));
            if (left <= 0)
                return false;
            pollfd fd{ConnectionNumber(m_dpy), POLLIN, 0};
            poll(&fd, 1, left);
        }
        XNextEvent(m_dpy, &event);
        // New windows are watched at once, so that their map is seen.
        if (event.type == CreateNotify && event.xcreatewindow.parent == m_root)
            watch(event.xcreatewindow.window);
        else if (event.type == ReparentNotify)
            watch(event.xreparent.window);
        else if (event.type == DestroyNotify)
            m_watched.erase(event.xdestroywindow.window);
        return true;
    }

    void drain()
    {
        XSync(m_dpy, False);
        XEvent event;
        while (nextEvent(event, 0)) {
        }
    }

    // "super+shift+v": modifiers pressed in order, released in reverse.
    void press(const std::string &combo)
    {
        std::vector<KeyCode> codes;
        size_t start = 0;
        while (start <= combo.size()) {
            size_t end = combo.find('+', start);
            if (end == std::string::npos)
                end = combo.size();
            std::string name = combo.substr(start, end - start);
            if (name == "super")
                name = "Super_L";
            else if (name == "shift")
                name = "Shift_L";
            else if (name == "ctrl")
                name = "Control_L";
            else if (name == "alt")
                name = "Alt_L";
            const KeySym sym = XStringToKeysym(name.c_str());
            const KeyCode code = sym ? XKeysymToKeycode(m_dpy, sym) : 0;
            if (!code)
                fail("unknown key name");
            codes.push_back(code);
            start = end + 1;
        }
        for (KeyCode code : codes)
            XTestFakeKeyEvent(m_dpy, code, True, CurrentTime);
        for (auto it = codes.rbegin(); it != codes.rend(); ++it)
            XTestFakeKeyEvent(m_dpy, *it, False, CurrentTime);
        XFlush(m_dpy);
    }

    Display *m_dpy;
    Options m_options;
    Window m_root = 0;
    int m_damageEvent = 0;
    std::map<Window, Watched> m_watched;
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--shows")
            options.shows = std::atoi(value.c_str());
        else if (name == "--key")
            options.key = value;
        else if (name == "--class")
            options.windowClass = value;
        else if (name == "--min-size")
            std::sscanf(value.c_str(), "%dx%d", &options.minWidth, &options.minHeight);
        else if (name == "--cover")
            options.cover = std::atof(value.c_str());
        else {
            std::fprintf(stderr, "x11_paint_probe: unknown option %s\n", name.c_str());
            return 2;
        }
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "x11_paint_probe: cannot open the display\n");
        return 2;
    }
    // Windows come and go, and input-only ones take no damage: such
    // refusals are expected.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    Probe probe(display, options);
    for (int n = 1; n <= options.shows; ++n) {
        if (!probe.show(n)) {
            std::fprintf(stderr, "x11_paint_probe: show %d: no panel within 5 s\n", n);
            return 1;
        }
        std::this_thread::sleep_for(settle);
    }
    XCloseDisplay(display);
    return 0;
}
