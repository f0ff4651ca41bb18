// SPDX-License-Identifier: MIT
#include "platform/linux/RunningPrograms.h"

#include "platform/linux/ProcessProgram.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace krv {

std::vector<std::string> RunningProgramExecutables() {
    std::vector<std::string> programs;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        // Another user's processes (and kernel threads) give no link: they are left out.
        std::string exe = ProgramOfProcess(std::stoll(name));
        if (!exe.empty())
            programs.push_back(std::move(exe));
    }
    std::sort(programs.begin(), programs.end());
    programs.erase(std::unique(programs.begin(), programs.end()), programs.end());
    return programs;
}

} // namespace krv
