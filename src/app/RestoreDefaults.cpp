// SPDX-License-Identifier: MIT
#include "app/RestoreDefaults.h"

#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"

namespace krv {

FileStatus RestoreDefaults(ProfileSettings& settings, const AppPaths& paths, UiLanguage language, MacroTable& macros,
                           UiNotifier& notifier, const std::function<void()>& refillMacroList,
                           const std::function<void()>& applyProfile) {
    const auto config = paths.configPath();
    auto refuse = [&](const FileStatus& status) {
        notifier.showMessage(Messages::DefaultsNotRestored(language, status.message()));
        return status;
    };

    MacroTable defaults;
    if (FileStatus found = LoadMacroSource(defaults, paths.defaultMacroFile(language)); !found)
        return refuse(found);

    ProfileValues profileOne = FactoryProfile();
    profileOne.macroPlaybackMode = settings.macroPlaybackMode.load(std::memory_order_relaxed);
    const int current = settings.currentProfile.load(std::memory_order_relaxed);
    ProfileValues currentValues;
    const auto macroFile = paths.userMacroFile(language);
    bool profilesRestored = false;
    // Both replacements are written and flushed before either is put in place.
    FileStatus written = IniFile::updateBoth(
        config,
        [&](IniDocument& doc) {
            for (int n = 2; n <= ProfileCount; ++n) {
                const std::string factory = ProfileSectionName(n, true, language);
                if (!doc.hasSection(factory))
                    return FileStatus::failure(fsys::Utf8Of(config) + ": the factory section \"" + factory +
                                               "\" is missing");
            }
            WriteProfileValues(doc, profileOne, 1);
            for (int n = ProfileCount; n >= 2; --n)
                WriteProfileValues(doc, ReadProfileValues(doc, n, true, language), n);
            currentValues = ReadProfileValues(doc, current, false, language);
            return FileStatus::success();
        },
        macroFile,
        [&](IniDocument& doc) {
            WriteMacroDocument(defaults, doc);
            return FileStatus::success();
        },
        profilesRestored);
    if (profilesRestored)
        settings.setValues(currentValues);
    if (!written) {
        if (!profilesRestored)
            return refuse(written);
        notifier.showMessage(Messages::DefaultsHalfRestored(language, fsys::Utf8Of(config), fsys::Utf8Of(macroFile),
                                                            written.message()));
        return written;
    }

    macros.modify([&](MacroTable::Records& records, std::int16_t& count) {
        defaults.inspect([&](const MacroTable::Records& restored, std::int16_t restoredCount) {
            records = restored;
            count = restoredCount;
        });
    });
    macros.current = defaults.current;
    if (refillMacroList)
        refillMacroList();

    if (applyProfile)
        applyProfile();
    return FileStatus::success();
}

} // namespace krv
