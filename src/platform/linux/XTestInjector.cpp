// SPDX-License-Identifier: MIT
#include "platform/linux/XTestInjector.h"

#include "mouse/VirtualKeys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace krv {

std::unique_ptr<XTestInjector> XTestInjector::open(const char* displayName, std::string* error) {
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        if (error != nullptr)
            *error = "cannot open the X display";
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(display);
        if (error != nullptr)
            *error = "the X server has no XTEST extension";
        return nullptr;
    }
    // Our injected events must not wait behind another client's grab of the server.
    XTestGrabControl(display, True);
    return std::unique_ptr<XTestInjector>(new XTestInjector(display));
}

XTestInjector::~XTestInjector() {
    // The keyboard map is the desktop's: give back the keycodes we borrowed.
    for (const unsigned spare : m_boundSpares) {
        KeySym none[2] = {NoSymbol, NoSymbol};
        XChangeKeyboardMapping(m_display, static_cast<int>(spare), 2, none, 1);
    }
    XSync(m_display, False);
    XCloseDisplay(m_display);
}

void XTestInjector::keyDown(std::uint8_t code, bool extended) { key(code, extended, true); }
void XTestInjector::keyUp(std::uint8_t code, bool extended) { key(code, extended, false); }
void XTestInjector::buttonDown(MouseButton b) { button(b, true); }
void XTestInjector::buttonUp(MouseButton b) { button(b, false); }

unsigned XTestInjector::keycodeOf(std::uint8_t code, bool extended) {
    const auto resolved = ResolveVirtualKey(code, extended);
    if (!resolved || resolved->keysym == 0)
        return 0;
    const unsigned long keysym = resolved->keysym;
    if (auto it = m_keycodes.find(keysym); it != m_keycodes.end())
        return it->second;
    unsigned keycode = XKeysymToKeycode(m_display, keysym);
    if (keycode == 0)
        keycode = bindSpareKeycode(keysym);
    m_keycodes[keysym] = keycode;
    return keycode;
}

bool XTestInjector::numLockOn() {
    XkbStateRec state{};
    if (XkbGetState(m_display, XkbUseCoreKbd, &state) != Success)
        return true; // unknown: the keypad's own keycode
    return (state.mods & XkbKeysymToModifiers(m_display, XK_Num_Lock)) != 0;
}

unsigned XTestInjector::keycodeForPress(std::uint8_t code, bool extended) {
    if (!IsNumLockKeypadKey(code) || numLockOn())
        return keycodeOf(code, extended);
    const auto resolved = ResolveVirtualKey(code, extended);
    if (!resolved || resolved->keysym == 0)
        return 0;
    const unsigned long keysym = resolved->keysym;
    auto it = m_numLockFree.find(keysym);
    if (it == m_numLockFree.end())
        it = m_numLockFree.emplace(keysym, bindSpareKeycode(keysym)).first;
    // No spare keycode left: the keypad's own (it types the navigation key, but the key goes up again).
    return it->second != 0 ? it->second : keycodeOf(code, extended);
}

void XTestInjector::key(std::uint8_t code, bool extended, bool press) {
    const unsigned key = code * 2u + (extended ? 1u : 0u);
    unsigned keycode = 0;
    if (press) {
        keycode = keycodeForPress(code, extended);
        m_pressedOn[key] = keycode;
    } else if (auto it = m_pressedOn.find(key); it != m_pressedOn.end()) {
        keycode = it->second;
        m_pressedOn.erase(it);
    } else {
        keycode = keycodeOf(code, extended);
    }
    if (keycode == 0)
        return;
    XTestFakeKeyEvent(m_display, keycode, press ? True : False, CurrentTime);
    XFlush(m_display);
}

void XTestInjector::button(MouseButton b, bool press) {
    const unsigned number = b == MouseButton::Left ? 1 : b == MouseButton::Right ? 3 : 2;
    XTestFakeButtonEvent(m_display, number, press ? True : False, CurrentTime);
    XFlush(m_display);
}

unsigned XTestInjector::bindSpareKeycode(unsigned long keysym) {
    int minKeycode = 0, maxKeycode = 0;
    XDisplayKeycodes(m_display, &minKeycode, &maxKeycode);
    int perKeycode = 0;
    KeySym* map = XGetKeyboardMapping(m_display, static_cast<KeyCode>(minKeycode), maxKeycode - minKeycode + 1, &perKeycode);
    if (map == nullptr)
        return 0;
    unsigned spare = 0;
    // The highest keycode without any keysym: the end of the range is the least likely to be in use.
    for (int keycode = maxKeycode; keycode >= minKeycode && spare == 0; --keycode) {
        bool empty = true;
        for (int i = 0; i < perKeycode; ++i)
            if (map[(keycode - minKeycode) * perKeycode + i] != NoSymbol)
                empty = false;
        if (empty)
            spare = static_cast<unsigned>(keycode);
    }
    XFree(map);
    if (spare == 0)
        return 0;
    KeySym symbols[2] = {keysym, keysym};
    XChangeKeyboardMapping(m_display, static_cast<int>(spare), 2, symbols, 1);
    XSync(m_display, False);
    m_boundSpares.push_back(spare);
    return spare;
}

} // namespace krv
