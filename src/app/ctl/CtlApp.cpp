// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"

#include "app/ctl/CtlCommands.h"
#include "app/ctl/CtlDeviceCommands.h"
#include "app/ctl/CtlSystem.h"
#include "settings/FileSystemCalls.h"
#include "log/Log.h"
#include "settings/ProfileSettings.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>

namespace krv::ctl {

const AppPaths& CtlContext::paths() const {
    if (!foundPaths)
        foundPaths = findPaths();
    return *foundPaths;
}

int CtlContext::fail(const std::string& text) const {
    err << "krv-glyde-ctl: " << text << '\n';
    return ExitError;
}

std::optional<int> CtlContext::currentProfile(const IniDocument& config) const {
    const std::optional<std::string> text = config.value("Init", "CurConfig");
    const int n = ReadCurConfig(config);
    if (text && n >= 1 && n <= ProfileCount)
        return n;
    const std::string file = fsys::Utf8Of(paths().configPath());
    fail(text ? "\"CurConfig\" of " + file + " is \"" + *text + "\", not a profile number (1 to 5)"
              : "no \"CurConfig\" in " + file + ": give the profile number");
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
    for (auto group : {settingsCommands(), macroCommands(), deviceCommands(), autostartCommands(), appProfileCommands()})
        commands.insert(commands.end(), group.begin(), group.end());
    return commands;
}

// A group is the first word of commands of two words ("profile", "macro", "autostart").
bool isGroup(const std::string& word) {
    const auto commands = allCommands();
    return std::any_of(commands.begin(), commands.end(),
                       [&](const CtlCommand& c) { return c.words.size() > 1 && c.words[0] == word; });
}

void printUsage(std::ostream& out, const CtlSystem& system, const std::string& group = {}) {
    out << "usage: krv-glyde-ctl [OPTIONS] " << (group.empty() ? "COMMAND" : group + " COMMAND") << " [ARGS]\n";
    if (group.empty())
        out << "options (anywhere on the line; -- ends them):\n"
               "  --dir DIR, --dir=DIR  the folder of config.ini, the macro files and skins/ (default: this\n"
               "                        program's; installed where you cannot write, your files are kept in\n"
               "                        "
            << system.userSettingsFolder
            << ")\n"
               "  --simulate            use the simulated mouse instead of the real one\n"
               "  -v, --verbose         say on standard error what the tool does (the device, the apply,\n"
               "                        the files)\n"
               "  -h, --help            this help; with a command group, the group's commands\n"
               "  -V, --version         the program's version\n";
    out << "commands:\n";
    for (const CtlCommand& command : allCommands())
        if (group.empty() || command.words[0] == group)
            out << "  " << command.usage << '\n';
    if (group.empty())
        out << "exit status: 0 success, 1 the mouse is not found, 2 a usage or file error\n";
}

// The command line split into options and words.
struct CommandLine {
    std::vector<std::string> words;
    std::optional<std::filesystem::path> dir;
    bool simulate = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
    std::string error; // the first option that is not understood
};

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            line.words.insert(line.words.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (a.size() < 2 || a[0] != '-') {
            line.words.push_back(a);
        } else if (a == "--dir") {
            if (i + 1 >= args.size()) {
                line.error = "option --dir needs a folder";
                break;
            }
            line.dir = fsys::PathFromUtf8(args[++i]);
        } else if (a.rfind("--dir=", 0) == 0) {
            line.dir = fsys::PathFromUtf8(a.substr(6));
        } else if (a == "--simulate") {
            line.simulate = true;
        } else if (a == "-v" || a == "--verbose") {
            line.verbose = true;
        } else if (a == "-h" || a == "--help") {
            line.help = true;
        } else if (a == "-V" || a == "--version") {
            line.version = true;
        } else if (line.error.empty()) {
            line.error = "unknown option " + a + " (see krv-glyde-ctl --help)";
        }
    }
    return line;
}

} // namespace

int runCtl(const std::vector<std::string>& args, const AppPaths& programPaths, const CtlSystem& system,
           std::ostream& out, std::ostream& err) {
    const std::filesystem::path programFolder =
        programPaths.programDirectory.empty() ? programPaths.appDirectory : programPaths.programDirectory;
    return runCtl(args, programFolder, [&] { return programPaths; }, system, out, err);
}

int runCtl(const std::vector<std::string>& args, const std::filesystem::path& programFolder,
           const std::function<AppPaths()>& resolvePaths, const CtlSystem& system, std::ostream& out,
           std::ostream& err) {
    StreamNotifier notifier(err);
    // Only a command that reads or writes the user's files looks for them (which may make their
    // folder and copy the shipped files there, said with --verbose).
    CtlContext ctx{resolvePaths, false, out, err, notifier, programFolder, system, std::nullopt};

    CommandLine line = parseCommandLine(args);
    StreamLog log(err, "krv-glyde-ctl", line.verbose);
    const ScopedLogSink logToErr(log);
    if (!line.error.empty())
        return ctx.fail(line.error);
    if (line.version) {
        out << "krv-glyde-ctl " << KRV_VERSION << '\n';
        return ExitOk;
    }
    if (!line.words.empty() && line.words[0] == "help") {
        line.help = true;
        line.words.erase(line.words.begin());
    }
    if (line.help) {
        printUsage(out, system, !line.words.empty() && isGroup(line.words[0]) ? line.words[0] : std::string{});
        return ExitOk;
    }
    if (line.words.empty()) {
        printUsage(err, system);
        return ExitError;
    }
    ctx.simulate = line.simulate;
    if (line.dir) {
        if (std::error_code ec; !std::filesystem::is_directory(*line.dir, ec))
            return ctx.fail(fsys::Utf8Of(*line.dir) + ": no such folder");
        ctx.findPaths = [dir = *line.dir] { return AppPaths{dir}; };
    }

    const std::vector<std::string>& rest = line.words;
    const std::vector<CtlCommand> commands = allCommands();
    const CtlCommand* best = nullptr;
    for (const CtlCommand& command : commands) {
        const auto& words = command.words;
        if (words.size() <= rest.size() && std::equal(words.begin(), words.end(), rest.begin()) &&
            (!best || words.size() > best->words.size()))
            best = &command;
    }
    if (!best) {
        if (isGroup(rest[0])) {
            std::string names;
            for (const CtlCommand& command : commands)
                if (command.words.size() > 1 && command.words[0] == rest[0])
                    names += (names.empty() ? "" : "|") + command.words[1];
            return ctx.fail("missing command: " + rest[0] + " " + names + " (see krv-glyde-ctl " + rest[0] + " --help)");
        }
        std::string text;
        for (const auto& word : rest)
            text += (text.empty() ? "" : " ") + word;
        return ctx.fail("unknown command: " + text + " (see krv-glyde-ctl --help)");
    }
    const std::vector<std::string> commandArgs(rest.begin() + static_cast<std::ptrdiff_t>(best->words.size()), rest.end());
    return best->run(ctx, commandArgs);
}

} // namespace krv::ctl
