#include "platform/linux/InputBackend.h"

#include "platform/linux/UinputInjector.h"
#include "platform/linux/XTestInjector.h"

namespace krv {

std::unique_ptr<InputInjector> OpenInputInjector(std::string* description) {
    std::string xError;
    if (auto xtest = XTestInjector::open(nullptr, &xError)) {
        if (description != nullptr)
            *description = "XTest";
        return xtest;
    }
    std::string uinputError;
    if (auto uinput = UinputInjector::open("/dev/uinput", &uinputError)) {
        if (description != nullptr)
            *description = "uinput";
        return uinput;
    }
    if (description != nullptr)
        *description = "none: " + xError + "; " + uinputError;
    return std::make_unique<NullInputInjector>();
}

} // namespace krv
