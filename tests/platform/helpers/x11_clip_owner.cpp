// A CLIPBOARD owner for tests, in plain Xlib.
//   x11_clip_owner [--claim-later] [--reply-as=TYPE/FORMAT] hang|serve ...
//       --claim-later: takes its acquisition time at once, prints "stamped",
//       and claims the clipboard with that time only when a line "claim"
//       arrives on standard input (a program copying on an older key press).
//       --reply-as: answers UTF8_STRING with the text's bytes as a property
//       of that type and format (8, 16 or 32) instead.
//   x11_clip_owner hang
//       takes the clipboard and never answers a request.
//   x11_clip_owner serve TEXT LOGFILE [TARGET...]
//       offers TARGETS, UTF8_STRING and the extra targets; answers
//       UTF8_STRING with TEXT (or the content of the file @PATH), in one
//       property however long, and writes the name of every requested target
//       to LOGFILE, one per line ("NAME stale" for requests that predate its
//       ownership, which it refuses). Prints "ready" once it owns the clipboard.
//       A line "clear" on standard input gives the clipboard up on purpose
//       while the program keeps running; it then prints "cleared".
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv)
{
    bool claimLater = false;
    std::string replyType = "UTF8_STRING";
    int replyFormat = 8;
    for (; argc > 1 && std::strncmp(argv[1], "--", 2) == 0; --argc, ++argv) {
        const std::string option = argv[1];
        if (option == "--claim-later") {
            claimLater = true;
        } else if (option.rfind("--reply-as=", 0) == 0 && option.find('/') != std::string::npos) {
            replyType = option.substr(11, option.find('/') - 11);
            replyFormat = std::atoi(option.c_str() + option.find('/') + 1);
        } else {
            return 2;
        }
    }
    if (argc < 2)
        return 2;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return 3;
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    // A real acquisition time, as well-behaved owners use, from a property change.
    XSelectInput(display, window, PropertyChangeMask);
    XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent stamp;
    XWindowEvent(display, window, PropertyChangeMask, &stamp);
    const Time acquired = stamp.xproperty.time;
    if (claimLater) {
        std::printf("stamped\n");
        std::fflush(stdout);
        char line[64] = {};
        while (std::fgets(line, sizeof line, stdin) && std::strncmp(line, "claim", 5) != 0) {
        }
    }
    XSetSelectionOwner(display, clipboard, window, acquired);
    XSync(display, False);
    if (XGetSelectionOwner(display, clipboard) != window)
        return 4;
    std::printf("ready\n");
    std::fflush(stdout);

    if (std::strcmp(argv[1], "hang") == 0) {
        for (;;)
            pause();
    }
    if (std::strcmp(argv[1], "serve") != 0 || argc < 4)
        return 2;
    std::string text = argv[2];
    if (text.size() > 1 && text[0] == '@') {
        // Texts too long for a command line come from a file.
        std::ifstream file(text.substr(1), std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(file), {});
    }
    FILE *log = std::fopen(argv[3], "w");
    if (!log)
        return 5;
    const Atom targetsAtom = XInternAtom(display, "TARGETS", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    std::vector<Atom> targets{targetsAtom, utf8};
    for (int i = 4; i < argc; ++i)
        targets.push_back(XInternAtom(display, argv[i], False));

    bool stdinOpen = true;
    for (;;) {
        if (XPending(display) == 0) {
            pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {stdinOpen ? STDIN_FILENO : -1, POLLIN, 0}};
            poll(fds, 2, -1);
            if (fds[1].revents & (POLLIN | POLLHUP)) {
                char line[64] = {};
                if (!std::fgets(line, sizeof line, stdin)) {
                    stdinOpen = false;
                } else if (std::strncmp(line, "clear", 5) == 0) {
                    XSetSelectionOwner(display, clipboard, None, CurrentTime);
                    XSync(display, False);
                    std::printf("cleared\n");
                    std::fflush(stdout);
                }
            }
            if (XPending(display) == 0)
                continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == SelectionClear)
            return 0;
        if (event.type != SelectionRequest)
            continue;
        const XSelectionRequestEvent &request = event.xselectionrequest;
        // Requests older than our ownership were meant for an earlier
        // owner: refused, and logged as such.
        const bool stale = request.time != CurrentTime && request.time < acquired;
        char *name = XGetAtomName(display, request.target);
        std::fprintf(log, "%s%s\n", name ? name : "?", stale ? " stale" : "");
        std::fflush(log);
        if (name)
            XFree(name);
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = None;
        if (stale) {
        } else if (request.target == targetsAtom) {
            XChangeProperty(display, request.requestor, request.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(targets.data()), int(targets.size()));
            reply.xselection.property = request.property;
        } else if (request.target == utf8 && replyFormat == 32) {
            // Xlib takes format 32 data as longs, one element each.
            std::vector<long> items(text.begin(), text.end());
            XChangeProperty(display, request.requestor, request.property,
                            XInternAtom(display, replyType.c_str(), False), 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(items.data()), int(items.size()));
            reply.xselection.property = request.property;
        } else if (request.target == utf8) {
            XChangeProperty(display, request.requestor, request.property,
                            XInternAtom(display, replyType.c_str(), False), replyFormat, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(text.data()),
                            int(text.size()) / (replyFormat / 8));
            reply.xselection.property = request.property;
        }
        XSendEvent(display, request.requestor, False, NoEventMask, &reply);
        XFlush(display);
    }
}
