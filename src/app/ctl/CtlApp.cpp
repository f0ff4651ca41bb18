#include "app/ctl/CtlApp.h"

#include "app/ctl/CtlDeviceCommands.h"

#include "settings/ProfileSettings.h"

#include <ostream>

namespace krv::ctl {

int runCtl(const std::vector<std::string>& args, const std::string& executableDir, std::ostream& out, std::ostream& err) {
    AppPaths paths{executableDir};
    if (auto status = runDeviceCommand(args, executableDir, out, err))
        return *status;
    if (args.size() >= 2 && args[0] == "profile" && args[1] == "show") {
        ProfileSettings settings;
        const int n = ReadCurConfig(paths.configPath());
        LoadProfile(settings, paths.configPath(), n, false, ReadUiLanguage(paths.configPath()));
        for (const auto& [key, value] : ProfileKeyValues(settings.values()))
            out << key << '=' << value << '\n';
        return 0;
    }
    err << "krv-glyde-ctl: unknown command\n";
    return 2;
}

} // namespace krv::ctl
