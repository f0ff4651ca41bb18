#include "app/RestoreDefaults.h"

#include "settings/IniFile.h"

namespace krv {

void RestoreDefaults(ProfileSettings& settings, const AppPaths& paths, UiLanguage language, MacroTable& macros,
                     UiNotifier& notifier, const std::function<void()>& refillMacroList,
                     const std::function<void()>& applyProfile) {
    const auto config = paths.configPath();

    ProfileValues factory = FactoryProfile();
    factory.MACRO_MODE2 = settings.MACRO_MODE2.load(std::memory_order_relaxed);
    settings.setValues(factory);
    SaveProfile(settings, config, 1);

    for (int n = ProfileCount; n >= 2; --n) {
        LoadProfile(settings, config, n, true, language);
        SaveProfile(settings, config, n);
    }
    LoadProfile(settings, config, settings.CurConfig.load(std::memory_order_relaxed), false, language);

    const auto defaults = paths.defaultMacroFile(language);
    if (IniFile::exists(defaults)) {
        LoadMacroFile(macros, defaults, notifier);
        if (refillMacroList)
            refillMacroList();
        SaveMacroFile(macros, paths.userMacroFile(language));
    } else {
        // Without the shipped defaults there is nothing to restore: the user's macros stay as they are.
        notifier.showMessage(Messages::DataFileMissing);
    }

    if (applyProfile)
        applyProfile();
}

} // namespace krv
