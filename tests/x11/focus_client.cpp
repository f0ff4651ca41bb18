// SPDX-License-Identifier: MIT
// A small X client for the focus checks: one window at X,Y with the class INSTANCE/CLASS, its
// process id and host named as a desktop program names them; it runs until it is ended.
//   focus_client INSTANCE CLASS X Y
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: focus_client INSTANCE CLASS X Y\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const int x = std::atoi(argv[3]);
    const int y = std::atoi(argv[4]);
    const int screen = DefaultScreen(display);
    Window window = XCreateSimpleWindow(display, RootWindow(display, screen), x, y, 200, 150, 0,
                                        BlackPixel(display, screen), WhitePixel(display, screen));
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = x;
    size.y = y;
    size.width = 200;
    size.height = 150;
    XClassHint cls{argv[1], argv[2]};
    XWMHints hints{};
    hints.flags = InputHint;
    hints.input = True;
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    char* hostList[] = {host};
    XTextProperty machine{};
    XStringListToTextProperty(hostList, 1, &machine);
    XSetWMProperties(display, window, nullptr, nullptr, argv, argc, &size, &hints, &cls);
    XSetWMClientMachine(display, window, &machine);
    XFree(machine.value);
    const unsigned long pid = static_cast<unsigned long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XSelectInput(display, window, ExposureMask);
    XMapWindow(display, window);
    XFlush(display);
    std::printf("%lu\n", window);
    std::fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
}
