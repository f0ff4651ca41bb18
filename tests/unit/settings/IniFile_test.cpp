// SPDX-License-Identifier: MIT
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
