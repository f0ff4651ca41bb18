#include "app/ctl/CtlApp.h"

#include "app/ctl/CtlCommands.h"
#include "app/ctl/CtlDeviceCommands.h"
#include "settings/ProfileSettings.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace krv::ctl {

int CtlContext::fail(const std::string& text) const {
    err << "krv-glyde-ctl: " << text << '\n';
    return ExitError;
}

std::optional<int> CtlContext::currentProfile(const IniDocument& config) const {
    const std::optional<std::string> text = config.value("Init", "CurConfig");
    const int n = ReadCurConfig(config);
    if (text && n >= 1 && n <= ProfileCount)
        return n;
    fail(text ? "\"CurConfig\" of " + paths.configPath().string() + " is \"" + *text + "\", not a profile number (1 to 5)"
              : "no \"CurConfig\" in " + paths.configPath().string() + ": give the profile number");
    return std::nullopt;
}

std::optional<int> parseNumber(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int value = std::stoi(text);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

namespace {

std::vector<CtlCommand> allCommands() {
    std::vector<CtlCommand> commands;
    for (auto group : {settingsCommands(), macroCommands(), deviceCommands()})
        commands.insert(commands.end(), group.begin(), group.end());
    return commands;
}

void printUsage(std::ostream& out) {
    out << "usage: krv-glyde-ctl [--dir DIR] [--simulate] COMMAND [ARGS]\n"
           "       krv-glyde-ctl -V|--version\n"
           "  --dir DIR     the folder of config.ini, the macro files and skins/ (default: this program's;\n"
           "                installed where you cannot write, it keeps your files in ~/.local/share/krv-glyde)\n"
           "  --simulate    use the simulated mouse instead of the real one\n"
           "commands:\n";
    for (const CtlCommand& command : allCommands())
        out << "  " << command.usage << '\n';
}

} // namespace

int runCtl(const std::vector<std::string>& args, const AppPaths& programPaths, std::ostream& out, std::ostream& err) {
    StreamNotifier notifier(err);
    CtlContext ctx{programPaths, false, out, err, notifier};

    std::size_t next = 0;
    while (next < args.size() && args[next].rfind("--", 0) == 0) {
        if (args[next] == "--dir" && next + 1 < args.size()) {
            ctx.paths = AppPaths{args[next + 1]};
            next += 2;
        } else if (args[next] == "--simulate") {
            ctx.simulate = true;
            ++next;
        } else if (args[next] == "--version" || args[next] == "-V") {
            out << "krv-glyde-ctl " KRV_VERSION "\n";
            return ExitOk;
        } else if (args[next] == "--help") {
            printUsage(out);
            return ExitOk;
        } else {
            return ctx.fail("unknown option " + args[next] + " (see krv-glyde-ctl help)");
        }
    }
    if (std::error_code ec; !std::filesystem::is_directory(ctx.paths.appDirectory, ec))
        return ctx.fail(ctx.paths.appDirectory.string() + ": no such folder");
    const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());
    if (rest.empty() || rest[0] == "help") {
        printUsage(rest.empty() ? err : out);
        return rest.empty() ? ExitError : ExitOk;
    }

    const std::vector<CtlCommand> commands = allCommands();
    const CtlCommand* best = nullptr;
    for (const CtlCommand& command : commands) {
        const auto& words = command.words;
        if (words.size() <= rest.size() && std::equal(words.begin(), words.end(), rest.begin()) &&
            (!best || words.size() > best->words.size()))
            best = &command;
    }
    if (!best) {
        std::string line;
        for (const auto& word : rest)
            line += (line.empty() ? "" : " ") + word;
        return ctx.fail("unknown command: " + line + " (see krv-glyde-ctl help)");
    }
    const std::vector<std::string> commandArgs(rest.begin() + static_cast<std::ptrdiff_t>(best->words.size()), rest.end());
    return best->run(ctx, commandArgs);
}

} // namespace krv::ctl
