// SPDX-License-Identifier: MIT
#pragma once

#include "ports/InputInjector.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace krv {

// Injects input through a virtual input device of the kernel (uinput), below any display server: it
// works on X11, Wayland and the console alike, wherever the uinput node is writable. The device is
// named "KRV Glyde virtual input" (bus virtual, ids 0) and offers every key of VirtualKeys.h plus the
// three mouse buttons. Needs no X; create it once (the device lives as long as the object).
// The device has a Num Lock light, which the display server (or the console) keeps in step with the
// Num Lock state: a keypad digit pressed while it is off goes between two Num Lock taps, so that it
// types the digit as on Windows instead of End, Down, ...
class UinputInjector final : public InputInjector {
public:
    static constexpr const char* DeviceName = "KRV Glyde virtual input";

    // Nothing when the node cannot be opened or the device cannot be created; `error` says why.
    static std::unique_ptr<UinputInjector> open(const std::filesystem::path& node = "/dev/uinput", std::string* error = nullptr);
    ~UinputInjector() override;
    UinputInjector(const UinputInjector&) = delete;
    UinputInjector& operator=(const UinputInjector&) = delete;

    void keyDown(std::uint8_t code, bool extended) override;
    void keyUp(std::uint8_t code, bool extended) override;
    void buttonDown(MouseButton button) override;
    void buttonUp(MouseButton button) override;

    // The evdev code a (code, extended) key is sent as, 0 when the kernel has none.
    static std::uint16_t evdevCodeOf(std::uint8_t code, bool extended);

    // The key transitions (evdev code, 1 press / 0 release) that press or release a key, given the
    // Num Lock state (nothing when not known yet).
    using KeyTransitions = std::vector<std::pair<std::uint16_t, std::int32_t>>;
    static KeyTransitions keyTransitions(std::uint8_t code, bool extended, bool press, std::optional<bool> numLock);

    // The Num Lock state as last shown on the device's light, nothing before the first report.
    std::optional<bool> numLockOn();

private:
    explicit UinputInjector(int fd) : m_fd(fd) {}
    void key(std::uint8_t code, bool extended, bool press);
    void emit(std::uint16_t type, std::uint16_t code, std::int32_t value);
    void send(std::uint16_t evdevCode, bool press);

    int m_fd;
    std::optional<bool> m_numLock;
};

} // namespace krv
