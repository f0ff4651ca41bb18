// SPDX-License-Identifier: MIT
#pragma once

#include "ports/SystemPointer.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

using Display = struct _XDisplay;

namespace krv {

// Speeds of this mouse's own pointer devices relative to what the user had set. The user's value of
// each device is remembered the first time the device is seen, so that speed 10 (neutral) gives it
// back exactly and the other steps go up or down from it in tenths of libinput's range.
class MouseAccelKeeper {
public:
    struct Device {
        int id;
        float accel; // "libinput Accel Speed", -1..1
    };
    // The accel each device gets for speed s (1..20).
    std::vector<Device> accelFor(int speed, const std::vector<Device>& devices);
    // The speed the devices' current accel stands for (of the first device); nothing without one.
    std::optional<int> speedOf(const std::vector<Device>& devices);

private:
    float userAccel(const Device& device);
    std::map<int, float> m_userAccel;
};

// The pointer speed of this mouse on an X11 desktop, on a connection of its own. Only the X input
// devices of this mouse (property "Device Product ID" = 0x18f8, 0x0f99) driven by libinput are
// changed: other mice, touchpads and the desktop's own settings are left alone. Setting speed 10
// (neutral; what the shutdown sets) puts back each device's own value. Where the server shows no such
// device (Wayland, a remote display, the mouse unplugged) nothing is changed: pointerSpeed() answers
// nothing, so an apply leaves the pointer alone, and the reason is said once on standard error.
// X11 has no wheel scroll-lines setting: wheelScrollLines() answers nothing.
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

private:
    X11SystemPointer(Display* display, bool haveXi2) : m_display(display), m_haveXi2(haveXi2) {}
    std::vector<MouseAccelKeeper::Device> mousePointers(); // this mouse's libinput devices, with their accel

    std::mutex m_mutex;
    Display* m_display;
    bool m_haveXi2;
    MouseAccelKeeper m_keeper;
    bool m_saidNoDevice = false;
};

} // namespace krv
