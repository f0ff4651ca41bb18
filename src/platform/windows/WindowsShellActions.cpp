// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsShellActions.h"

#include "platform/windows/Win32Text.h"

#include <objbase.h>
#include <shellapi.h>

namespace krv {

namespace {

// COM on the calling thread for the length of one shell call: the shell may hand the work to
// extensions that need it. A thread that already has COM in another mode keeps it.
class ComForThisCall {
public:
    ComForThisCall() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComForThisCall() {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    ComForThisCall(const ComForThisCall&) = delete;
    ComForThisCall& operator=(const ComForThisCall&) = delete;

private:
    HRESULT m_result;
};

} // namespace

bool ShellOpen(std::string_view target, std::string* error, UniqueHandle* process) {
    const std::optional<std::wstring> wideTarget = WideFromUtf8(target);
    if (!wideTarget || wideTarget->empty()) {
        if (error)
            *error = wideTarget ? "nothing to open" : "the name is not valid UTF-8";
        return false;
    }
    const ComForThisCall com;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No message box of the shell's own: a failure is reported to the caller. Done before returning,
    // so the thread may end at once.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | (process ? SEE_MASK_NOCLOSEPROCESS : 0);
    info.lpFile = wideTarget->c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
        if (error)
            *error = LastErrorMessage();
        return false;
    }
    if (process)
        process->reset(info.hProcess);
    return true;
}

WindowsShellActions::WindowsShellActions(std::function<void(std::string_view)> onFailure)
    : m_onFailure(std::move(onFailure)) {}

void WindowsShellActions::lockSession() {
    if (!LockWorkStation() && m_onFailure)
        m_onFailure("cannot lock the session: " + LastErrorMessage());
}

void WindowsShellActions::open(std::string_view target) {
    std::string error;
    if (!ShellOpen(target, &error) && m_onFailure)
        m_onFailure("cannot open " + std::string(target) + ": " + error);
}

} // namespace krv
