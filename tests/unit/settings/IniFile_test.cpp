// SPDX-License-Identifier: MIT
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "unit/RequireOk.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

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
