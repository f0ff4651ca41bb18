// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/ButtonCode.h"
#include "settings/FileStatus.h"
#include "settings/ProfileSettings.h"

#include <atomic>
#include <filesystem>
#include <vector>

namespace krv {

// A button code names a macro by its place in the table (code 41 + i plays macro i), so deleting a
// macro moves the macros after it one place down. These keep every button on the macro it played.

// A button that played the deleted macro and now has its slot's factory function.
struct ResetButton {
    int profile = 0; // 1..5
    int slot = 0;    // 1..8
    ButtonCode code = 0;
    bool operator==(const ResetButton&) const = default;
};

// The code a button of `slot` holds once macro `deleted` of the `countBefore` macros has gone: the
// code of a later macro moves down with it; the deleted macro's own code becomes the slot's factory
// function (the program's built-in factory values: left, right and middle click, the side buttons and
// the DPI steps), which every profile shares and which the mouse performs or the DPI steps serve;
// every other code (functions, codes of macros that do not exist) stays as it is.
ButtonCode CodeAfterMacroDeleted(ButtonCode code, int slot, int deleted, int countBefore);

struct MacroDeletionOutcome {
    FileStatus saved = FileStatus::success(); // whether the profile file took the change
    std::vector<ResetButton> reset;  // in profile and slot order, each button once
};

// Changes the button codes of "Config1" .. "Config6" (the applied snapshot too) of the profile file
// in one read-change-replace under the file's lock, writing only the K keys that change, and those
// of the profile in memory (shown in the window, maybe with unsaved edits). Sections the file does
// not have stay absent. A file that cannot be read or written fails and is left as it was; the
// profile in memory is renumbered all the same, since the table in memory has changed.
MacroDeletionOutcome RenumberAfterMacroDeleted(ProfileSettings& settings, const std::filesystem::path& configPath,
                                               int deleted, int countBefore);

} // namespace krv
