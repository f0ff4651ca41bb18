// SPDX-License-Identifier: MIT
#pragma once

#include "ports/UiNotifier.h"
#include "settings/UiLanguage.h"
#include "skin/SkinLayout.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace krv {

class IniDocument;

// The seven comma-separated fields of one skin entry ("label,x,y,width,height,caption,rest").
struct SkinEntry {
    std::array<std::string, 7> fields;
    bool tooManyCommas = false; // more than six commas: the value is still used as split
};

// Splits a skin value into seven fields from left to right. A field whose comma is missing is empty
// and the search for the next field starts again at the beginning of the value; field 6 is all that
// follows the comma ending field 5 (the whole value when field 5 found none).
SkinEntry SplitSkinValue(std::string_view value);

// What reading the skin descriptions came to.
struct SkinLoadResult {
    bool ok = true;
    std::filesystem::path missingFile; // set when a description file does not exist
    explicit operator bool() const { return ok; }
};

// Everything the four skin description files of one language hold.
struct SkinDescriptions {
    SkinLayout mainLayout{MainElementCount};
    SkinLayout advancedLayout{AdvancedElementCount};
    SkinLayout colorLayout{ColorElementCount};
    SkinLayout warningLayout{WarningElementCount};
    // Display names of ButtonCodes 0..54 (entry 0 always empty).
    std::array<std::string, FunctionNameCount> functionNames{};
    SkinRect repeatCountEditRect; // "EDIT" 3, child 10004
    SkinRect macroNameEditRect;   // "EDIT" 4, child 10000
    SkinRect macroListRect;       // "MACRODISPLAY" 1, child 10001
    SkinRect eventListRect;       // "MACRODISPLAY" 2, child 10002

    // The display name of a ButtonCode's table entry, empty outside 0..54.
    const std::string& functionName(int code) const;
};

// Reads key `number` (decimal, no leading zeros) of `section` with a 260-character buffer and splits
// it; "加载ini错误！" is shown through the notifier for a value with more than six commas. A missing
// file shows "找不到配置文件" and gives nothing. The second form reads an already loaded file.
std::optional<SkinEntry> ReadSkinEntry(const std::filesystem::path& file, std::string_view section, int number,
                                       UiNotifier& notifier);
SkinEntry ReadSkinEntry(const IniDocument& document, std::string_view section, int number, UiNotifier& notifier);

// Each loader reads its language's file completely and overwrites the previous contents of its
// layout (and of the function names or the control rectangles). A missing file shows
// "找不到配置文件" and leaves everything as it was; the caller must then close the main window.
SkinLoadResult LoadMainLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language, UiNotifier& notifier);
SkinLoadResult LoadColorLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                               UiNotifier& notifier);
SkinLoadResult LoadAdvancedLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                                  UiNotifier& notifier);
SkinLoadResult LoadWarningLayout(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                                 UiNotifier& notifier);

// The four loaders in their order (main, color, advanced, warning), stopping at the first missing
// file so that "找不到配置文件" is shown once.
SkinLoadResult LoadSkinDescriptions(SkinDescriptions& skin, const AppPaths& paths, UiLanguage language,
                                    UiNotifier& notifier);

} // namespace krv
