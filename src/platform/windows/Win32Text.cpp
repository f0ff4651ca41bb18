// SPDX-License-Identifier: MIT
#include "platform/windows/Win32Text.h"

#include "platform/windows/Win32.h"

#include <climits>

namespace krv {

std::optional<std::wstring> WideFromUtf8(std::string_view utf8) {
    if (utf8.empty())
        return std::wstring();
    if (utf8.size() > static_cast<std::size_t>(INT_MAX))
        return std::nullopt;
    const int inLength = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, wide.data(), length) != length)
        return std::nullopt;
    return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
    if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int inLength = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), inLength, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::string SystemErrorMessage(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length > 0 && buffer != nullptr)
        text.assign(buffer, length);
    if (buffer != nullptr)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    if (text.empty())
        return "Windows error " + std::to_string(code);
    return Utf8FromWide(text);
}

std::string LastErrorMessage() {
    return SystemErrorMessage(GetLastError());
}

} // namespace krv
