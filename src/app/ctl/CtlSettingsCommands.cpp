// krv-glyde-ctl: profile show/import/export and restore-defaults.
#include "app/RestoreDefaults.h"
#include "app/ctl/CtlCommands.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include <filesystem>

namespace krv::ctl {

namespace {

constexpr int HighestShownProfile = AppliedProfileSection; // 1..5 and 6, the settings last sent

int profileShow(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() > 1)
        return ctx.fail("usage: profile show [N]");
    const auto config = ctx.paths.configPath();
    int n = ReadCurConfig(config);
    if (!args.empty()) {
        auto parsed = parseNumber(args[0], 1, HighestShownProfile);
        if (!parsed)
            return ctx.fail("bad profile number: " + args[0] + " (1 to 6)");
        n = *parsed;
    }
    ProfileSettings settings;
    LoadProfile(settings, config, n, false, ReadUiLanguage(config));
    for (const auto& [key, value] : ProfileKeyValues(settings.values()))
        ctx.out << key << '=' << value << '\n';
    return ExitOk;
}

int profileImport(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: profile import FILE");
    const std::filesystem::path file = args[0];
    if (!IniFile::exists(file))
        return ctx.fail("cannot read " + file.string());
    // A file without the exchange section would load a profile of zeros: refuse it.
    if (!IniFile::load(file).hasSection(ProfileSectionName(ExchangeProfileSection)))
        return ctx.fail(file.string() + " holds no profile (no section " + ProfileSectionName(ExchangeProfileSection) + ")");
    const auto config = ctx.paths.configPath();
    ProfileSettings settings;
    LoadProfile(settings, file, ExchangeProfileSection, false, ReadUiLanguage(config));
    if (!SaveProfile(settings, config, ReadCurConfig(config)))
        return ctx.fail("cannot write " + config.string());
    return ExitOk;
}

int profileExport(CtlContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1)
        return ctx.fail("usage: profile export FILE");
    const auto config = ctx.paths.configPath();
    ProfileSettings settings;
    LoadProfile(settings, config, ReadCurConfig(config), false, ReadUiLanguage(config));
    if (!SaveProfile(settings, args[0], ExchangeProfileSection))
        return ctx.fail("cannot write " + args[0]);
    return ExitOk;
}

int restoreDefaults(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: restore-defaults");
    const auto config = ctx.paths.configPath();
    const UiLanguage language = ReadUiLanguage(config);
    ProfileSettings settings;
    settings.CurConfig = ReadCurConfig(config);
    LoadProfile(settings, config, settings.CurConfig, false, language);
    MacroTable macros;
    macros.filePath = ctx.paths.userMacroFile(language);
    RestoreDefaults(settings, ctx.paths, language, macros, ctx.notifier, nullptr, nullptr);
    return ExitOk;
}

} // namespace

std::vector<CtlCommand> settingsCommands() {
    return {
        {{"profile", "show"}, "profile show [N]        print profile N (default: the current one), KEY=value", profileShow},
        {{"profile", "import"}, "profile import FILE     section Config7 of FILE into the current profile", profileImport},
        {{"profile", "export"}, "profile export FILE     the current profile into section Config7 of FILE", profileExport},
        {{"restore-defaults"}, "restore-defaults        factory profiles and the language's default macros", restoreDefaults},
    };
}

} // namespace krv::ctl
