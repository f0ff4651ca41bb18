// SPDX-License-Identifier: MIT
#include "platform/windows/RunningPrograms.h"

#include "platform/windows/UniqueHandle.h"
#include "platform/windows/Win32.h"
#include "platform/windows/Win32Text.h"

#include <tlhelp32.h>

#include <algorithm>

namespace krv {

namespace {

std::string executableOfProcess(DWORD pid) {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return {};
    std::wstring path(32768, L'\0'); // the longest path the system has
    DWORD length = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, path.data(), &length))
        return {};
    path.resize(length);
    return Utf8FromWide(path);
}

} // namespace

std::vector<std::string> RunningProgramExecutables() {
    std::vector<std::string> programs;
    const UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return programs;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        std::string exe = executableOfProcess(entry.th32ProcessID);
        if (!exe.empty())
            programs.push_back(std::move(exe));
    }
    std::sort(programs.begin(), programs.end());
    programs.erase(std::unique(programs.begin(), programs.end()), programs.end());
    return programs;
}

} // namespace krv
