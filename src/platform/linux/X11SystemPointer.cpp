#include "platform/linux/X11SystemPointer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace krv {
namespace {

constexpr const char* AccelSpeedProperty = "libinput Accel Speed";
constexpr int MinSpeed = 1;
constexpr int MaxSpeed = 20;
constexpr int CoreDenominator = 5;

int clampSpeed(int speed) { return std::clamp(speed, MinSpeed, MaxSpeed); }

} // namespace

std::unique_ptr<X11SystemPointer> X11SystemPointer::open(const char* displayName, std::string* error) {
    Display* display = XOpenDisplay(displayName);
    if (display == nullptr) {
        if (error != nullptr)
            *error = "cannot open the X display";
        return nullptr;
    }
    int opcode = 0, event = 0, err = 0;
    bool haveXi2 = false;
    if (XQueryExtension(display, "XInputExtension", &opcode, &event, &err)) {
        int major = 2, minor = 0;
        haveXi2 = XIQueryVersion(display, &major, &minor) == Success;
    }
    return std::unique_ptr<X11SystemPointer>(new X11SystemPointer(display, haveXi2));
}

X11SystemPointer::~X11SystemPointer() { XCloseDisplay(m_display); }

double X11SystemPointer::libinputAccelOfSpeed(int speed) { return (clampSpeed(speed) - 10) / 10.0; }

int X11SystemPointer::speedOfLibinputAccel(double accel) {
    return clampSpeed(static_cast<int>(std::lround(std::clamp(accel, -1.0, 1.0) * 10.0 + 10.0)));
}

std::vector<int> X11SystemPointer::libinputPointers() {
    std::vector<int> ids;
    if (!m_haveXi2)
        return ids;
    const Atom property = XInternAtom(m_display, AccelSpeedProperty, True);
    if (property == None)
        return ids;
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(m_display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        if (devices[i].use != XISlavePointer || !devices[i].enabled)
            continue;
        int propertyCount = 0;
        Atom* properties = XIListProperties(m_display, devices[i].deviceid, &propertyCount);
        if (std::find(properties, properties + propertyCount, property) != properties + propertyCount)
            ids.push_back(devices[i].deviceid);
        XFree(properties);
    }
    XIFreeDeviceInfo(devices);
    return ids;
}

bool X11SystemPointer::usesLibinput() {
    std::lock_guard lock(m_mutex);
    return !libinputPointers().empty();
}

std::optional<int> X11SystemPointer::pointerSpeed() {
    std::lock_guard lock(m_mutex);
    const std::vector<int> devices = libinputPointers();
    if (!devices.empty()) {
        const Atom property = XInternAtom(m_display, AccelSpeedProperty, True);
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XIGetProperty(m_display, devices.front(), property, 0, 1, False, AnyPropertyType, &type, &format, &items, &after,
                          &data) != Success || data == nullptr)
            return std::nullopt;
        std::optional<int> speed;
        if (format == 32 && items >= 1) {
            float accel = 0;
            std::memcpy(&accel, data, sizeof accel); // XI2 properties of format 32 are 32-bit items
            speed = speedOfLibinputAccel(accel);
        }
        XFree(data);
        return speed;
    }
    int numerator = 0, denominator = 0, threshold = 0;
    XGetPointerControl(m_display, &numerator, &denominator, &threshold);
    if (denominator <= 0)
        return std::nullopt;
    return clampSpeed(static_cast<int>(std::lround(static_cast<double>(numerator) * CoreDenominator / denominator)));
}

bool X11SystemPointer::setPointerSpeed(int speed) {
    std::lock_guard lock(m_mutex);
    const std::vector<int> devices = libinputPointers();
    if (!devices.empty()) {
        const Atom property = XInternAtom(m_display, AccelSpeedProperty, True);
        const Atom floatType = XInternAtom(m_display, "FLOAT", False);
        const float accel = static_cast<float>(libinputAccelOfSpeed(speed));
        unsigned char bytes[sizeof accel];
        std::memcpy(bytes, &accel, sizeof accel);
        for (int device : devices)
            XIChangeProperty(m_display, device, property, floatType, 32, XIPropModeReplace, bytes, 1);
    } else {
        XChangePointerControl(m_display, True, False, clampSpeed(speed), CoreDenominator, 0);
    }
    XSync(m_display, False);
    return true;
}

} // namespace krv
