// SPDX-License-Identifier: MIT
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "unit/RequireOk.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using krv::IniFile;
using krv::test::readFile;
using krv::test::TempDir;
using krv::test::writeFile;

namespace {

TEST(IniFile, MissingFileReadsDefaultsAndFirstWriteCreatesIt) {
    TempDir dir;
    auto file = dir / "config.ini";
    EXPECT_EQ(IniFile::readString(file, "Init", "CurConfig", "dflt", 5), "dflt");
    EXPECT_TRUE(IniFile::writeString(file, "Init", "CurConfig", "3"));
    EXPECT_EQ(readFile(file), "[Init]\r\nCurConfig=3\r\n");
}

TEST(IniFile, KeepsEncodingAndEveryOtherByte) {
    TempDir dir;
    auto file = dir / "a.ini";
    const std::string before = "\xEF\xBB\xBF; hand-written\n[Init]\nCurConfig = 2\n\n[Other]\nx=\"1\"\n";
    writeFile(file, before);
    ASSERT_TRUE(IniFile::writeString(file, "init", "curconfig", "4"));
    EXPECT_EQ(readFile(file), "\xEF\xBB\xBF; hand-written\n[Init]\nCurConfig=4\n\n[Other]\nx=\"1\"\n");
}

class FailingSink : public krv::FileSink {
public:
    explicit FailingSink(std::size_t okBytes) : m_okBytes(okBytes) {}
    bool write(int fd, std::string_view data) override {
        if (data.size() <= m_okBytes)
            return FileSink::write(fd, data);
        (void)FileSink::write(fd, data.substr(0, m_okBytes)); // the part before the failure, whatever it gives
        return false;
    }

private:
    std::size_t m_okBytes;
};

TEST(IniFile, FailedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    auto file = dir / "config.ini";
    writeFile(file, "[Config1]\r\nK1=1\r\n");
    FailingSink sink(5);
    EXPECT_FALSE(IniFile::update(file, [](krv::IniDocument& doc) {
        doc.write("Config1", "K1", "2");
        return krv::FileStatus::success();
    }, &sink));
    EXPECT_EQ(readFile(file), "[Config1]\r\nK1=1\r\n");
    EXPECT_EQ(krv::test::snapshotOf(dir.path()).size(), 1u) << "temporary file left behind";
}

TEST(IniFile, ConcurrentSavesLoseNoKey) {
    TempDir dir;
    auto file = dir / "config.ini";
    constexpr int Threads = 4;
    constexpr int KeysEach = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            for (int k = 0; k < KeysEach; ++k)
                krv::test::requireOk(IniFile::writeString(file, "S" + std::to_string(t), "k" + std::to_string(k),
                                                          std::to_string(t * 1000 + k)));
        });
    for (auto& thread : threads)
        thread.join();
    auto doc = IniFile::load(file);
    for (int t = 0; t < Threads; ++t)
        for (int k = 0; k < KeysEach; ++k)
            EXPECT_EQ(doc.value("S" + std::to_string(t), "k" + std::to_string(k)).value_or("lost"),
                      std::to_string(t * 1000 + k));
}

// The lock beside the file is held by one descriptor at a time, as a second process would hold it;
// a save waits for it and lands once it is free.
TEST(IniFile, ASaveWaitsForTheLockAnotherHolds) {
    TempDir dir;
    auto file = dir / "config.ini";
    writeFile(file, "[S]\r\nk=1\r\n");
    const int held = krv::fsys::OpenLockFile(dir / ".config.ini.lock");
    ASSERT_GE(held, 0) << krv::fsys::LastFailure();
    ASSERT_EQ(krv::fsys::TryLock(held), krv::fsys::LockAttempt::Locked);
    const int other = krv::fsys::OpenLockFile(dir / ".config.ini.lock");
    ASSERT_GE(other, 0);
    EXPECT_EQ(krv::fsys::TryLock(other), krv::fsys::LockAttempt::Busy);
    EXPECT_TRUE(krv::fsys::Close(other));

    std::thread saver([&] { krv::test::requireOk(IniFile::writeString(file, "S", "k", "2")); });
    EXPECT_TRUE(krv::fsys::Close(held)); // the other "process" ends: its lock goes with it
    saver.join();
    EXPECT_EQ(readFile(file), "[S]\r\nk=2\r\n");
}

// Files are bytes: CR, LF, ^Z and NUL are read and written back as they stand, and names in UTF-8
// reach the disk as the characters they spell (also in the lock file's name and in messages).
TEST(IniFile, BytesAndNamesCrossUnchanged) {
    TempDir dir;
    const std::vector<std::string> contents{
        "[S]\r\nk=1\r\n\x1a\r\nrest=\x1a\x1a\r\n",
        std::string("[S]\nk=1\n\0tail\n", 14),
        "[S]\rk=1\r\r\n\n",
    };
    const std::string name = "pr\xC3\xB3"
                             "file-\xE5\x90\x8D.ini"; // "prófile-名.ini"
    for (const std::string& bytes : contents) {
        const auto file = dir / krv::fsys::PathFromUtf8(name);
        writeFile(file, bytes);
        const krv::IniRead read = IniFile::read(file);
        ASSERT_EQ(read.state, krv::FileState::Readable);
        EXPECT_EQ(read.document.value("S", "k").value_or("-"), "1");
        krv::test::requireOk(IniFile::writeString(file, "S", "new", "v"));
        // Without the new line, the file is the old one byte for byte.
        std::string after = readFile(file);
        const std::size_t added = after.find("new=v");
        ASSERT_NE(added, std::string::npos) << after;
        std::size_t end = added + 5;
        end += after.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        after.erase(added, end - added);
        EXPECT_EQ(after, bytes);
    }
    EXPECT_TRUE(std::filesystem::exists(dir / krv::fsys::PathFromUtf8("." + name + ".lock")));

    const auto folder = dir / krv::fsys::PathFromUtf8("\xC3\xBC-folder.ini");
    std::filesystem::create_directories(folder);
    const krv::FileStatus refused = IniFile::writeString(folder, "S", "k", "v");
    EXPECT_EQ(refused.message(), krv::fsys::Utf8Of(folder) + ": is a folder, not a file");
    EXPECT_NE(refused.message().find("\xC3\xBC-folder.ini"), std::string::npos);
}

TEST(IniFile, NeverReplacesWhatItCannotRead) {
    TempDir dir;
    auto folder = dir / "config.ini";
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(IniFile::writeString(folder, "S", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    auto huge = dir / "huge.ini";
    writeFile(huge, std::string(IniFile::MaxFileBytes + 1, 'x'));
    EXPECT_EQ(IniFile::readString(huge, "S", "k", "d"), "d");
    EXPECT_FALSE(IniFile::writeString(huge, "S", "k", "v"));
    EXPECT_EQ(std::filesystem::file_size(huge), IniFile::MaxFileBytes + 1);
}

TEST(IniFile, WritesThroughALinkAndKeepsIt) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows, and MinGW's library does not make them";
#endif
    TempDir dir;
    auto real = dir / "real.ini";
    auto link = dir / "link.ini";
    writeFile(real, "[S]\nk=1\n");
    std::filesystem::create_symlink(real, link);
    ASSERT_TRUE(IniFile::writeString(link, "S", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(real), "[S]\nk=2\n");
}

} // namespace

namespace {

TEST(IniFile, AUtf16FileOfOddLengthKeepsItsLastByteThroughASave) {
    TempDir dir;
    auto file = dir / "config.ini";
    const std::string utf16 = std::string("\xFF\xFE[\0I\0n\0i\0t\0]\0\r\0\n\0", 18) + "Z";
    writeFile(file, utf16);
    krv::test::requireOk(IniFile::writeString(file, "Init", "VER_SEL", "1"));
    const std::string after = readFile(file);
    EXPECT_EQ(after.substr(0, 16), utf16.substr(0, 16));
    EXPECT_EQ(after.back(), 'Z');
    EXPECT_EQ(IniFile::readString(file, "Init", "VER_SEL"), "1");
}

} // namespace

namespace {

// Line ends as the reader counts them: CR LF is one.
TEST(IniFile, CountsLineEndsAsTheTextHasThem) {
    struct Case {
        std::string bytes;
        std::size_t ends;
    };
    const std::vector<Case> cases{
        {"", 0},
        {"a\r\nb\r\n", 2},
        {"a\nb\rc\r\n", 3},
        {"\r\r\n\n", 3},
        {"a\r", 1},
        // UTF-16LE with BOM: "a" CR LF "b" LF, counted in the text, not in its bytes.
        {std::string("\xFF\xFE" "a\0\r\0\n\0b\0\n\0", 12), 2},
        // A code unit whose bytes are 0x0A and 0x0D (U+0D0A) is no line end.
        {std::string("\xFF\xFE\x0A\x0D", 4), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniFile::countLineEnds(c.bytes), c.ends) << testing::PrintToString(c.bytes);
}

std::string linesOf(std::size_t count, const char* end) {
    std::string text = "[S]";
    text += end;
    for (std::size_t i = 1; i < count; ++i) {
        text += ";";
        text += end;
    }
    return text;
}

TEST(IniFile, AFileOfCrLfLinesWithinTheCapIsReadAndSaved) {
    TempDir dir;
    auto file = dir / "config.ini";
    writeFile(file, linesOf(70278, "\r\n"));
    EXPECT_EQ(IniFile::read(file).state, krv::FileState::Readable);
    krv::test::requireOk(IniFile::writeString(file, "S", "k", "v"));
    EXPECT_EQ(IniFile::readString(file, "S", "k"), "v");
}

// A change that would take a file past what the reader accepts is refused, and the file stays as it was.
TEST(IniFile, AChangePastACapIsRefusedBeforeAnythingIsWritten) {
    struct Case {
        const char* name;
        std::string before;
        std::string value; // written to [S] k
        const char* message;
    };
    const std::string bigValue(IniFile::MaxFileBytes / 2, 'x');
    const std::vector<Case> cases{
        {"lines", linesOf(IniFile::MaxLineBreaks, "\r\n"), "v", "more than 131072 lines"},
        {"bytes", "[S]\r\na=" + bigValue + "\r\n", bigValue, "larger than 4 MiB"},
        {"bytes as UTF-16", std::string("\xFF\xFE", 2) + "[\0S\0]\0\r\0\n\0" + std::string(IniFile::MaxFileBytes / 2, 'x'),
         std::string(IniFile::MaxFileBytes / 4, 'y'), "larger than 4 MiB"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        auto file = dir / "config.ini";
        writeFile(file, c.before);
        ASSERT_EQ(IniFile::read(file).state, krv::FileState::Readable) << c.name;
        const krv::FileStatus saved = IniFile::writeString(file, "S", "k", c.value);
        EXPECT_FALSE(saved) << c.name;
        EXPECT_NE(saved.message().find(c.message), std::string::npos) << c.name << ": " << saved.message();
        EXPECT_EQ(readFile(file), c.before) << c.name;
        EXPECT_EQ(IniFile::read(file).state, krv::FileState::Readable) << c.name;
    }
}

// An export goes to a file the user chose: no lock file is left beside it. The program's own files
// keep theirs, which every process of the program shares.
TEST(IniFile, OnlyTheProgramsOwnFilesGetALockFile) {
    TempDir dir;
    auto exported = dir / "notes.txt";
    krv::test::requireOk(IniFile::update(
        exported, [](krv::IniDocument& doc) { doc.write("Config7", "K1", "1"); return krv::FileStatus::success(); },
        nullptr, krv::FileLock::None));
    EXPECT_EQ(readFile(exported), "[Config7]\r\nK1=1\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir / ".notes.txt.lock"));

    krv::test::requireOk(IniFile::writeString(dir / "config.ini", "Init", "CurConfig", "1"));
    EXPECT_TRUE(std::filesystem::exists(dir / ".config.ini.lock"));
}

} // namespace

#ifndef _WIN32
namespace {

// Another user's ids ("nobody"), for the tests that need files of someone else: they run as root.
std::optional<std::pair<uid_t, gid_t>> anotherUser() {
    if (::geteuid() != 0)
        return std::nullopt;
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr)
        return std::nullopt;
    return std::pair{nobody->pw_uid, nobody->pw_gid};
}

// A link at the file's name is followed only when the user (or the administrator) made it, as the
// kernel's protected_symlinks rule does in sticky folders; another user's link is refused with the
// files left as they were.
TEST(IniFile, ASaveFollowsOnlyTheUsersOwnLinks) {
    const auto other = anotherUser();
    if (!other)
        GTEST_SKIP() << "needs root and a user \"nobody\"";
    struct Case {
        const char* name;
        bool othersLink;
        enum class Via { Nothing, UsersLink, OthersLink } via; // a second link between the link and the file
        bool saved;
    };
    using Via = Case::Via;
    for (const Case& c : {Case{"the user's link", false, Via::Nothing, true},
                          Case{"another user's link", true, Via::Nothing, false},
                          Case{"the user's link to the user's link", false, Via::UsersLink, true},
                          Case{"the user's link to another user's link", false, Via::OthersLink, false}}) {
        TempDir dir;
        auto real = dir / "victim.ini";
        auto link = dir / "export.ini";
        writeFile(real, "[S]\nk=1\n");
        if (c.via != Via::Nothing) {
            auto between = dir / "shared.ini";
            std::filesystem::create_symlink(real, between);
            if (c.via == Via::OthersLink) {
                ASSERT_EQ(::lchown(between.c_str(), other->first, other->second), 0);
            }
            std::filesystem::create_symlink("shared.ini", link); // relative, as a dotfile manager makes them
        } else {
            std::filesystem::create_symlink(real, link);
        }
        if (c.othersLink) {
            ASSERT_EQ(::lchown(link.c_str(), other->first, other->second), 0);
        }
        const krv::FileStatus saved =
            IniFile::update(link, [](krv::IniDocument& doc) { doc.write("S", "k", "2"); return krv::FileStatus::success(); },
                            nullptr, krv::FileLock::None);
        EXPECT_EQ(saved.ok(), c.saved) << c.name << ": " << saved.message();
        EXPECT_TRUE(std::filesystem::is_symlink(link)) << c.name;
        EXPECT_EQ(readFile(real), c.saved ? "[S]\nk=2\n" : "[S]\nk=1\n") << c.name;
        if (!c.saved) {
            EXPECT_NE(saved.message().find("link made by another user"), std::string::npos) << saved.message();
        }
    }
}

// A replaced file keeps its owner and group as well as its mode: the administrator saving a user's
// file must not leave it as root's.
TEST(IniFile, AReplacedFileKeepsItsOwnerGroupAndMode) {
    const auto other = anotherUser();
    if (!other)
        GTEST_SKIP() << "needs root and a user \"nobody\"";
    TempDir dir;
    auto file = dir / "config.ini";
    writeFile(file, "[Init]\r\nCurConfig=1\r\n");
    ASSERT_EQ(::chown(file.c_str(), other->first, other->second), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    krv::test::requireOk(IniFile::writeString(file, "Init", "CurConfig", "3"));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, other->first);
    EXPECT_EQ(st.st_gid, other->second);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(file), "[Init]\r\nCurConfig=3\r\n");
}

// A new file the administrator saves goes to the owner of its folder: into another user's folder it is
// theirs (else the user could not save it again), into the administrator's own folder it stays root's.
TEST(IniFile, ANewFileTheAdministratorSavesIsTheFoldersOwners) {
    const auto other = anotherUser();
    if (!other)
        GTEST_SKIP() << "needs root and a user \"nobody\"";
    struct Case {
        const char* folder;
        bool othersFolder;
    };
    for (const Case& c : {Case{"theirs", true}, Case{"roots", false}}) {
        TempDir top;
        const auto folder = top / c.folder;
        std::filesystem::create_directory(folder);
        if (c.othersFolder) {
            ASSERT_EQ(::chown(folder.c_str(), other->first, other->second), 0);
        }
        const auto file = folder / "appprofiles.ini";
        krv::test::requireOk(IniFile::writeString(file, "Programs", "steam", "2"));
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, c.othersFolder ? other->first : 0u) << c.folder;
        EXPECT_EQ(st.st_gid, c.othersFolder ? other->second : 0u) << c.folder;
        EXPECT_EQ(readFile(file), "[Programs]\r\nsteam=2\r\n") << c.folder;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, c.othersFolder ? other->first : 0u) << entry.path();
        }
    }
}

} // namespace
#endif
