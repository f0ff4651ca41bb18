// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlSystem.h"
#include "settings/FileSystemCalls.h"
#include "settings/AppFolders.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "unit/RequireOk.h"

#include "unit/Environment.h"
#include "unit/TempDir.h"
#include "unit/app/AppFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

using namespace krv;
using krv::test::readFile;
using krv::test::writeFile;
namespace fs = std::filesystem;

namespace {

TEST(AppFolders, AWritableProgramFolderKeepsEverything) {
    test::AppFolder program;
    test::TempDir home;
    const AppPaths paths = ResolveAppPaths(program.paths().appDirectory, true, home / "krv-glyde");
    EXPECT_EQ(paths.configPath(), program / "config.ini");
    EXPECT_EQ(paths.skinDirectory(), program / "skins");
    EXPECT_FALSE(fs::exists(home / "krv-glyde"));
}

TEST(AppFolders, AnInstalledProgramKeepsTheUsersFilesInTheirOwnFolder) {
    test::AppFolder program;
    test::TempDir home;
    const fs::path own = home / "share" / "krv-glyde";
    const AppPaths paths = ResolveAppPaths(program.paths().appDirectory, false, own);
    EXPECT_EQ(paths.configPath(), own / "config.ini");
    EXPECT_EQ(paths.userMacroFile(UiLanguage::English), own / "Macro_EN.dat");
    EXPECT_EQ(paths.defaultMacroFile(UiLanguage::English), program / "skins/INI_EN/defMacro.dat");
    for (const fs::path& file : paths.userFiles())
        EXPECT_EQ(readFile(file), readFile(program / file.filename())) << file;

    // Later starts keep what the user saved, and bring back only what is missing.
    krv::test::requireOk(IniFile::writeString(own / "config.ini", "Init", "CurConfig", "4"));
    fs::remove(own / "Macro_CN.dat");
    ResolveAppPaths(program.paths().appDirectory, false, own);
    EXPECT_EQ(IniFile::readString(own / "config.ini", "Init", "CurConfig"), "4");
    EXPECT_EQ(readFile(own / "Macro_CN.dat"), readFile(program / "Macro_CN.dat"));
}

TEST(AppFolders, WithoutAUsableUserFolderTheProgramFolderServes) {
    test::AppFolder program;
    test::TempDir home;
    writeFile(home / "file", "not a folder");
    for (const fs::path& own : {fs::path(), home / "file" / "krv-glyde"}) {
        const AppPaths paths = ResolveAppPaths(program.paths().appDirectory, false, own);
        EXPECT_EQ(paths.configPath(), program / "config.ini") << own;
        EXPECT_EQ(paths.skinDirectory(), program / "skins") << own;
    }
}

using test::ScopedEnv;

// Where the shipped files are: beside the program when its folder holds skins/ (the build tree, a
// copied folder), else, for an installed program, in the data folder reached from its own.
TEST(AppFolders, TheShippedFilesAreBesideTheProgramOrInTheInstalledDataFolder) {
    test::AppFolder buildTree;
    EXPECT_EQ(ShippedDataFolder(buildTree.paths().appDirectory), buildTree.paths().appDirectory);
    test::TempDir empty;
    EXPECT_EQ(ShippedDataFolder(empty.path()), empty.path()); // nothing anywhere: the program's folder
#ifndef _WIN32
    test::TempDir prefix;
    fs::create_directories(prefix / "lib/krv-glyde");
    fs::create_directories(prefix / "share/krv-glyde/skins");
    EXPECT_EQ(ShippedDataFolder(prefix / "lib/krv-glyde"), prefix / "share/krv-glyde");
#endif
}

#ifndef _WIN32
// Installed as <prefix>/lib/krv-glyde with its shipped files in <prefix>/share/krv-glyde, the program
// reads the skins and the defaults there, and keeps the user's files in the user's folder (copied
// from the shipped ones), even when it could write beside itself; the shipped files stay as they are.
TEST(AppFolders, AnInstalledProgramReadsItsShippedFilesFromTheDataFolder) {
    test::TempDir prefix;
    const fs::path program = prefix / "lib/krv-glyde";
    const fs::path data = prefix / "share/krv-glyde";
    const fs::path shipped = KRV_SHIPPED_DATA_DIR;
    fs::create_directories(program);
    for (const char* rel :
         {"config.ini", "Macro_EN.dat", "Macro_CN.dat", "skins/INI_EN/defMacro.dat", "skins/INI_CN/defMacro.dat"}) {
        fs::create_directories((data / rel).parent_path());
        fs::copy_file(shipped / rel, data / rel);
    }
    const auto before = test::snapshotOf(data);
    ScopedEnv config("XDG_CONFIG_HOME", fsys::Utf8Of(prefix / "config"));
    ScopedEnv earlier("XDG_DATA_HOME", fsys::Utf8Of(prefix / "data"));

    const AppPaths paths = AppPathsForProgram(program);
    EXPECT_EQ(paths.configPath(), prefix / "config/krv-glyde/config.ini");
    EXPECT_EQ(readFile(paths.configPath()), readFile(data / "config.ini"));
    EXPECT_EQ(readFile(paths.userMacroFile(UiLanguage::Chinese)), readFile(data / "Macro_CN.dat"));
    EXPECT_EQ(paths.skinDirectory(), data / "skins");
    EXPECT_EQ(paths.defaultMacroFile(UiLanguage::English), data / "skins/INI_EN/defMacro.dat");
    EXPECT_EQ(paths.programDirectory, program); // where the tool looks for the companion

    std::ostringstream out, err;
    EXPECT_EQ(ctl::runCtl({"--simulate", "apply", "3"}, paths, out, err), 0) << err.str();
    EXPECT_EQ(IniFile::readString(paths.configPath(), "Init", "CurConfig"), "3");
    EXPECT_EQ(test::snapshotOf(data), before);
    EXPECT_TRUE(fs::is_empty(program));
}
#endif

#ifdef _WIN32
// On Windows the user's settings live in %APPDATA%\krv-glyde; no earlier version kept them elsewhere.
TEST(AppFolders, TheUsersFoldersFollowAppData) {
    struct Case {
        std::optional<std::string> appData;
        fs::path settings;
    };
    const std::vector<Case> cases{
        {"C:\\Users\\u\\AppData\\Roaming", "C:\\Users\\u\\AppData\\Roaming\\krv-glyde"},
        {"relative", ""}, // ignored
        {std::nullopt, ""},
    };
    for (const Case& c : cases) {
        ScopedEnv appData("APPDATA", c.appData);
        EXPECT_EQ(DefaultUserSettingsFolder(), c.settings) << c.appData.value_or("-");
        EXPECT_EQ(EarlierUserDataFolder(), fs::path()) << c.appData.value_or("-");
    }
}
#else
TEST(AppFolders, TheUsersFoldersFollowXdg) {
    struct Case {
        std::optional<std::string> xdg, home;
        fs::path settings, earlier;
    };
    const std::vector<Case> cases{
        {"/xdg", "/home/u", "/xdg/krv-glyde", "/xdg/krv-glyde"},
        {"relative", "/home/u", "/home/u/.config/krv-glyde", "/home/u/.local/share/krv-glyde"}, // ignored
        {std::nullopt, "/home/u", "/home/u/.config/krv-glyde", "/home/u/.local/share/krv-glyde"},
        {std::nullopt, std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        ScopedEnv config("XDG_CONFIG_HOME", c.xdg);
        ScopedEnv data("XDG_DATA_HOME", c.xdg);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(DefaultUserSettingsFolder(), c.settings) << c.xdg.value_or("-") << " " << c.home.value_or("-");
        EXPECT_EQ(EarlierUserDataFolder(), c.earlier) << c.xdg.value_or("-") << " " << c.home.value_or("-");
    }
}
#endif

// The user's files kept by an earlier version in ~/.local/share/krv-glyde move to the settings folder
// once; a file already in the settings folder is never replaced, and a missing one is seeded.
TEST(AppFolders, TheUsersFilesMoveOnceFromWhereEarlierVersionsKeptThem) {
    test::AppFolder program;
    test::TempDir home;
    const fs::path earlier = home / "share-krv-glyde";
    const fs::path settings = home / "config-krv-glyde";
    writeFile(earlier / "config.ini", "[Init]\r\nCurConfig=4\r\n");
    writeFile(earlier / "Macro_EN.dat", "[Macros]\r\nmacroNum=0\r\n");
    writeFile(settings / "Macro_EN.dat", "[Macros]\r\nmacroNum=1\r\n");
    const AppPaths paths = ResolveAppPaths(program.paths().appDirectory, false, settings, earlier);
    EXPECT_EQ(paths.appDirectory, settings);
    EXPECT_EQ(readFile(settings / "config.ini"), "[Init]\r\nCurConfig=4\r\n");
    EXPECT_FALSE(fs::exists(earlier / "config.ini"));
    EXPECT_EQ(readFile(settings / "Macro_EN.dat"), "[Macros]\r\nmacroNum=1\r\n"); // kept, not replaced
    EXPECT_TRUE(fs::exists(earlier / "Macro_EN.dat"));
    EXPECT_EQ(readFile(settings / "Macro_CN.dat"), readFile(program / "Macro_CN.dat")); // seeded
}

TEST(AppFolders, RestoringDefaultsReadsTheProgramsSkinsAndWritesTheUsersFiles) {
    test::AppFolder program;
    test::TempDir home;
    const fs::path own = home / "krv-glyde";
    const AppPaths paths = ResolveAppPaths(program.paths().appDirectory, false, own);
    krv::test::requireOk(IniFile::writeString(own / "config.ini", "Init", "VER_SEL", "1")); // English
    const std::string shippedConfig = readFile(program / "config.ini");

    const std::string shippedMacros = readFile(program / "Macro_EN.dat");
    auto run = [&](std::vector<std::string> args) {
        std::ostringstream out, err;
        EXPECT_EQ(ctl::runCtl(args, paths, out, err), 0) << err.str();
        return out.str();
    };
    run({"restore-defaults"});
    const std::string listed = run({"macro", "list"});
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 3) << listed; // the three default macros
    EXPECT_EQ(readFile(program / "config.ini"), shippedConfig);
    EXPECT_EQ(readFile(program / "Macro_EN.dat"), shippedMacros);
}

} // namespace

namespace {

// The command line is looked at before the user's files: help, the version and a wrong command line
// make no folder and copy nothing. A command finds them, and with --verbose says where.
TEST(AppFolders, TheToolLooksForTheUsersFilesOnlyForACommand) {
    test::AppFolder program;
    test::TempDir home;
    const fs::path own = home / "krv-glyde";
    struct Case {
        std::vector<std::string> args;
        bool resolved;
    };
    const std::vector<Case> cases{
        {{"--help"}, false},          {{"--version"}, false},   {{"help", "profile"}, false},
        {{"--no-such-option"}, false}, {{}, false},             {{"no-such-command"}, false},
        {{"-v", "profile", "show", "1"}, true},
    };
    for (const Case& c : cases) {
        int calls = 0;
        std::ostringstream out, err;
        ctl::runCtl(c.args, program.paths().appDirectory,
                    [&] {
                        ++calls;
                        return ResolveAppPaths(program.paths().appDirectory, false, own);
                    },
                    ctl::ThisSystem(), out, err);
        const std::string line = c.args.empty() ? "(nothing)" : c.args[0];
        EXPECT_EQ(calls, c.resolved ? 1 : 0) << line;
        EXPECT_EQ(fs::exists(own), c.resolved) << line;
        if (c.resolved) {
            EXPECT_NE(err.str().find("the user's files are in " + own.string()), std::string::npos) << err.str();
            EXPECT_NE(err.str().find("copied " + (program / "config.ini").string()), std::string::npos) << err.str();
        }
    }
}

#ifndef _WIN32
// Whose folder it is decides, not whether the user may write there: root may write anywhere, and
// an installed program's folder is the system's.
TEST(AppFolders, OnlyTheUsersOwnFolderKeepsTheFilesBesideTheProgram) {
    test::TempDir dir;
    EXPECT_TRUE(fsys::IsUsersOwnFolder(dir.path()));
    EXPECT_FALSE(fsys::IsUsersOwnFolder(dir / "missing"));
    if (::geteuid() != 0)
        GTEST_SKIP() << "the other cases need root";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    fs::create_directories(dir / "theirs");
    ASSERT_EQ(::chown((dir / "theirs").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    EXPECT_FALSE(fsys::IsUsersOwnFolder(dir / "theirs")); // root may write there, but it is not root's
    for (const char* system : {"/usr/lib", "/usr/bin", "/opt"}) {
        if (fs::is_directory(system)) {
            EXPECT_FALSE(fsys::IsUsersOwnFolder(system)) << system;
        }
    }
}
#endif

} // namespace
