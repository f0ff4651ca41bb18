// SPDX-License-Identifier: MIT
#include "macros/MacroCodes.h"

#include "settings/IniDocument.h"
#include "settings/IniFile.h"

#include <algorithm>
#include <string>

namespace krv {

ButtonCode CodeAfterMacroDeleted(ButtonCode code, int slot, int deleted, int countBefore) {
    const ButtonCode deletedCode = FirstMacroCode + deleted;
    const ButtonCode endCode = FirstMacroCode + countBefore; // first code past the table
    if (code == deletedCode && slot >= 1 && slot <= ButtonSlotCount)
        return FactoryProfile().buttonCodes[static_cast<std::size_t>(slot - 1)];
    if (code > deletedCode && code < endCode)
        return code - 1;
    return code;
}

MacroDeletionOutcome RenumberAfterMacroDeleted(ProfileSettings& settings, const std::filesystem::path& configPath,
                                               int deleted, int countBefore) {
    MacroDeletionOutcome outcome;
    auto noteReset = [&](int profile, int slot, ButtonCode code) {
        const ResetButton reset{profile, slot, code};
        if (std::find(outcome.reset.begin(), outcome.reset.end(), reset) == outcome.reset.end())
            outcome.reset.push_back(reset);
    };
    const ButtonCode deletedCode = FirstMacroCode + deleted;

    std::vector<ResetButton> resetInFile;
    outcome.saved = IniFile::update(configPath, [&](IniDocument& doc) {
        resetInFile.clear();
        for (int n = 1; n <= AppliedProfileSection; ++n) {
            const std::string section = ProfileSectionName(n);
            if (!doc.hasSection(section))
                continue;
            const ProfileValues values = ReadProfileValues(doc, n, false, UiLanguage::English);
            for (int slot = 1; slot <= ButtonSlotCount; ++slot) {
                const ButtonCode before = values.buttonCodes[static_cast<std::size_t>(slot - 1)];
                const ButtonCode after = CodeAfterMacroDeleted(before, slot, deleted, countBefore);
                if (after == before)
                    continue;
                doc.write(section, "K" + std::to_string(slot), std::to_string(after));
                // The applied snapshot repeats a profile: its buttons are named under that profile.
                if (before == deletedCode && n <= ProfileCount)
                    resetInFile.push_back({n, slot, after});
            }
        }
        return FileStatus::success();
    });
    if (outcome.saved)
        for (const ResetButton& r : resetInFile)
            noteReset(r.profile, r.slot, r.code);

    const int current = settings.currentProfile.load(std::memory_order_relaxed);
    for (int slot = 1; slot <= ButtonSlotCount; ++slot) {
        std::atomic<ButtonCode>& code = settings.buttonCodes[static_cast<std::size_t>(slot - 1)];
        const ButtonCode before = code.load(std::memory_order_relaxed);
        const ButtonCode after = CodeAfterMacroDeleted(before, slot, deleted, countBefore);
        code.store(after, std::memory_order_relaxed);
        if (before == deletedCode && current >= 1 && current <= ProfileCount)
            noteReset(current, slot, after);
    }
    std::sort(outcome.reset.begin(), outcome.reset.end(), [](const ResetButton& a, const ResetButton& b) {
        return a.profile != b.profile ? a.profile < b.profile : a.slot < b.slot;
    });
    return outcome;
}

} // namespace krv
