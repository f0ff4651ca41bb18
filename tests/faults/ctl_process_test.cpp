// SPDX-License-Identifier: MIT
// krv-glyde-ctl as users and their machines treat it: broken and unreadable files, a failing disk,
// kills in the middle of a save, and several programs saving at once. Every failure exits with
// status 2 and one line naming the file and the reason, and leaves the user's files as they were.
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include "unit/TempDir.h"
#include "unit/app/AppFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace krv;
using krv::test::AppFolder;
using krv::test::readFile;
using krv::test::TempDir;
using krv::test::writeFile;

namespace {

struct CtlRun {
    int status = -1; // exit status, or -1 when killed or timed out
    std::string out;
    std::string err;
};

struct Fault {
    std::string kind; // see FileFaultShim.c; empty for none
    std::string path; // part of the path of the files it hits
};

// Starts krv-glyde-ctl; `beforeExec` runs in the child (a umask, say).
// program: the copy of the tool to run.
pid_t start(const std::vector<std::string>& args, const Fault& fault, int outFd, int errFd,
            const std::function<void()>& beforeExec = {}, const std::string& program = KRV_CTL) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    if (!fault.kind.empty()) {
        ::setenv("LD_PRELOAD", KRV_FAULT_SHIM, 1);
        ::setenv("KRV_FAULT", fault.kind.c_str(), 1);
        ::setenv("KRV_FAULT_PATH", fault.path.c_str(), 1);
        // The shim comes before the address sanitizer's runtime in a sanitizer build.
        ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=1", 1);
    }
    if (beforeExec)
        beforeExec();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

// Runs krv-glyde-ctl to its end (killed after 30 s: a command that hangs fails the test).
CtlRun run(const std::vector<std::string>& args, const Fault& fault = {}, const std::function<void()>& beforeExec = {},
           const std::string& program = KRV_CTL) {
    int out[2], err[2];
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    const pid_t pid = start(args, fault, out[1], err[1], beforeExec, program);
    ::close(out[1]);
    ::close(err[1]);
    CtlRun result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || ::poll(fds, 2, static_cast<int>(left.count())) <= 0) {
            ::kill(pid, SIGKILL);
            ADD_FAILURE() << "krv-glyde-ctl did not finish";
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0)
            ::close(p.fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> in(const AppFolder& folder, std::vector<std::string> args) {
    args.insert(args.begin(), {"--dir", (folder / "").string()});
    return args;
}

std::string exchangeFile(const TempDir& dir, const std::string& name, const std::string& k1,
                         std::int32_t k2 = 2) {
    const fs::path file = dir / name;
    // A whole profile (an import refuses a partial one): the factory's, with the values the tests look for.
    ProfileValues values = FactoryProfile();
    values.buttonCodes[1] = k2;
    values.dpiStageEnabled[0] = 1;
    values.fireInterval = 77;
    std::string text = "[Config7]\r\nK1=" + k1 + "\r\n";
    for (const auto& [key, value] : ProfileKeyValues(values))
        if (key != "K1")
            text += key + "=" + value + "\r\n";
    writeFile(file, text);
    return file.string();
}

void replaceInFile(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = readFile(file);
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    writeFile(file, text);
}

TEST(CtlProcess, EveryFailureExitsTwoAndLeavesTheFilesAsTheyWere) {
    TempDir elsewhere; // the user's other files: exchange files, exports
    const std::string profile = exchangeFile(elsewhere, "profile.ini", "1");
    const fs::path exported = elsewhere / "out.ini";
    struct Case {
        const char* name;
        std::function<void(const AppFolder&)> setUp;
        std::vector<std::string> args;
        Fault fault;
        const char* says; // part of the one line on standard error
    };
    auto replaceConfig = [](std::function<void(const fs::path&)> make) {
        return [make](const AppFolder& f) {
            fs::remove(f / "config.ini");
            make(f / "config.ini");
        };
    };
    auto curConfig = [](const char* value) {
        return [value](const AppFolder& f) { replaceInFile(f / "config.ini", "CurConfig=1", value); };
    };
    const std::vector<Case> cases{
        {"a read error in the middle of config.ini", {}, {"profile", "import", profile},
         {"read-eio-after:1000", "config.ini"}, "Input/output error"},
        {"a short read of config.ini", {}, {"profile", "show"}, {"short-read:1000", "config.ini"}, "read 1000 of its"},
        {"config.ini without read permission", {}, {"--simulate", "apply", "1"}, {"open-eacces", "config.ini"},
         "Permission denied"},
        {"a folder in place of config.ini", replaceConfig([](const fs::path& p) { fs::create_directory(p); }),
         {"profile", "export", exported.string()}, {}, "is a folder"},
        {"a FIFO in place of config.ini", replaceConfig([](const fs::path& p) { ::mkfifo(p.c_str(), 0644); }),
         {"profile", "show"}, {}, "is not a regular file"},
        {"config.ini over the size cap",
         replaceConfig([](const fs::path& p) { writeFile(p, std::string(IniFile::MaxFileBytes + 1, '\n')); }),
         {"profile", "show"}, {}, "is larger than"},
        {"config.ini of too many lines",
         replaceConfig([](const fs::path& p) { writeFile(p, std::string(IniFile::MaxLineBreaks + 1, '\n')); }),
         {"--simulate", "apply", "1"}, {}, "lines"},
        {"an apply that would take config.ini past the line cap",
         [](const AppFolder& f) {
             replaceInFile(f / "config.ini", "[Config6]", "[Unused6]");
             const std::string text = readFile(f / "config.ini");
             std::string filler;
             for (std::size_t n = IniFile::countLineEnds(text); n < IniFile::MaxLineBreaks; ++n)
                 filler += ";\r\n";
             writeFile(f / "config.ini", text + filler);
         },
         {"--simulate", "apply", "3"}, {}, "more than 131072 lines"},
        {"a full disk",
         [](const AppFolder& f) { replaceInFile(f / "config.ini", "[Config3]\r\n", "[Config3]\r\nFIRE_TIME=99\r\n"); },
         {"restore-defaults"}, {"write-enospc", "config.ini"}, "No space left on device"},
        {"a full disk under a macro import", {}, {"macro", "import", KRV_SHIPPED_DATA_DIR "/skins/INI_CN/defMacro.dat"},
         {"write-enospc", "Macro_EN.dat"}, "No space left on device"},
        {"a read-only config.ini",
         [](const AppFolder& f) { fs::permissions(f / "config.ini", fs::perms::owner_read | fs::perms::group_read); },
         {"--simulate", "apply", "3"}, {}, "read-only"},
        {"a macro import of a text file",
         [&](const AppFolder&) { writeFile(elsewhere / "notes.txt", "shopping list\n"); },
         {"macro", "import", (elsewhere / "notes.txt").string()}, {}, "not a macro file"},
        {"a macro import of random bytes",
         [&](const AppFolder&) {
             std::string bytes(3000, '\0');
             std::mt19937 random(7);
             for (char& c : bytes)
                 c = static_cast<char>(random());
             writeFile(elsewhere / "noise.dat", bytes);
         },
         {"macro", "import", (elsewhere / "noise.dat").string()}, {}, "not a macro file"},
        {"a macro import of config.ini", {}, {"macro", "import", KRV_SHIPPED_DATA_DIR "/config.ini"}, {},
         "not a macro file"},
        {"a macro import of an unreadable file", {}, {"macro", "import", KRV_SHIPPED_DATA_DIR "/Macro_CN.dat"},
         {"read-eio-after:100", "Macro_CN.dat"}, "Input/output error"},
        {"a macro import of a missing file", {}, {"macro", "import", (elsewhere / "none.dat").string()}, {},
         "No such file"},
        {"CurConfig 0", curConfig("CurConfig=0"), {"profile", "show"}, {}, "is \"0\""},
        {"CurConfig 9", curConfig("CurConfig=9"), {"profile", "import", profile}, {}, "is \"9\""},
        {"CurConfig -3", curConfig("CurConfig=-3"), {"profile", "export", exported.string()}, {}, "is \"-3\""},
        {"CurConfig abc", curConfig("CurConfig=abc"), {"profile", "import", profile}, {}, "is \"abc\""},
        {"CurConfig 6", curConfig("CurConfig=6"), {"profile", "import", profile}, {}, "is \"6\""},
        {"no CurConfig", curConfig("Other=1"), {"profile", "export", exported.string()}, {}, "no \"CurConfig\""},
        {"an explicit profile 7", {}, {"profile", "show", "7"}, {}, "bad profile number"},
        {"an import into the snapshot", {}, {"profile", "import", profile, "6"}, {}, "bad profile number"},
        {"a profile without the left click",
         [](const AppFolder& f) { replaceInFile(f / "config.ini", "[Config2]\r\nK1=1", "[Config2]\r\nK1=2"); },
         {"--simulate", "apply", "2"}, {}, "No button is set to Left Click"},
        {"restore-defaults without the factory sections",
         [](const AppFolder& f) { replaceInFile(f / "config.ini", "[CfgReset4]", "[Renamed]"); }, {"restore-defaults"},
         {}, "CfgReset4"},
        {"restore-defaults with an unreadable default macro file", {}, {"restore-defaults"},
         {"read-eio-after:10", "defMacro.dat"}, "Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFolder folder;
        if (c.setUp)
            c.setUp(folder);
        const auto before = folder.snapshot();
        const CtlRun r = run(in(folder, c.args), c.fault);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.rfind("krv-glyde-ctl: ", 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(folder.snapshot(), before);
        EXPECT_FALSE(fs::exists(exported));
    }
}

// A write of the autostart entry that fails (a read-only folder, a full disk, a failed flush, close or
// rename) says which file and why in one line, exits 2 and leaves the folder as it was: no temporary
// file, an earlier entry whole.
TEST(CtlProcess, AFailedAutostartWriteLeavesNothingBehind) {
    TempDir home;
    const fs::path program = home / "bin/krv-glyde-ctl";
    fs::create_directories(program.parent_path());
    fs::copy_file(KRV_CTL, program);
    writeFile(home / "bin/krv-glyde", ""); // the companion beside the tool
    const fs::path autostart = home / "config/autostart";
    const fs::path entry = autostart / "krv-glyde.desktop";
    const auto environment = [&] {
        ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ::setenv("PATH", ((home / "bin").string() + ":/usr/bin:/bin").c_str(), 1); // as an installed program
    };
    struct Case {
        const char* name;
        Fault fault;
        const char* says;
    };
    // The administrator passes permission checks, so the read-only folder's refusal is also faked.
    const std::vector<Case> cases{
        {"a read-only folder", {"open-eacces", "krv-glyde.desktop"}, "cannot save in"},
        {"a full disk", {"write-enospc", "krv-glyde.desktop"}, "No space left on device"},
        {"a flush to the disk that fails", {"fsync-eio", "krv-glyde.desktop"}, "Input/output error"},
        {"a write error told at the close", {"close-eio", "krv-glyde.desktop"}, "Input/output error"},
        {"a rename that fails", {"rename-eio", "krv-glyde.desktop"}, "Input/output error"},
    };
    for (const bool earlier : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (earlier ? ", over an earlier entry" : ""));
            fs::remove_all(autostart);
            fs::create_directories(autostart);
            if (earlier)
                writeFile(entry, "[Desktop Entry]\nExec=old\n");
            if (c.fault.kind == "open-eacces")
                fs::permissions(autostart, fs::perms::owner_read | fs::perms::owner_exec);
            const CtlRun r = run({"autostart", "on"}, c.fault, environment, program.string());
            fs::permissions(autostart, fs::perms::owner_all);
            EXPECT_EQ(r.status, 2);
            EXPECT_TRUE(r.out.empty()) << r.out;
            EXPECT_EQ(r.err.rfind("krv-glyde-ctl: " + entry.string() + ": ", 0), 0u) << r.err;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            std::vector<std::string> names;
            for (const auto& item : fs::directory_iterator(autostart))
                names.push_back(item.path().filename().string());
            EXPECT_EQ(names, earlier ? std::vector<std::string>{"krv-glyde.desktop"} : std::vector<std::string>{});
            if (earlier) {
                EXPECT_EQ(readFile(entry), "[Desktop Entry]\nExec=old\n");
            }
        }
    }
    const CtlRun on = run({"autostart", "on"}, {}, environment, program.string());
    EXPECT_EQ(on.status, 0) << on.err;
    EXPECT_NE(readFile(entry).find("Exec=krv-glyde --tray\n"), std::string::npos);
}

TEST(CtlProcess, AFolderThatDoesNotExistIsRefused) {
    TempDir dir;
    const CtlRun r = run({"--dir", (dir / "nowhere").string(), "restore-defaults"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no such folder"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

mode_t modeOf(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(CtlProcess, ASavedFileKeepsItsModeAndANewOneHonoursTheUmask) {
    AppFolder folder;
    ::chmod((folder / "config.ini").c_str(), 0640);
    ASSERT_EQ(run(in(folder, {"--simulate", "apply", "3"})).status, 0);
    EXPECT_EQ(modeOf(folder / "config.ini"), 0640u);
    EXPECT_EQ(IniFile::readString(folder / "config.ini", "Init", "CurConfig"), "3");

    // A long name still leaves room for the lock and temporary files beside it.
    const fs::path exported = folder / (std::string(240, 'p') + ".ini");
    ASSERT_EQ(run(in(folder, {"profile", "export", exported.string()}), {}, [] { ::umask(027); }).status, 0);
    EXPECT_EQ(modeOf(exported), 0640u);
    EXPECT_EQ(IniFile::readString(exported, "Config7", "K1"), "1");
    for (const auto& [name, bytes] : folder.snapshot())
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
}

// Killed at any moment, restore-defaults leaves all five profiles restored or none, and the next
// save removes the temporary file a kill left behind.
TEST(CtlProcess, RestoreDefaultsIsAllOrNothingUnderKills) {
    AppFolder folder;
    const fs::path config = folder / "config.ini";
    // Every profile differs from its factory values, so a half-done restore would show.
    for (int n = 1; n <= ProfileCount; ++n)
        ASSERT_EQ(run(in(folder, {"profile", "import", exchangeFile(folder.temp(), "mine.ini", "1"), std::to_string(n)}))
                      .status,
                  0);
    const std::string mine = readFile(config);
    auto restoredCount = [&] {
        const IniDocument doc = IniFile::load(config);
        int restored = 0;
        for (int n = 1; n <= ProfileCount; ++n)
            restored += doc.readInt(ProfileSectionName(n), "FIRE_TIME", 5) != 77 ? 1 : 0;
        return restored;
    };
    std::mt19937 random(2024);
    int done = 0, untouched = 0;
    for (int i = 0; i < 30; ++i) {
        writeFile(config, mine);
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t pid = start(in(folder, {"restore-defaults"}), {}, devNull, devNull);
        ::close(devNull);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 10000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const int restored = restoredCount();
        EXPECT_TRUE(restored == 0 || restored == ProfileCount) << restored << " of the profiles restored";
        (restored == 0 ? untouched : done) += 1;
    }
    ASSERT_EQ(run(in(folder, {"restore-defaults"})).status, 0);
    for (const auto& [name, bytes] : folder.snapshot())
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name << " left behind";
    std::printf("restore-defaults killed 30 times: %d done, %d untouched\n", done, untouched);
}

// An apply that another program's save overtakes between its start and its save: the apply is
// stopped just before it first opens the lock file, the other command runs to its end, then the apply
// goes on. It must send and keep what the other saved, never write back what it read before: an
// import into the profile it applies, or (applying the current profile) a switch to another profile.
TEST(CtlProcess, AnApplyOvertakenByAnotherSaveKeepsThatSave) {
    struct Case {
        const char* name;
        std::vector<std::string> apply;
        std::function<std::vector<std::string>(const AppFolder&)> overtaking;
        int applied; // the profile the apply must send and leave current
    };
    const std::vector<Case> cases{
        {"an import into the profile applied", {"--simulate", "apply", "2"},
         [](const AppFolder& f) {
             return std::vector<std::string>{"profile", "import", exchangeFile(f.temp(), "new.ini", "1", 33), "2"};
         },
         2},
        {"a switch of the current profile", {"--simulate", "apply"},
         [](const AppFolder& f) {
             EXPECT_EQ(run(in(f, {"profile", "import", exchangeFile(f.temp(), "new.ini", "1", 33), "4"})).status, 0);
             return std::vector<std::string>{"--simulate", "apply", "4"};
         },
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFolder folder;
        const fs::path config = folder / "config.ini";
        ASSERT_EQ(run(in(folder, {"--simulate", "apply", "2"})).status, 0);
        const std::vector<std::string> overtaking = c.overtaking(folder);

        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t apply = start(in(folder, c.apply), {"stop-at-open", "/.config.ini.lock"}, devNull, devNull);
        ::close(devNull);
        int status = 0;
        ASSERT_EQ(::waitpid(apply, &status, WUNTRACED), apply);
        ASSERT_TRUE(WIFSTOPPED(status)) << "the apply ended before it took the lock";

        const CtlRun other = run(in(folder, overtaking));
        ::kill(apply, SIGCONT);
        ASSERT_EQ(::waitpid(apply, &status, 0), apply);
        EXPECT_EQ(other.status, 0) << other.err;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

        const IniDocument doc = IniFile::load(config);
        EXPECT_EQ(doc.value("Init", "CurConfig"), std::to_string(c.applied)) << "the apply undid the other's switch";
        EXPECT_EQ(doc.value(ProfileSectionName(c.applied), "K2"), "33") << "the apply wrote its earlier copy back";
        EXPECT_EQ(doc.value(ProfileSectionName(6), "K2"), "33") << "the apply did not send what the other saved";
    }
}

// restore-defaults changes two files. Neither changes when the macro file cannot be read or its new
// copy cannot be written; when only its final rename fails, config.ini is restored and the message
// says so and names the macro file as left as it was.
TEST(CtlProcess, RestoreDefaultsReplacesBothFilesOrSaysWhichOne) {
    auto mine = [](const AppFolder& f) {
        for (int n = 1; n <= ProfileCount; ++n)
            ASSERT_EQ(run(in(f, {"profile", "import", exchangeFile(f.temp(), "mine.ini", "1"), std::to_string(n)})).status,
                      0);
        ASSERT_EQ(run(in(f, {"macro", "import", KRV_SHIPPED_DATA_DIR "/skins/INI_CN/defMacro.dat"})).status, 0);
    };
    // The files as a restore that works leaves them.
    AppFolder clean;
    mine(clean);
    const std::string userMacros = readFile(clean / "Macro_EN.dat");
    const std::string userConfig = readFile(clean / "config.ini");
    ASSERT_EQ(run(in(clean, {"restore-defaults"})).status, 0);
    const std::string restoredConfig = readFile(clean / "config.ini");
    ASSERT_NE(readFile(clean / "Macro_EN.dat"), userMacros);
    ASSERT_NE(restoredConfig, userConfig);

    struct Case {
        const char* name;
        Fault fault;
        bool configRestored;
        std::vector<std::string> says;
    };
    const std::vector<Case> cases{
        {"an unreadable macro file", {"open-eacces", "/Macro_EN.dat"}, false,
         {"nothing was changed", "Macro_EN.dat: Permission denied"}},
        {"a full disk under the new macro file", {"write-enospc", "/.Macro_EN.dat.tmp-"}, false,
         {"nothing was changed", "No space left on device"}},
        {"a macro file that cannot be put in place", {"rename-eio", "/Macro_EN.dat"}, true,
         {"profiles were restored in ", "config.ini, but the macros were not: ", "Macro_EN.dat is as it was",
          "Input/output error"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFolder folder;
        mine(folder);
        std::map<std::string, std::string> expected = folder.snapshot();
        if (c.configRestored)
            expected["config.ini"] = restoredConfig;
        const CtlRun r = run(in(folder, {"restore-defaults"}), c.fault);
        EXPECT_EQ(r.status, 2);
        for (const std::string& part : c.says)
            EXPECT_NE(r.err.find(part), std::string::npos) << part << " not in: " << r.err;
        EXPECT_EQ(folder.snapshot(), expected);
    }
}

// Programs saving at the same moment never lose each other's updates: five imports into five
// profiles, all at once, all land.
TEST(CtlProcess, ConcurrentSavesFromSeveralProcessesAllLand) {
    AppFolder folder;
    const fs::path config = folder / "config.ini";
    // A button code each import leaves in K2: valid (21..40), and different from the round before.
    const auto marker = [](int round, int n) { return 21 + (round % 4) * 5 + n - 1; };
    for (int round = 0; round < 8; ++round) {
        std::vector<pid_t> pids;
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        for (int n = 1; n <= ProfileCount; ++n) {
            const std::string file = exchangeFile(folder.temp(), "p" + std::to_string(n) + ".ini", "1", marker(round, n));
            pids.push_back(start(in(folder, {"profile", "import", file, std::to_string(n)}), {}, devNull, devNull));
        }
        ::close(devNull);
        for (pid_t pid : pids) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const IniDocument doc = IniFile::load(config);
        for (int n = 1; n <= ProfileCount; ++n)
            EXPECT_EQ(doc.value(ProfileSectionName(n), "K2"), std::to_string(marker(round, n))) << "round " << round;
    }
}

} // namespace

namespace {

// An installed program: its folder is not the user's (a package's, or here another user's), so
// every user's files, root's too, are kept in $XDG_CONFIG_HOME/krv-glyde and nothing is written
// beside the program, even where the user could write.
TEST(CtlProcess, AnInstalledProgramKeepsTheUsersFilesInTheirOwnFolder) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr)
        GTEST_SKIP() << "needs root and a user \"nobody\" to own the program's folder";
    AppFolder installed;
    const fs::path program = installed / "krv-glyde-ctl";
    fs::copy_file(KRV_CTL, program);
    for (const auto& entry : fs::recursive_directory_iterator(installed / ""))
        ASSERT_EQ(::lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    ASSERT_EQ(::chown((installed / "").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    const auto shipped = installed.snapshot();
    const fs::path config = installed.temp() / "config";
    const fs::path own = config / "krv-glyde";
    const auto environment = [&] {
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (installed.temp() / "data").c_str(), 1);
    };

    // Help, the version and a wrong command line (an option, a command, a command's argument) make no
    // folder and copy nothing.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"--version"}, {"--no-such-option"}, {"no-such-command"},
          {"--simulate", "apply", "9"}, {"profile", "show", "0"}, {"profile", "export", "out.ini", "x"},
          {"profile", "import", (installed.temp() / "none.ini").string()}, {"macro", "show", "abc"},
          {"app-profile", "add", "game", "7"}, {"restore-defaults", "now"}}) {
        const CtlRun r = run(args, {}, environment, program.string());
        EXPECT_EQ(r.status, args[0] == "--help" || args[0] == "--version" ? 0 : 2) << args.back() << ": " << r.err;
        EXPECT_FALSE(fs::exists(config)) << args.back();
    }

    // A command says where the files are and what it copied there; the apply lands there.
    const CtlRun first = run({"-v", "--simulate", "apply", "3"}, {}, environment, program.string());
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find("the user's files are in " + own.string()), std::string::npos) << first.err;
    EXPECT_NE(first.err.find("copied " + (installed / "config.ini").string()), std::string::npos) << first.err;
    EXPECT_EQ(IniFile::readString(own / "config.ini", "Init", "CurConfig"), "3");

    // The program's folder is as the package left it: no settings, no lock file.
    for (const auto& entry : fs::recursive_directory_iterator(installed / ""))
        EXPECT_EQ(entry.path().filename().string().find(".lock"), std::string::npos) << entry.path();
    EXPECT_EQ(installed.snapshot(), shipped);
}

// The administrator working on a user's folder (`sudo krv-glyde-ctl --dir ~user/...`, with a strict
// umask) leaves every file there the user's: the saved config.ini keeps its owner, group and mode,
// and the lock file it made goes to the folder's owner, so the user's own next save still works.
TEST(CtlProcess, TheAdministratorSavingAUsersFolderLeavesItUsable) {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || nobody == nullptr)
        GTEST_SKIP() << "needs root and a user \"nobody\" to own the folder";
    AppFolder folder;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    for (const auto& entry : fs::recursive_directory_iterator(folder / ""))
        ASSERT_EQ(::lchown(entry.path().c_str(), uid, gid), 0);
    ASSERT_EQ(::chown((folder / "").c_str(), uid, gid), 0);
    ::chmod((folder / "config.ini").c_str(), 0640);

    const CtlRun administrator = run(in(folder, {"--simulate", "apply", "2"}), {}, [] { ::umask(077); });
    ASSERT_EQ(administrator.status, 0) << administrator.err;
    for (const char* name : {"config.ini", ".config.ini.lock"}) {
        struct stat st {};
        ASSERT_EQ(::stat((folder / name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_uid, uid) << name;
        EXPECT_EQ(st.st_gid, gid) << name;
    }
    EXPECT_EQ(modeOf(folder / "config.ini"), 0640u);

    const CtlRun user = run(in(folder, {"--simulate", "apply", "3"}), {}, [&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(126);
    });
    EXPECT_EQ(user.status, 0) << user.err;
    EXPECT_EQ(IniFile::readString(folder / "config.ini", "Init", "CurConfig"), "3");
}

// An export goes to a file the user chose: nothing but that file appears in its folder.
TEST(CtlProcess, AnExportLeavesNoLockFileBesideTheUsersFile) {
    AppFolder folder;
    TempDir elsewhere;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"profile", "export", (elsewhere / "notes.txt").string(), "1"},
          {"macro", "export", (elsewhere / "macros.dat").string()}}) {
        const CtlRun r = run(in(folder, args));
        EXPECT_EQ(r.status, 0) << r.err;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(elsewhere.path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"macros.dat", "notes.txt"}));
}

} // namespace
