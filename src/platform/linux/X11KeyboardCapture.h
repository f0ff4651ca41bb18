// SPDX-License-Identifier: MIT
#pragma once

#include "macros/MacroEditor.h"
#include "macros/SysKeyTracker.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;
class QTimer;
using Display = struct _XDisplay;

namespace krv {

// Recording's keyboard capture on X11: while started, the whole keyboard is grabbed on a connection of
// the program's own (on the root window, so the grab holds whether or not the main window shows), no
// other client, this program's windows included, receives a key, and every press and release becomes
// a (message, virtual-key code) pair for the handler on the UI thread. Alt held, the Alt keys
// themselves and F10 give the Sys messages. A held key's auto-repeat arrives as repeated presses.
// The X server ends the grab when the connection closes, also when the process dies.
class X11KeyboardCapture : public QObject, public KeyboardCapture {
    Q_OBJECT
public:
    using KeyHandler = std::function<void(KeyMessage message, std::uint8_t vk)>;

    // Nothing when the display cannot be opened; `error` then says why. displayName nullptr: $DISPLAY.
    static std::unique_ptr<X11KeyboardCapture> open(KeyHandler handler, const char* displayName = nullptr,
                                                    std::string* error = nullptr);
    ~X11KeyboardCapture() override;

    // Grabs the keyboard; a grab held by another client is retried for a second.
    void start() override;
    // Releases the grab (also when start is still retrying).
    void stop() override;

    // Whether the server reports a held key as presses alone (on from open()). Off, it sends a release
    // and a press at the same time for each repeat, which the capture folds into one press.
    void setDetectableAutoRepeat(bool on);

    // True while the grab is held.
    bool grabbed() const { return m_grabbed; }
    // Reads and handles every event that has arrived (the socket notifier calls it).
    void processEvents();

    // The code an X key records as, with the modifier `state` of its event: a keypad key by the
    // level Num Lock selects (NUMPAD1 with Num Lock on, END with it off); any other key by the keysym
    // of its first level, else of its second, else by the key's evdev code.
    static std::optional<std::uint8_t> VirtualKeyOfX11Key(Display* display, unsigned keycode, unsigned state);

signals:
    // The grab could not be taken within the retry time.
    void grabFailed();

private:
    X11KeyboardCapture(Display* display, KeyHandler handler);
    bool tryGrab();
    void release();
    bool isRepeatRelease(unsigned keycode, unsigned long time);

    Display* m_display;
    KeyHandler m_handler;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_retry = nullptr;
    int m_attempts = 0;
    bool m_wanted = false;
    bool m_grabbed = false;
    bool m_detectableRepeat = false; // the server reports a held key as presses alone
    SysKeyTracker m_sys;
};

} // namespace krv
