#include "app/ctl/CtlApp.h"
#include "unit/RequireOk.h"
#include "settings/IniFile.h"

#include "unit/TempDir.h"
#include "unit/app/AppFolder.h"

#include <gtest/gtest.h>

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
