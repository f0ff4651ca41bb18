// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"

#include "unit/TempDir.h"
#include "unit/app/AppFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace krv {
namespace {

using test::AppFolder;
using test::readFile;

struct CtlRun {
    int status;
    std::string out;
    std::string err;
};

CtlRun ctl(const AppFolder& folder, std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = ctl::runCtl(args, folder.paths(), out, err);
    return {status, out.str(), err.str()};
}

TEST(CtlAppProfile, RulesAreListedAsTheyAreAddedChangedAndRemoved) {
    AppFolder folder;
    const std::string config = readFile(folder / "config.ini");
    EXPECT_EQ(ctl(folder, {"app-profile", "list"}).out, "on\ndefault stay\n");

    EXPECT_EQ(ctl(folder, {"app-profile", "add", "steam", "2"}).status, 0);
    EXPECT_EQ(ctl(folder, {"app-profile", "add", "/usr/games/my game", "3"}).status, 0);
    EXPECT_EQ(ctl(folder, {"app-profile", "add", "Steam", "4"}).status, 0);
    EXPECT_EQ(ctl(folder, {"app-profile", "default", "1"}).status, 0);
    EXPECT_EQ(ctl(folder, {"app-profile", "off"}).status, 0);
    CtlRun list = ctl(folder, {"app-profile", "list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.out, "off\ndefault 1\n4 steam\n3 /usr/games/my game\n");

    EXPECT_EQ(ctl(folder, {"app-profile", "remove", "STEAM"}).status, 0);
    EXPECT_EQ(ctl(folder, {"app-profile", "default", "stay"}).status, 0);
    EXPECT_EQ(ctl(folder, {"app-profile", "on"}).status, 0);
    EXPECT_EQ(ctl(folder, {"app-profile", "list"}).out, "on\ndefault stay\n3 /usr/games/my game\n");
    // config.ini keeps its bytes: the rules have a file of their own.
    EXPECT_EQ(readFile(folder / "config.ini"), config);
}

TEST(CtlAppProfile, RefusalsSayWhyWithStatusTwoAndChangeNoFile) {
    AppFolder folder;
    ASSERT_EQ(ctl(folder, {"app-profile", "add", "steam", "2"}).status, 0);
    const auto before = folder.snapshot();
    const std::vector<std::vector<std::string>> refused = {
        {"app-profile", "add", "steam"},
        {"app-profile", "add", "steam", "0"},
        {"app-profile", "add", "steam", "6"},
        {"app-profile", "add", "steam", "2x"},
        {"app-profile", "add", "a=b", "2"},
        {"app-profile", "add", "", "2"},
        {"app-profile", "remove", "other"},
        {"app-profile", "remove"},
        {"app-profile", "default", "6"},
        {"app-profile", "default", "0x"},
        {"app-profile", "off", "now"},
        {"app-profile", "list", "all"},
    };
    for (const auto& args : refused) {
        const CtlRun run = ctl(folder, args);
        EXPECT_EQ(run.status, 2) << args.back();
        EXPECT_TRUE(run.out.empty()) << args.back();
        EXPECT_EQ(run.err.rfind("krv-glyde-ctl: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(folder.snapshot(), before);

    // An unreadable rules file is said, and left as it is.
    std::filesystem::remove(folder / "appprofiles.ini");
    std::filesystem::create_directory(folder / "appprofiles.ini");
    const CtlRun list = ctl(folder, {"app-profile", "list"});
    EXPECT_EQ(list.status, 2);
    EXPECT_NE(list.err.find("appprofiles.ini"), std::string::npos) << list.err;
    EXPECT_EQ(ctl(folder, {"app-profile", "add", "x", "1"}).status, 2);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "appprofiles.ini"));
}

} // namespace
} // namespace krv
