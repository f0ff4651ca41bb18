#pragma once

#include "ports/SystemPointer.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using Display = struct _XDisplay;

namespace krv {

// The pointer speed of an X11 desktop, on a connection of its own.
//
// Speed s on the Windows scale 1..20 (10 neutral) becomes:
//  - on pointer devices driven by libinput (the property "libinput Accel Speed", -1..1):
//    (s - 10) / 10, so 1 -> -0.9, 10 -> 0 (libinput's default), 20 -> 1;
//  - otherwise the core pointer acceleration (XChangePointerControl): s / 5, so 10 -> 2/1 (the X
//    server's default), 1 -> 1/5, 20 -> 4/1; the threshold is left alone.
// The getter reads the same setting back through the inverse mapping.
// X11 has no wheel scroll-lines setting: wheelScrollLines() answers nothing and the apply skips the
// set (setWheelScrollLines returns false).
// Safe to call from several threads (one lock around the connection).
class X11SystemPointer final : public SystemPointer {
public:
    static std::unique_ptr<X11SystemPointer> open(const char* displayName = nullptr, std::string* error = nullptr);
    ~X11SystemPointer() override;
    X11SystemPointer(const X11SystemPointer&) = delete;
    X11SystemPointer& operator=(const X11SystemPointer&) = delete;

    std::optional<int> pointerSpeed() override;
    bool setPointerSpeed(int speed) override;
    std::optional<int> wheelScrollLines() override { return std::nullopt; }
    bool setWheelScrollLines(int) override { return false; }

    // True when the speed goes to libinput devices rather than the core pointer.
    bool usesLibinput();

    static double libinputAccelOfSpeed(int speed);
    static int speedOfLibinputAccel(double accel);

private:
    X11SystemPointer(Display* display, bool haveXi2) : m_display(display), m_haveXi2(haveXi2) {}
    std::vector<int> libinputPointers(); // device ids with "libinput Accel Speed"

    std::mutex m_mutex;
    Display* m_display;
    bool m_haveXi2;
};

} // namespace krv
