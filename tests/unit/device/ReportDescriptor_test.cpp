// SPDX-License-Identifier: MIT
#include "device/ReportDescriptor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using krv::ParseReportDescriptor;
using krv::TopLevelCollection;

namespace {

std::vector<std::uint8_t> fixture(const std::string& name) {
    std::ifstream in(std::filesystem::path(KRV_TEST_DATA_DIR) / "descriptors" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct FixtureCase {
    const char* file;
    std::vector<TopLevelCollection> expected; // page, usage, input, output, feature lengths, input ids
};

TEST(ReportDescriptor, LengthsOfEachTopLevelCollectionAsWindowsStatesThem) {
    const std::vector<FixtureCase> cases{
        // The mouse: pointer (id 1, 6 bytes), vendor input (ids 5 and 6, 7 bytes), vendor feature (id 7, 7 bytes).
        {"krv-glyde-mouse.bin",
         {{0x0001, 0x02, 7, 0, 0, {1}}, {0xFF00, 0x01, 8, 0, 0, {5, 6}}, {0xFF01, 0x01, 0, 0, 8, {}}}},
        // No report ids: the id byte still counts (it is 0 on the wire).
        {"boot-keyboard.bin", {{0x0001, 0x06, 9, 2, 0, {}}}},
        {"boot-mouse.bin", {{0x0001, 0x02, 4, 0, 0, {}}}},
        // Several ids of one kind in a collection: the longest counts.
        {"keyboard-consumer-vendor.bin",
         {{0x0001, 0x06, 8, 0, 0, {1}}, {0x000C, 0x01, 3, 0, 0, {2}}, {0xFF00, 0x01, 0, 3, 64, {}}}},
    };
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.file);
        const auto bytes = fixture(c.file);
        ASSERT_FALSE(bytes.empty());
        const auto parsed = ParseReportDescriptor(bytes);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(*parsed, c.expected);
    }
}

TEST(ReportDescriptor, MalformedDescriptorsAreRejected) {
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> cases{
        {"item cut off", {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x26, 0xFF}},
        {"four-byte item cut off", {0x07, 0x00, 0x00}},
        {"long item cut off", {0xFE, 0x05, 0x00, 0x01}},
        {"end collection without collection", {0x05, 0x01, 0xC0}},
        {"pop without push", {0xB4}},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(ParseReportDescriptor(bytes).has_value());
    }
}

TEST(ReportDescriptor, ExtendedUsagePushPopAndLongItems) {
    const std::vector<std::uint8_t> bytes{
        0x05, 0x01,                   // usage page 1 (overridden by the extended usage)
        0x0B, 0x01, 0x00, 0x01, 0xFF, // usage 0xFF01:0001 (page in the high half)
        0xA1, 0x01,                   // collection
        0x75, 0x08, 0x95, 0x03,       //   size 8, count 3
        0xA4,                         //   push
        0x95, 0x10,                   //   count 16
        0xB1, 0x02,                   //   feature: 16 bytes
        0xB4,                         //   pop: count 3 again
        0xFE, 0x02, 0x10, 0xAA, 0xBB, //   a long item, skipped
        0x81, 0x02,                   //   input: 3 bytes
        0xC0, 0xA1, 0x01, 0xC0,       // a collection without usage and reports
    };
    const auto parsed = ParseReportDescriptor(bytes);
    ASSERT_TRUE(parsed.has_value());
    const std::vector<TopLevelCollection> expected{{0xFF01, 0x0001, 4, 0, 17, {}}, {0x0001, 0x0000, 0, 0, 0, {}}};
    EXPECT_EQ(*parsed, expected);
}

TEST(ReportDescriptor, HugeSizesAreCappedAndEmptyInputGivesNoCollections) {
    // size 0xFFFFFFFF, count 0xFFFFFFFF: the length saturates instead of wrapping.
    const std::vector<std::uint8_t> bytes{0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF,
                                          0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0x81, 0x02, 0xC0};
    const auto parsed = ParseReportDescriptor(bytes);
    ASSERT_TRUE(parsed.has_value());
    ASSERT_EQ(parsed->size(), 1u);
    EXPECT_EQ((*parsed)[0].inputReportLength, 0xFFFF);

    const auto empty = ParseReportDescriptor({});
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

} // namespace
