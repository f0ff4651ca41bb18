// SPDX-License-Identifier: MIT
#include "platform/linux/X11KeyboardCapture.h"

#include "mouse/VirtualKeys.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>

namespace krv {

namespace {

constexpr int GrabRetryMs = 50;
constexpr int GrabAttempts = 20;
// How long a release with nothing behind it waits for the press of a repeat pair (the server sends
// the two together, but a busy machine can hand them over in two reads).
constexpr int RepeatPairWaitMs = 20;
// X keycodes are the kernel's evdev codes plus 8 on every X server that reads evdev devices.
constexpr unsigned EvdevOffset = 8;

} // namespace

std::unique_ptr<X11KeyboardCapture> X11KeyboardCapture::open(KeyHandler handler, const char* displayName,
                                                             std::string* error) {
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        if (error)
            *error = "cannot open the X display";
        return nullptr;
    }
    std::unique_ptr<X11KeyboardCapture> capture(new X11KeyboardCapture(display, std::move(handler)));
    // A held key then repeats as presses alone, without the release before each one.
    capture->setDetectableAutoRepeat(true);
    return capture;
}

X11KeyboardCapture::X11KeyboardCapture(Display* display, KeyHandler handler)
    : m_display(display), m_handler(std::move(handler)) {
    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11KeyboardCapture::processEvents);
    m_retry = new QTimer(this);
    m_retry->setInterval(GrabRetryMs);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (tryGrab() || !m_wanted) {
            m_retry->stop();
        } else if (++m_attempts >= GrabAttempts) {
            m_retry->stop();
            m_wanted = false;
            emit grabFailed();
        }
    });
    // Leaving the program never leaves the keyboard grabbed.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &X11KeyboardCapture::stop);
}

X11KeyboardCapture::~X11KeyboardCapture() {
    release();
    delete m_notifier;
    m_notifier = nullptr;
    XCloseDisplay(m_display);
}

void X11KeyboardCapture::setDetectableAutoRepeat(bool on) {
    Bool supported = False;
    const Bool result = XkbSetDetectableAutoRepeat(m_display, on ? True : False, &supported);
    m_detectableRepeat = on && result && supported;
    XFlush(m_display);
}

void X11KeyboardCapture::start() {
    m_wanted = true;
    m_attempts = 0;
    m_sys.reset();
    if (!tryGrab())
        m_retry->start();
}

void X11KeyboardCapture::stop() {
    m_wanted = false;
    m_retry->stop();
    release();
}

bool X11KeyboardCapture::tryGrab() {
    if (m_grabbed)
        return true;
    const int status =
        XGrabKeyboard(m_display, DefaultRootWindow(m_display), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    m_grabbed = status == GrabSuccess;
    XFlush(m_display);
    return m_grabbed;
}

void X11KeyboardCapture::release() {
    if (!m_grabbed)
        return;
    XUngrabKeyboard(m_display, CurrentTime);
    XSync(m_display, False);
    m_grabbed = false;
    // Keys still queued were withheld from everyone: drop them with the grab.
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
    }
}

std::optional<std::uint8_t> X11KeyboardCapture::VirtualKeyOfX11Key(Display* display, unsigned keycode, unsigned state) {
    // A keypad key counts as what Num Lock makes it (the keypad "1" is End with Num Lock off); the
    // other modifiers do not change the key (Shift+1 is still the 1 key).
    const unsigned numLock = XkbKeysymToModifiers(display, XK_Num_Lock);
    KeySym translated = NoSymbol;
    unsigned consumed = 0;
    if (XkbLookupKeySym(display, static_cast<KeyCode>(keycode), state & numLock, &consumed, &translated) &&
        IsKeypadKey(translated)) {
        if (auto vk = VirtualKeyOfKeysym(static_cast<std::uint32_t>(translated)))
            return vk;
    }
    for (int level = 0; level < 2; ++level) {
        const KeySym keysym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(keycode), 0, level);
        if (keysym == NoSymbol)
            continue;
        if (auto vk = VirtualKeyOfKeysym(static_cast<std::uint32_t>(keysym)))
            return vk;
    }
    if (keycode > EvdevOffset)
        return VirtualKeyOfEvdev(static_cast<std::uint16_t>(keycode - EvdevOffset));
    return std::nullopt;
}

void X11KeyboardCapture::processEvents() {
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (!m_grabbed || (event.type != KeyPress && event.type != KeyRelease))
            continue;
        const bool press = event.type == KeyPress;
        // Drop the release of a repeat pair: the press then counts as a repeat.
        if (!press && isRepeatRelease(event.xkey.keycode, event.xkey.time))
            continue;
        const auto vk = VirtualKeyOfX11Key(m_display, event.xkey.keycode, event.xkey.state);
        if (!vk)
            continue; // a key the table does not know is withheld but not recorded
        const KeyMessage message = m_sys.message(*vk, press);
        if (m_handler)
            m_handler(message, *vk);
    }
}

// Where the server cannot detect auto-repeat, each repeat is a release and a press of the same key
// at the same time.
bool X11KeyboardCapture::isRepeatRelease(unsigned keycode, unsigned long time) {
    if (m_detectableRepeat)
        return false;
    if (XEventsQueued(m_display, QueuedAfterReading) == 0) {
        pollfd socket{ConnectionNumber(m_display), POLLIN, 0};
        if (::poll(&socket, 1, RepeatPairWaitMs) <= 0 || XEventsQueued(m_display, QueuedAfterReading) == 0)
            return false;
    }
    XEvent next;
    XPeekEvent(m_display, &next);
    return next.type == KeyPress && next.xkey.keycode == keycode && next.xkey.time == time;
}

} // namespace krv
