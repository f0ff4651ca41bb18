// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"
#include "unit/RequireOk.h"
#include "settings/IniFile.h"

#include "unit/Environment.h"
#include "unit/TempDir.h"
#include "unit/app/AppFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <unistd.h>
#endif
#include <sstream>

using namespace krv;
using krv::test::AppFolder;
using krv::test::readFile;
using krv::test::writeFile;

namespace {

struct CtlRun {
    int status;
    std::string out;
    std::string err;
};

CtlRun ctl(const AppFolder& folder, std::vector<std::string> args) {
    std::ostringstream out, err;
    int status = ctl::runCtl(args, folder.paths(), out, err);
    return {status, out.str(), err.str()};
}

TEST(Ctl, ProfileShowPrintsTheStoredFieldsInSaveOrder) {
    AppFolder folder;
    CtlRun run = ctl(folder, {"profile", "show", "1"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "K1=1\nK2=2\nK3=3\nK4=5\nK5=4\nK6=18\nK7=17\nK8=13\nDPI_LEVEL=0\nWHEEL_STATUS=0\n"
                       "MACRO_MODE2=0\nDPI_SET1=1\nDPI_SET_EN1=1\nDPI_SET2=2\nDPI_SET_EN2=1\nDPI_SET3=3\n"
                       "DPI_SET_EN3=1\nDPI_SET4=0\nDPI_SET_EN4=1\nLED_STATUS=0\nDPI_SPEED=5\nWHEEL_SPEED=2\nFIRE_TIME=50\n");
    EXPECT_TRUE(run.err.empty());
    // Without N: the current profile of "CurConfig".
    krv::test::requireOk(IniFile::writeString(folder / "config.ini", "Init", "CurConfig", "3"));
    EXPECT_EQ(ctl(folder, {"profile", "show"}).out, ctl(folder, {"profile", "show", "3"}).out);
}

TEST(Ctl, ErrorsAreOneLineAndStatusTwo) {
    AppFolder folder;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"profile", "show", "0"},
        {"profile", "show", "7"},
        {"profile", "show", "1x"},
        {"profile", "import", (folder / "missing.ini").string()},
        {"macro", "show", "-1"},
        {"macro", "show", "5"},
        {"macro", "import", (folder / "missing.dat").string()},
        {"--bogus", "profile", "show"},
    };
    for (const auto& args : bad) {
        CtlRun run = ctl(folder, args);
        EXPECT_EQ(run.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(run.err.empty());
    }
}

TEST(Ctl, ProfileExportThenImportMovesAProfile) {
    AppFolder folder;
    const auto exchange = folder / "exchange.ini";
    krv::test::requireOk(IniFile::writeString(folder / "config.ini", "Init", "CurConfig", "2"));
    ASSERT_EQ(ctl(folder, {"profile", "export", exchange.string()}).status, 0);
    EXPECT_EQ(IniFile::readString(exchange, "Config7", "K6"), "6");
krv::test::requireOk(
    IniFile::writeString(folder / "config.ini", "Init", "CurConfig", "3"));
    const std::string before = ctl(folder, {"profile", "show", "2"}).out;
    ASSERT_EQ(ctl(folder, {"profile", "import", exchange.string()}).status, 0);
    EXPECT_EQ(ctl(folder, {"profile", "show", "3"}).out, before);

    krv::test::writeFile(folder / "noprofile.ini", "[Other]\nK1=5\n");
    CtlRun refused = ctl(folder, {"profile", "import", (folder / "noprofile.ini").string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(ctl(folder, {"profile", "show", "3"}).out, before);
}

TEST(Ctl, ProfileImportRefusesAFileWithoutAWholeProfile) {
    struct Case {
        const char* name;
        std::string text;
        std::string said; // part of the message
    };
    std::string whole = "[Config7]\n";
    for (const char* key : {"K1", "K2", "K3", "K4", "K5", "K6", "K7", "K8", "DPI_LEVEL", "WHEEL_STATUS", "MACRO_MODE2",
                            "DPI_SET1", "DPI_SET_EN1", "DPI_SET2", "DPI_SET_EN2", "DPI_SET3", "DPI_SET_EN3", "DPI_SET4",
                            "DPI_SET_EN4", "LED_STATUS", "DPI_SPEED", "WHEEL_SPEED"})
        whole += std::string(key) + "=1\n";
    const std::vector<Case> cases = {
        {"empty section", "[Config7]\n", "has no number for K1"},
        {"partial", "[Config7]\nK1=1\nK2=2\n", "has no number for K3"},
        {"empty value", whole + "FIRE_TIME=\n", "has no number for FIRE_TIME"},
        {"not a number", whole + "FIRE_TIME=abc\n", "has no number for FIRE_TIME"},
        {"no section", "[Other]\nK1=5\n", "no section Config7"},
    };
    for (const Case& c : cases) {
        AppFolder folder;
        const auto exchange = folder / "exchange.ini";
        krv::test::writeFile(exchange, c.text);
        const auto before = folder.snapshot();
        CtlRun run = ctl(folder, {"profile", "import", exchange.string(), "2"});
        EXPECT_EQ(run.status, 2) << c.name;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(folder.snapshot(), before) << c.name;
    }
    AppFolder folder;
    krv::test::writeFile(folder / "whole.ini", whole + "FIRE_TIME=7\n");
    ASSERT_EQ(ctl(folder, {"profile", "import", (folder / "whole.ini").string(), "2"}).status, 0);
    EXPECT_EQ(IniFile::readString(folder / "config.ini", "Config2", "FIRE_TIME"), "7");
}

// A profile config.ini does not hold is neither shown nor exported as a profile of zeros.
TEST(Ctl, AProfileMissingFromTheFileIsSaidNotShownOrExported) {
    AppFolder folder;
    krv::test::writeFile(folder / "config.ini", "[Init]\nCurConfig=3\n[Config1]\nK1=1\n");
    const auto before = folder.snapshot();
    const std::string exported = (folder.temp() / "out.ini").string();
    struct Case {
        std::vector<std::string> args;
        const char* missing;
    };
    for (const Case& c : {Case{{"profile", "show", "4"}, "4"}, Case{{"profile", "show", "6"}, "6"},
                          Case{{"profile", "show"}, "3"}, Case{{"profile", "export", exported, "4"}, "4"},
                          Case{{"profile", "export", exported}, "3"}}) {
        CtlRun run = ctl(folder, c.args);
        EXPECT_EQ(run.status, 2) << c.args[1];
        EXPECT_TRUE(run.out.empty());
        EXPECT_NE(run.err.find(std::string("profile ") + c.missing + " is missing"), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(exported));
    }
    EXPECT_EQ(ctl(folder, {"profile", "show", "1"}).status, 0);
    EXPECT_EQ(folder.snapshot(), before);
}

TEST(Ctl, MacroCommandsUseTheLanguagesFile) {
    AppFolder folder;
    const std::string chinese = readFile(folder / "Macro_CN.dat");
    // The shipped user file holds the default macros.
    CtlRun list = ctl(folder, {"macro", "list"});
    EXPECT_EQ(list.out, "0\tReload\t2\t0\t1\n1\tBurst Fire x3\t6\t1\t2\n2\tCopy then Paste\t8\t0\t1\n");
    EXPECT_EQ(ctl(folder, {"macro", "show", "0"}).out, "82 1 40\n82 2 30\n");

    const auto copy = folder / "copy.dat";
    ASSERT_EQ(ctl(folder, {"macro", "export", copy.string()}).status, 0);
    EXPECT_EQ(readFile(copy), readFile(folder / "Macro_EN.dat"));

    writeFile(folder / "none.dat", "[Macros]\r\nmacroNum=0\r\n");
    ASSERT_EQ(ctl(folder, {"macro", "import", (folder / "none.dat").string()}).status, 0);
    EXPECT_EQ(ctl(folder, {"macro", "list"}).out, "");
krv::test::requireOk(
    IniFile::writeString(folder / "config.ini", "Init", "VER_SEL", "0"));
    EXPECT_EQ(ctl(folder, {"macro", "list"}).out.substr(0, 2), "0\t"); // Chinese: Macro_CN.dat, untouched
    EXPECT_EQ(readFile(folder / "Macro_CN.dat"), chinese);
}

// A macro file that does not say plainly how many macros it holds, or lacks one it counts, would
// empty or shorten the user's table: the import is refused and every file stays as it was.
TEST(Ctl, MacroImportRefusesAnUnusableFile) {
    struct Case {
        const char* name;
        std::string text;
        std::string said; // part of the message
    };
    const std::vector<Case> cases = {
        {"empty count", "[Macros]\nmacroNum=\n", "\"macroNum\" is \"\""},
        {"letters", "[Macros]\nmacroNum=abc\n", "\"macroNum\" is \"abc\""},
        {"digits then letters", "[Macros]\nmacroNum=2x\n", "not a count from 0 to 12"},
        {"negative", "[Macros]\nmacroNum=-1\n", "not a count from 0 to 12"},
        {"beyond the table", "[Macros]\nmacroNum=13\n", "not a count from 0 to 12"},
        {"no count", "[Macros]\n0=001\n", "no \"macroNum\""},
        {"record missing", "[Macros]\nmacroNum=2\n0=001\n", "macro 1 is missing"},
        {"record empty", "[Macros]\nmacroNum=1\n0=\n", "macro 0 is missing"},
        {"empty file", "", "no \"macroNum\""},
    };
    for (const Case& c : cases) {
        AppFolder folder;
        const auto exchange = folder / "exchange.dat";
        writeFile(exchange, c.text);
        const auto before = folder.snapshot();
        CtlRun run = ctl(folder, {"macro", "import", exchange.string()});
        EXPECT_EQ(run.status, 2) << c.name;
        EXPECT_TRUE(run.out.empty()) << c.name;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << ": " << run.err;
        EXPECT_EQ(folder.snapshot(), before) << c.name;
    }
}

TEST(Ctl, RestoreDefaultsRewritesProfilesAndMacros) {
    AppFolder folder;
    const auto config = folder / "config.ini";
    krv::test::requireOk(IniFile::writeString(config, "Config1", "K1", "40"));
    krv::test::requireOk(IniFile::writeString(config, "Config5", "K8", "2"));
    ASSERT_EQ(ctl(folder, {"restore-defaults"}).status, 0);
    EXPECT_EQ(IniFile::readString(config, "Config1", "K1"), "1");
    auto doc = IniFile::load(config);
    // English mode: profile 5 comes from CfgReset_EN5.
    EXPECT_EQ(doc.value("Config5", "K7"), doc.value("CfgReset_EN5", "K7"));
    EXPECT_EQ(ctl(folder, {"macro", "list"}).out.substr(0, 9), "0\tReload\t");
}

} // namespace

namespace {

// The command line as Linux tools take it: options anywhere and in both spellings, help for the tool
// and for each group, the version, and a clear status for each mistake.
TEST(Ctl, CommandLineConventions) {
    AppFolder folder;
    const std::string dir = folder.paths().appDirectory.string();
    const std::string shown = ctl(folder, {"profile", "show", "1"}).out;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out; // part of standard output
        std::string err; // part of standard error
    };
    const std::vector<Case> cases{
        {{"--version"}, 0, std::string("krv-glyde-ctl ") + KRV_VERSION + "\n", ""},
        {{"-V"}, 0, std::string("krv-glyde-ctl ") + KRV_VERSION + "\n", ""},
        {{"-h"}, 0, "exit status: 0 success, 1 the mouse is not found, 2 a usage or file error", ""},
        {{"--help"}, 0, "autostart on", ""},
        {{"profile", "--help"}, 0, "profile export FILE [N]", ""},
        {{"help", "macro"}, 0, "macro import FILE", ""},
        {{"profile"}, 2, "", "missing command: profile show|import|export"},
        {{"--dir=" + dir, "profile", "show", "1"}, 0, shown, ""},
        {{"profile", "show", "1", "--dir", dir}, 0, shown, ""},
        {{"profile", "show", "--dir=" + dir, "1"}, 0, shown, ""},
        {{"status", "--simulate"}, 0, "mouse found", ""},
        {{"apply", "1", "--simulate"}, 0, "07 10 01 01", ""},
        {{"profile", "show", "--dir"}, 2, "", "option --dir needs a folder"},
        {{"--dir=" + dir + "/nowhere", "profile", "show"}, 2, "", "no such folder"},
        {{"profile", "show", "-x"}, 2, "", "unknown option -x"},
        {{"frobnicate"}, 2, "", "unknown command: frobnicate"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const auto& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        const CtlRun run = ctl(folder, c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        if (c.status == 2) {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
    }
}

// `autostart on` writes the desktop's autostart entry that starts the companion in the tray; `off`
// removes it; `status` tells which.
TEST(Ctl, AutostartWritesAndRemovesTheEntry) {
#ifdef _WIN32
    GTEST_SKIP() << "the autostart entry is a Linux desktop's (XDG autostart)";
#endif
    AppFolder folder;
    krv::test::TempDir config;
    krv::test::ScopedEnv configHome("XDG_CONFIG_HOME", config.path().string());
    const auto entry = config / "autostart/krv-glyde.desktop";

    EXPECT_EQ(ctl(folder, {"autostart", "on"}).status, 2); // no companion beside the tool
    EXPECT_FALSE(std::filesystem::exists(entry));
    writeFile(folder / "krv-glyde", "");
    EXPECT_EQ(ctl(folder, {"autostart", "status"}).out, "off\n");
    const CtlRun on = ctl(folder, {"autostart", "on"});
    EXPECT_EQ(on.status, 0) << on.err;
    const std::string text = readFile(entry);
    EXPECT_NE(text.find("[Desktop Entry]\nType=Application\n"), std::string::npos) << text;
    EXPECT_EQ(ctl(folder, {"autostart", "status"}).out, "on " + entry.string() + "\n");
    EXPECT_EQ(ctl(folder, {"autostart", "off"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(ctl(folder, {"autostart", "status"}).out, "off\n");
}

// The entry names the companion as the login session will find it: by the command name where $PATH
// leads to it (an installed program), so that an uninstalled one leaves an entry the desktop skips;
// otherwise (a build tree, a copy) by its path, quoted as desktop entries quote, which TryExec checks
// the same way.
TEST(Ctl, AutostartEntryNamesTheCompanionAsTheLoginFindsIt) {
#ifdef _WIN32
    GTEST_SKIP() << "the autostart entry is a Linux desktop's (XDG autostart)";
#endif
    krv::test::TempDir config;
    krv::test::ScopedEnv configHome("XDG_CONFIG_HOME", config.path().string());
    krv::test::TempDir programs;
    const std::string plain = (programs / "bin").string();
    const std::string odd = (programs / "my \"krv\" $dir 100%").string();
    struct Case {
        const char* name;
        std::string folder;
        bool onPath;
        std::string tryExec;
        std::string exec;
    };
    const std::vector<Case> cases{
        {"reached by $PATH", plain, true, "krv-glyde", "krv-glyde"},
        {"not on $PATH", plain, false, plain + "/krv-glyde", plain + "/krv-glyde"},
        {"in a folder named with blanks, quotes, a dollar and a percent sign", odd, false, odd + "/krv-glyde",
         "\"" + programs.path().string() + "/my \\\\\"krv\\\\\" \\\\$dir 100%%/krv-glyde\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::create_directories(c.folder);
        writeFile(std::filesystem::path(c.folder) / "krv-glyde", "");
        krv::test::ScopedEnv path("PATH", (c.onPath ? c.folder + ":" : std::string()) + "/usr/bin:/bin");
        std::ostringstream out, err;
        ASSERT_EQ(ctl::runCtl({"autostart", "on"}, AppPaths{std::filesystem::path(c.folder)}, out, err), 0) << err.str();
        const std::string text = readFile(config / "autostart/krv-glyde.desktop");
        EXPECT_NE(text.find("\nTryExec=" + c.tryExec + "\nExec=" + c.exec + " --tray\n"), std::string::npos) << text;
    }
}

// A failed write of the autostart entry says so and why, and leaves nothing behind: not a temporary
// file, and not an earlier entry changed.
TEST(Ctl, AutostartReportsAFailedWriteAndLeavesNoTemporary) {
#ifdef _WIN32
    GTEST_SKIP() << "the autostart entry is a Linux desktop's (XDG autostart)";
#else
    if (::geteuid() == 0)
        GTEST_SKIP() << "the administrator writes into read-only folders";
    AppFolder folder;
    writeFile(folder / "krv-glyde", "");
    krv::test::TempDir config;
    krv::test::ScopedEnv configHome("XDG_CONFIG_HOME", config.path().string());
    const auto autostart = config / "autostart";
    std::filesystem::create_directories(autostart);
    for (const bool earlier : {false, true}) {
        if (earlier)
            writeFile(autostart / "krv-glyde.desktop", "[Desktop Entry]\nExec=old\n");
        std::filesystem::permissions(autostart, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        const CtlRun run = ctl(folder, {"autostart", "on"});
        std::filesystem::permissions(autostart, std::filesystem::perms::owner_all);
        EXPECT_EQ(run.status, 2) << earlier;
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find((autostart / "krv-glyde.desktop").string() + ": cannot save in "), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(autostart))
            names.push_back(item.path().filename().string());
        EXPECT_EQ(names, earlier ? std::vector<std::string>{"krv-glyde.desktop"} : std::vector<std::string>{});
        if (earlier) {
            EXPECT_EQ(readFile(autostart / "krv-glyde.desktop"), "[Desktop Entry]\nExec=old\n");
        }
    }
#endif
}

} // namespace
