// SPDX-License-Identifier: MIT
#include "platform/windows/RunningPrograms.h"

#include "platform/windows/UniqueHandle.h"
#include "platform/windows/Win32.h"
#include "platform/windows/WindowsForegroundWatch.h"

#include <tlhelp32.h>

#include <algorithm>

namespace krv {

std::vector<std::string> RunningProgramExecutables() {
    std::vector<std::string> programs;
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return programs;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        std::string exe = WindowsForegroundWatch::ExecutableOfProcess(entry.th32ProcessID);
        if (!exe.empty())
            programs.push_back(std::move(exe));
    }
    std::sort(programs.begin(), programs.end());
    programs.erase(std::unique(programs.begin(), programs.end()), programs.end());
    return programs;
}

} // namespace krv
