// SPDX-License-Identifier: MIT
#include "platform/linux/X11ForegroundWatch.h"

#include "platform/linux/ProcessProgram.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

namespace krv {

namespace {

// Xlib has one error handler per process. Ours swallows the errors of the watches' own connections
// (a window gone before its properties were read) and hands every other one to the handler before it.
std::mutex g_handlerMutex;
std::set<Display*> g_watchedDisplays;
XErrorHandler g_previousHandler = nullptr;
bool g_handlerInstalled = false;

int onXError(Display* display, XErrorEvent* event) {
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(g_handlerMutex);
        if (g_watchedDisplays.count(display) != 0)
            return 0;
        previous = g_previousHandler;
    }
    return previous ? previous(display, event) : 0;
}

// A window's property of one 32-bit item (a window, a process id); none when it is not set so.
std::optional<unsigned long> oneItem(Display* display, Window window, Atom property, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<unsigned long> item;
    if (XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && format == 32 && count == 1)
        item = *reinterpret_cast<unsigned long*>(data); // Xlib hands 32-bit items out as longs
    if (data)
        XFree(data);
    return item;
}

void watchErrorsOf(Display* display) {
    std::lock_guard lock(g_handlerMutex);
    g_watchedDisplays.insert(display);
    if (!g_handlerInstalled) {
        g_previousHandler = XSetErrorHandler(onXError);
        g_handlerInstalled = true;
    }
}

void forgetErrorsOf(Display* display) {
    std::lock_guard lock(g_handlerMutex);
    g_watchedDisplays.erase(display);
}

} // namespace

std::unique_ptr<X11ForegroundWatch> X11ForegroundWatch::open(const char* displayName, std::string* error) {
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        if (error != nullptr)
            *error = "cannot open the X display";
        return nullptr;
    }
    return std::unique_ptr<X11ForegroundWatch>(new X11ForegroundWatch(display));
}

X11ForegroundWatch::X11ForegroundWatch(Display* display) : m_display(display) {
    watchErrorsOf(m_display);
    m_root = DefaultRootWindow(m_display);
    m_activeAtom = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    XSelectInput(m_display, m_root, PropertyChangeMask);
    XFlush(m_display);
}

X11ForegroundWatch::~X11ForegroundWatch() {
    XCloseDisplay(m_display);
    forgetErrorsOf(m_display);
}

int X11ForegroundWatch::fd() const { return ConnectionNumber(m_display); }

std::optional<ForegroundProgram> X11ForegroundWatch::readChange() {
    const unsigned long before = m_lastWindow;
    const bool knewBefore = m_knowsLast;
    std::optional<ForegroundProgram> program;
    // Only the events already read or waiting on the socket: XPending never blocks. The looks at the
    // windows read further events into Xlib's queue, where the socket notifier would not see them: the
    // queue is emptied again until nothing is left.
    while (XPending(m_display) > 0) {
        bool activeChanged = false;
        while (XPending(m_display) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == PropertyNotify && event.xproperty.window == m_root &&
                event.xproperty.atom == m_activeAtom)
                activeChanged = true;
        }
        if (activeChanged)
            program = current();
    }
    if (!program || (knewBefore && program->window == before))
        return std::nullopt;
    return program;
}

ForegroundProgram X11ForegroundWatch::current() {
    const unsigned long active = oneItem(m_display, m_root, m_activeAtom, XA_WINDOW).value_or(0);
    m_lastWindow = active;
    m_knowsLast = true;
    return programOf(active);
}

ForegroundProgram X11ForegroundWatch::programOf(unsigned long window) {
    ForegroundProgram program;
    program.window = window;
    if (window == 0)
        return program;
    if (const std::optional<unsigned long> pid = oneItem(m_display, window, m_pidAtom, XA_CARDINAL))
        program.pid = static_cast<std::int64_t>(*pid);
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(m_display, window, &hint) != 0) {
        if (hint.res_name)
            program.windowInstance = hint.res_name;
        if (hint.res_class)
            program.windowClass = hint.res_class;
    }
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    // A pid on another machine (a remote client) names no process here: only a local one counts.
    XTextProperty machine{};
    if (program.pid > 0 && XGetWMClientMachine(m_display, window, &machine) != 0 && machine.value) {
        char ours[256] = {};
        gethostname(ours, sizeof ours - 1);
        const std::string_view theirs(reinterpret_cast<const char*>(machine.value), machine.nitems);
        const auto shortName = [](std::string_view name) { return name.substr(0, name.find('.')); };
        if (shortName(theirs) != shortName(ours))
            program.pid = 0;
    }
    if (machine.value)
        XFree(machine.value);
    program.executable = ProgramOfProcess(program.pid);
    return program;
}

} // namespace krv
