// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace krv {

// The program keeps text in UTF-8; the wide Win32 calls take UTF-16. Conversions are explicit, never
// through the ANSI code page.

// Nothing when `utf8` is not valid UTF-8.
std::optional<std::wstring> WideFromUtf8(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);

// The system's text for a Win32 error code (FormatMessageW), in UTF-8 without the trailing line
// break, e.g. "The system cannot find the file specified."; "Windows error <code>" when the system
// has none.
std::string SystemErrorMessage(std::uint32_t code);
// The same for GetLastError() of the calling thread.
std::string LastErrorMessage();

} // namespace krv
