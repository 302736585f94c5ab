// A window that logs the key events it gets, for tests of synthesized keys.
//   x11_key_logger INSTANCE CLASS
// Prints "window <id>" once mapped, then one line per key event:
//   "press <keysym> <modifier state>" or "release <keysym> <modifier state>".
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 3;
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 100, 200, 100,
                                              0, 0, 0xffffff);
    XClassHint hint{argv[1], argv[2]};
    XSetClassHint(display, window, &hint);
    XStoreName(display, window, "key logger");
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            std::printf("window %lu\n", window);
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            const KeySym keysym = XLookupKeysym(&event.xkey, 0);
            const char *name = XKeysymToString(keysym);
            std::printf("%s %s %u\n", event.type == KeyPress ? "press" : "release", name ? name : "?",
                        event.xkey.state & 0xff);
        }
        std::fflush(stdout);
    }
}
