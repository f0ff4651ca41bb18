// SPDX-License-Identifier: MIT
#include "platform/windows/Win32Text.h"

#include "WindowsTestSupport.h"

#include <gtest/gtest.h>

namespace krv {
namespace {

TEST(Win32Text, Utf8AndUtf16ConvertBothWays) {
    struct Row {
        std::string utf8;
        std::wstring wide;
    };
    const Row rows[] = {
        {"", L""},
        {"config.ini", L"config.ini"},
        {"Ger\xc3\xa4t \xe9\xbc\xa0\xe6\xa0\x87", L"Ger\u00e4t \u9f20\u6807"},
        {"\xf0\x9f\x96\xb1", L"\U0001F5B1"}, // beyond the basic plane: a surrogate pair
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(WideFromUtf8(row.utf8), row.wide);
        EXPECT_EQ(Utf8FromWide(row.wide), row.utf8);
    }
}

TEST(Win32Text, InvalidUtf8IsRefusedNotGuessed) {
    for (const std::string bad : {"\xff", "caf\xe9", "\xc3", "\xed\xa0\x80" /* a surrogate */})
        EXPECT_EQ(WideFromUtf8(bad), std::nullopt) << bad;
    EXPECT_EQ(Utf8FromWide(std::wstring(1, wchar_t(0xD800))), "\xef\xbf\xbd"); // a lone surrogate
}

TEST(Win32Text, SystemMessagesComeWithoutTheLineBreak) {
    const std::string message = SystemErrorMessage(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(message.empty());
    EXPECT_NE(message.back(), '\n');
    EXPECT_NE(message.back(), '\r');
    EXPECT_NE(message, "Windows error 2");
    EXPECT_EQ(SystemErrorMessage(0x2FFFFFFF), "Windows error 805306367");
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorMessage(), SystemErrorMessage(ERROR_ACCESS_DENIED));
}

} // namespace
} // namespace krv
