// SPDX-License-Identifier: MIT
// krv-glyde-ctl with a companion running: the commands that send to the mouse or change the files go
// through it, a companion that does not answer stops them before anything changes, and a companion
// of other files is not this one's.
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlSystem.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include "unit/app/AppFolder.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

using namespace krv;

namespace {

// What the fake companion was asked, and how it answers.
struct Script {
    CompanionLink::Presence presence = CompanionLink::Presence::Present;
    std::filesystem::path folder; // its files' folder; Present counts only when it is the tool's
    bool refuse = false;          // ApplyProfile and Reload fail
    std::vector<std::string> calls;
};

class FakeCompanion final : public CompanionLink {
public:
    explicit FakeCompanion(Script& script) : m_script(script) {}
    Found find(const std::filesystem::path& folder) override {
        Found found;
        if (m_script.presence == Presence::NotAnswering) {
            found.presence = Presence::NotAnswering;
            found.detail = "the running companion (test) does not answer within 2 s";
            return found;
        }
        // Compared as written (the real link asks the file system whether they are the same folder).
        const bool same = (folder / "").lexically_normal() == (m_script.folder / "").lexically_normal();
        if (m_script.presence == Presence::Present && same) {
            found.presence = Presence::Present;
            found.state = {"io.test.Companion", 4, true, 2, "en", m_script.folder.string()};
        }
        return found;
    }
    CallResult applyProfile(int n) override { return answer("apply " + std::to_string(n)); }
    CallResult reload() override { return answer("reload"); }

private:
    CallResult answer(std::string call) {
        m_script.calls.push_back(std::move(call));
        return m_script.refuse ? CallResult{false, "the companion refused"} : CallResult{true, {}};
    }
    Script& m_script;
};

struct CtlRun {
    int status;
    std::string out;
    std::string err;
};

CtlRun runWith(const test::AppFolder& folder, Script& script, const std::vector<std::string>& args) {
    ctl::CtlSystem system = ctl::ThisSystem();
    system.companionLink = [&script] { return std::make_unique<FakeCompanion>(script); };
    std::ostringstream out, err;
    const int status = ctl::runCtl(args, folder.paths(), system, out, err);
    return CtlRun{status, out.str(), err.str()};
}

std::string wholeProfile(const std::string& k7) {
    std::string text = "[Config7]\n";
    for (const auto& [key, value] : ProfileKeyValues(ProfileValues{}))
        text += key + "=" + (key == "K1" ? "1" : key == "K7" ? k7 : value) + "\n";
    return text;
}

// The commands that change the mouse or the files, each with its call of the companion.
struct Command {
    std::vector<std::string> args;
    std::vector<std::string> calls;
};

std::vector<Command> commandsThroughTheCompanion(const test::AppFolder& folder) {
    test::writeFile(folder / "p.ini", wholeProfile("31"));
    test::writeFile(folder / "m.dat", "[Macros]\r\nmacroNum=0\r\n");
    return {
        {{"--simulate", "apply", "3"}, {"apply 3"}},
        {{"apply"}, {"apply 1"}}, // the current profile of the file
        {{"profile", "import", (folder / "p.ini").string(), "2"}, {"reload"}},
        {{"macro", "import", (folder / "m.dat").string()}, {"reload"}},
        {{"restore-defaults"}, {"reload"}},
    };
}

} // namespace

TEST(CtlCompanion, CommandsGoThroughTheCompanionOfTheirFiles) {
    for (std::size_t i = 0;; ++i) {
        test::AppFolder folder;
        const std::vector<Command> commands = commandsThroughTheCompanion(folder);
        if (i == commands.size())
            break;
        const Command& c = commands[i];
        Script script{CompanionLink::Presence::Present, folder / "", false, {}};
        const CtlRun run = runWith(folder, script, c.args);
        EXPECT_EQ(run.status, 0) << testing::PrintToString(c.args) << ": " << run.err;
        EXPECT_EQ(script.calls, c.calls) << testing::PrintToString(c.args);
        // Nothing was sent by the tool: --simulate would print every report it sent.
        EXPECT_EQ(run.out, "") << testing::PrintToString(c.args);
    }
    // The import reached the file before the companion was told to read it.
    test::AppFolder folder;
    Script script{CompanionLink::Presence::Present, folder / "", false, {}};
    test::writeFile(folder / "p.ini", wholeProfile("31"));
    ASSERT_EQ(runWith(folder, script, {"profile", "import", (folder / "p.ini").string(), "2"}).status, 0);
    EXPECT_EQ(IniFile::readString(folder / "config.ini", "Config2", "K7"), "31");
}

TEST(CtlCompanion, ACompanionThatDoesNotAnswerStopsTheCommandBeforeAnythingChanges) {
    for (std::size_t i = 0;; ++i) {
        test::AppFolder folder;
        const std::vector<Command> commands = commandsThroughTheCompanion(folder);
        if (i == commands.size())
            break;
        const Command& c = commands[i];
        const auto before = folder.snapshot();
        Script script{CompanionLink::Presence::NotAnswering, folder / "", false, {}};
        const CtlRun run = runWith(folder, script, c.args);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(c.args);
        EXPECT_EQ(run.err, "krv-glyde-ctl: the running companion (test) does not answer within 2 s: nothing was "
                           "changed or sent to the mouse\n")
            << testing::PrintToString(c.args);
        EXPECT_EQ(run.out, "") << testing::PrintToString(c.args);
        EXPECT_TRUE(script.calls.empty());
        EXPECT_EQ(folder.snapshot(), before) << testing::PrintToString(c.args);
    }
}

TEST(CtlCompanion, ARefusalIsSaidAndTheExitStatusIsTwo) {
    test::AppFolder folder;
    Script script{CompanionLink::Presence::Present, folder / "", true, {}};
    const CtlRun applied = runWith(folder, script, {"--simulate", "apply", "2"});
    EXPECT_EQ(applied.status, 2);
    EXPECT_EQ(applied.err, "krv-glyde-ctl: the companion refused\n");
    EXPECT_EQ(applied.out, "");
    test::writeFile(folder / "p.ini", wholeProfile("31"));
    const CtlRun imported = runWith(folder, script, {"profile", "import", (folder / "p.ini").string(), "2"});
    EXPECT_EQ(imported.status, 2);
    EXPECT_EQ(imported.err, "krv-glyde-ctl: the profile was saved, but the companion did not take it: the "
                            "companion refused\n");
}

TEST(CtlCompanion, ACompanionOfOtherFilesIsNotThisOnes) {
    test::AppFolder folder;
    test::TempDir elsewhere;
    Script script{CompanionLink::Presence::Present, elsewhere.path(), false, {}};
    const CtlRun run = runWith(folder, script, {"--simulate", "apply", "1"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(script.calls.empty());
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 11); // the tool sent the profile itself
}

TEST(CtlCompanion, StatusShowsTheCompanionsState) {
    test::AppFolder folder;
    Script script{CompanionLink::Presence::Present, folder / "", false, {}};
    const CtlRun with = runWith(folder, script, {"--simulate", "status"});
    EXPECT_EQ(with.status, 0);
    EXPECT_EQ(with.out, "mouse found\npath /dev/hidraw-sim1\ninput report length 8\nfeature report length 8\n"
                        "companion io.test.Companion\ncompanion profile 4\ncompanion mouse connected\n"
                        "companion dpi stage 2\ncompanion language en\ncompanion folder " +
                            (folder / "").string() + "\n");
    script.presence = CompanionLink::Presence::Absent;
    const CtlRun without = runWith(folder, script, {"--simulate", "status"});
    EXPECT_EQ(without.status, 0);
    EXPECT_EQ(without.out.substr(without.out.find("no companion")), "no companion running\n");
    script.presence = CompanionLink::Presence::NotAnswering;
    EXPECT_EQ(runWith(folder, script, {"--simulate", "status"}).status, 2);
}
