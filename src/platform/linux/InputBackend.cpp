// SPDX-License-Identifier: MIT
#include "platform/linux/InputBackend.h"

#include "log/Log.h"
#include "platform/linux/UinputInjector.h"
#include "platform/linux/XTestInjector.h"

#include <cstdlib>

namespace krv {

std::unique_ptr<InputInjector> OpenInputInjector(std::string* description, std::string* waylandProblem) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool waylandSession = wayland != nullptr && *wayland != '\0';
    std::string uinputError;
    if (waylandSession) {
        if (auto uinput = UinputInjector::open("/dev/uinput", &uinputError)) {
            LogDetail(LogCategory::InputBackend) << "Wayland session: keys are injected through uinput";
            if (description != nullptr)
                *description = "uinput";
            return uinput;
        }
        LogWarning(LogCategory::InputBackend) << "Wayland session without /dev/uinput (" << uinputError
                                              << "): keys reach only X11 programs";
        if (waylandProblem != nullptr)
            *waylandProblem = uinputError;
    }
    std::string xError;
    if (auto xtest = XTestInjector::open(nullptr, &xError)) {
        LogDetail(LogCategory::InputBackend) << "keys are injected through XTest";
        if (description != nullptr)
            *description = "XTest";
        return xtest;
    }
    if (!waylandSession) {
        if (auto uinput = UinputInjector::open("/dev/uinput", &uinputError)) {
            LogDetail(LogCategory::InputBackend) << "no X display (" << xError << "): keys are injected through uinput";
            if (description != nullptr)
                *description = "uinput";
            return uinput;
        }
    }
    LogWarning(LogCategory::InputBackend) << "no way to inject keys (" << xError << "; " << uinputError
                                          << "): shortcuts and macros reach no program";
    if (description != nullptr)
        *description = "none: " + xError + "; " + uinputError;
    return std::make_unique<NullInputInjector>();
}

std::string UinputAccessCommand() {
    return "printf '%s\\n' 'KERNEL==\"uinput\", SUBSYSTEM==\"misc\", TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\"' | "
           "sudo tee /etc/udev/rules.d/71-krv-glyde-uinput.rules && sudo udevadm control --reload-rules && "
           "sudo udevadm trigger --sysname-match=uinput";
}

} // namespace krv
