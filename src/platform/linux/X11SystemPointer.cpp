// SPDX-License-Identifier: MIT
#include "platform/linux/X11SystemPointer.h"

#include "log/Log.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace krv {
namespace {

constexpr const char* AccelSpeedProperty = "libinput Accel Speed";
constexpr const char* ProductIdProperty = "Device Product ID";
constexpr long MouseVendorId = 0x18f8;
constexpr long MouseProductId = 0x0f99;
constexpr int MinSpeed = 1;
constexpr int MaxSpeed = 20;
constexpr int NeutralSpeed = 10;

int clampSpeed(int speed) { return std::clamp(speed, MinSpeed, MaxSpeed); }

// A device property's items of format 32 (longs in Xlib's memory), or nothing.
std::vector<long> longItems(Display* display, int device, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> values;
    if (XIGetProperty(display, device, property, 0, 8, False, AnyPropertyType, &type, &format, &items, &after, &data) !=
            Success ||
        data == nullptr)
        return values;
    if (format == 32)
        values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + items);
    XFree(data);
    return values;
}

} // namespace

float MouseAccelKeeper::userAccel(const Device& device) {
    return m_userAccel.try_emplace(device.id, device.accel).first->second;
}

std::vector<MouseAccelKeeper::Device> MouseAccelKeeper::accelFor(int speed, const std::vector<Device>& devices) {
    std::vector<Device> planned;
    for (const Device& device : devices) {
        const float step = static_cast<float>(clampSpeed(speed) - NeutralSpeed) / 10.0f;
        planned.push_back({device.id, std::clamp(userAccel(device) + step, -1.0f, 1.0f)});
    }
    return planned;
}

std::optional<int> MouseAccelKeeper::speedOf(const std::vector<Device>& devices) {
    if (devices.empty())
        return std::nullopt;
    const float relative = devices.front().accel - userAccel(devices.front());
    return clampSpeed(static_cast<int>(std::lround(relative * 10.0f)) + NeutralSpeed);
}

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

std::vector<MouseAccelKeeper::Device> X11SystemPointer::mousePointers() {
    std::vector<MouseAccelKeeper::Device> found;
    const Atom accelProperty = m_haveXi2 ? XInternAtom(m_display, AccelSpeedProperty, True) : None;
    const Atom productProperty = m_haveXi2 ? XInternAtom(m_display, ProductIdProperty, True) : None;
    if (accelProperty == None || productProperty == None)
        return found;
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(m_display, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
        const int id = devices[i].deviceid;
        if (devices[i].use != XISlavePointer || !devices[i].enabled)
            continue;
        if (longItems(m_display, id, productProperty) != std::vector<long>{MouseVendorId, MouseProductId})
            continue;
        Atom type = None;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XIGetProperty(m_display, id, accelProperty, 0, 1, False, AnyPropertyType, &type, &format, &items, &after,
                          &data) == Success &&
            data != nullptr) {
            if (format == 32 && items >= 1) {
                float accel = 0;
                std::memcpy(&accel, data, sizeof accel); // XI2 properties of format 32 are 32-bit items
                found.push_back({id, accel});
            }
            XFree(data);
        }
    }
    XIFreeDeviceInfo(devices);
    if (found.empty() && !m_saidNoDevice) {
        m_saidNoDevice = true;
        LogDetail(LogCategory::Apply)
            << "the X server shows no libinput pointer of this mouse; the pointer speed is left to the desktop";
    }
    return found;
}

std::optional<int> X11SystemPointer::pointerSpeed() {
    std::lock_guard lock(m_mutex);
    return m_keeper.speedOf(mousePointers());
}

bool X11SystemPointer::setPointerSpeed(int speed) {
    std::lock_guard lock(m_mutex);
    const auto devices = m_keeper.accelFor(speed, mousePointers());
    if (devices.empty())
        return false;
    const Atom property = XInternAtom(m_display, AccelSpeedProperty, True);
    const Atom floatType = XInternAtom(m_display, "FLOAT", False);
    for (const auto& device : devices) {
        unsigned char bytes[sizeof device.accel];
        std::memcpy(bytes, &device.accel, sizeof device.accel);
        XIChangeProperty(m_display, device.id, property, floatType, 32, XIPropModeReplace, bytes, 1);
    }
    XSync(m_display, False);
    return true;
}

} // namespace krv
