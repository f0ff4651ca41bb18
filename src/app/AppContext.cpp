#include "app/AppContext.h"

#include "platform/linux/HidrawBackend.h"
#include "platform/linux/InputBackend.h"
#include "platform/linux/ShellLauncher.h"
#include "platform/linux/X11SystemPointer.h"

namespace krv {

AppPorts AppPorts::LinuxDesktop() {
    AppPorts ports;
    ports.hid = std::make_unique<HidrawBackend>();
    ports.injector = OpenInputInjector(nullptr, &ports.injectorProblem);
    ports.shell = std::make_unique<ShellLauncher>();
    if (auto pointer = X11SystemPointer::open())
        ports.pointer = std::move(pointer);
    else
        ports.pointer = std::make_unique<NoSystemPointer>();
    return ports;
}

namespace {

// A port left empty gets its harmless stand-in, so that the context is always whole.
AppPorts completed(AppPorts ports) {
    if (!ports.injector)
        ports.injector = std::make_unique<NullInputInjector>();
    if (!ports.pointer)
        ports.pointer = std::make_unique<NoSystemPointer>();
    if (!ports.shell)
        ports.shell = std::make_unique<NoShellActions>();
    if (!ports.hid)
        ports.hid = std::make_unique<HidrawBackend>();
    return ports;
}

} // namespace

AppContext::AppContext(std::filesystem::path appDirectory, AppPorts portsIn)
    : AppContext(AppPaths{std::move(appDirectory)}, std::move(portsIn)) {}

AppContext::AppContext(AppPaths pathsIn, AppPorts portsIn)
    : paths{std::move(pathsIn)}, ports(completed(std::move(portsIn))), heldInput(*ports.injector), link(*ports.hid) {}

} // namespace krv
