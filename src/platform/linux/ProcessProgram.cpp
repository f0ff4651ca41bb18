// SPDX-License-Identifier: MIT
#include "platform/linux/ProcessProgram.h"

#include "settings/AppProfileRules.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <string_view>

namespace krv {

namespace {

// Wine's loaders: the preloader of a 64- or 32-bit program (upstream builds and Proton), or the
// loader itself where the build has no preloader (Debian's wine64).
bool isWineLoader(std::string_view executable) {
    const std::string_view name = ProgramFileName(executable);
    return name == "wine64-preloader" || name == "wine-preloader" || name == "wine64" || name == "wine";
}

std::string executableAt(int dirFd, const std::string& entry) {
    const std::string link = entry + "/exe";
    char target[4096];
    const ssize_t length = ::readlinkat(dirFd, link.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
        return {};
    std::string path(target, static_cast<std::size_t>(length));
    constexpr std::string_view Deleted = " (deleted)";
    if (path.size() > Deleted.size() && path.compare(path.size() - Deleted.size(), Deleted.size(), Deleted) == 0)
        path.resize(path.size() - Deleted.size());
    return path;
}

// argv[0] as the process shows it now (a program may rewrite it, as Wine's loader does).
std::string firstArgumentAt(int dirFd, const std::string& entry) {
    const std::string name = entry + "/cmdline";
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::array<char, 4096> buffer{};
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (n <= 0)
            break;
        const std::string_view added(buffer.data() + filled, static_cast<std::size_t>(n));
        filled += static_cast<std::size_t>(n);
        if (added.find('\0') != std::string_view::npos)
            break;
    }
    ::close(fd);
    const std::string_view text(buffer.data(), filled);
    const std::size_t end = text.find('\0');
    if (end == std::string_view::npos)
        return {}; // longer than any path a rule can name, or nothing at all
    return std::string(text.substr(0, end));
}

std::string programAt(int dirFd, const std::string& entry) {
    std::string executable = executableAt(dirFd, entry);
    if (executable.empty() || !isWineLoader(executable))
        return executable;
    std::string windowsProgram = firstArgumentAt(dirFd, entry);
    return IsWindowsProgramName(windowsProgram) ? windowsProgram : executable;
}

} // namespace

std::string ProgramOfProcess(std::int64_t pid) {
    if (pid <= 0)
        return {};
    return programAt(AT_FDCWD, "/proc/" + std::to_string(pid));
}

std::string ProgramOfProcessAt(int procFd, const char* pid) {
    return programAt(procFd, pid);
}

} // namespace krv
