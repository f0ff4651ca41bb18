// SPDX-License-Identifier: MIT
#include "platform/linux/UinputInjector.h"

#include "mouse/VirtualKeys.h"

#include <cerrno>
#include <cstring>
#include <set>

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace krv {
namespace {

std::string systemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

} // namespace

std::unique_ptr<UinputInjector> UinputInjector::open(const std::filesystem::path& node, std::string* error) {
    auto fail = [&](const std::string& why, int fd) -> std::unique_ptr<UinputInjector> {
        if (error != nullptr)
            *error = why;
        if (fd >= 0)
            ::close(fd);
        return nullptr;
    };
    // Read and write: the Num Lock light comes back as events on the same node.
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(systemError(("cannot open " + node.string()).c_str()), -1);

    std::set<int> keys{BTN_LEFT, BTN_RIGHT, BTN_MIDDLE};
    for (const VirtualKey& key : VirtualKeyTable())
        if (key.evdevCode != 0)
            keys.insert(key.evdevCode);
    for (bool extended : {false, true})
        for (std::uint8_t code : {Vk::Control, Vk::Menu, Vk::Return})
            keys.insert(evdevCodeOf(code, extended));
    bool ok = ioctl(fd, UI_SET_EVBIT, EV_KEY) == 0 && ioctl(fd, UI_SET_EVBIT, EV_SYN) == 0;
    for (int key : keys)
        ok = ok && ioctl(fd, UI_SET_KEYBIT, key) == 0;
    // Relative axes (never moved) make desktops take the device's buttons for a mouse's.
    ok = ok && ioctl(fd, UI_SET_EVBIT, EV_REL) == 0 && ioctl(fd, UI_SET_RELBIT, REL_X) == 0 &&
         ioctl(fd, UI_SET_RELBIT, REL_Y) == 0;
    ok = ok && ioctl(fd, UI_SET_KEYBIT, KEY_NUMLOCK) == 0 && ioctl(fd, UI_SET_EVBIT, EV_LED) == 0 &&
         ioctl(fd, UI_SET_LEDBIT, LED_NUML) == 0;
    if (!ok)
        return fail(systemError("cannot describe the uinput device"), fd);

    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, DeviceName, UINPUT_MAX_NAME_SIZE - 1);
    if (ioctl(fd, UI_DEV_SETUP, &setup) != 0 || ioctl(fd, UI_DEV_CREATE) != 0)
        return fail(systemError("cannot create the uinput device"), fd);
    return std::unique_ptr<UinputInjector>(new UinputInjector(fd));
}

UinputInjector::~UinputInjector() {
    ioctl(m_fd, UI_DEV_DESTROY);
    ::close(m_fd);
}

std::uint16_t UinputInjector::evdevCodeOf(std::uint8_t code, bool extended) {
    const auto resolved = ResolveVirtualKey(code, extended);
    return resolved ? resolved->evdevCode : 0;
}

UinputInjector::KeyTransitions UinputInjector::keyTransitions(std::uint8_t code, bool extended, bool press,
                                                              std::optional<bool> numLock) {
    const std::uint16_t evdev = evdevCodeOf(code, extended);
    if (evdev == 0)
        return {};
    if (press && IsNumLockKeypadKey(code) && numLock == false) {
        // Num Lock on for the press only: the release needs no Num Lock, and the user's state is back at once.
        return {{KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}, {evdev, 1}, {KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}};
    }
    return {{evdev, press ? 1 : 0}};
}

std::optional<bool> UinputInjector::numLockOn() {
    input_event event{};
    while (::read(m_fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event))
        if (event.type == EV_LED && event.code == LED_NUML)
            m_numLock = event.value != 0;
    return m_numLock;
}

void UinputInjector::key(std::uint8_t code, bool extended, bool press) {
    const std::optional<bool> numLock = press && IsNumLockKeypadKey(code) ? numLockOn() : std::nullopt;
    for (const auto& [evdev, value] : keyTransitions(code, extended, press, numLock))
        send(evdev, value != 0);
}

void UinputInjector::keyDown(std::uint8_t code, bool extended) {
    key(code, extended, true);
}
void UinputInjector::keyUp(std::uint8_t code, bool extended) {
    key(code, extended, false);
}

void UinputInjector::buttonDown(MouseButton b) {
    send(b == MouseButton::Left ? BTN_LEFT : b == MouseButton::Right ? BTN_RIGHT : BTN_MIDDLE, true);
}
void UinputInjector::buttonUp(MouseButton b) {
    send(b == MouseButton::Left ? BTN_LEFT : b == MouseButton::Right ? BTN_RIGHT : BTN_MIDDLE, false);
}

void UinputInjector::send(std::uint16_t evdevCode, bool press) {
    if (evdevCode == 0)
        return;
    emit(EV_KEY, evdevCode, press ? 1 : 0);
    emit(EV_SYN, SYN_REPORT, 0);
}

void UinputInjector::emit(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    // A failed write is silent, like every injection failure.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &event, sizeof event);
}

} // namespace krv
