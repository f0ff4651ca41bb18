// SPDX-License-Identifier: MIT
#include "platform/linux/HidrawBackend.h"

#include "device/DeviceLink.h"
#include "platform/linux/UdevMonitor.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace krv;

namespace {

std::string fixture(const std::string& name) {
    std::ifstream in(std::filesystem::path(KRV_TEST_DATA_DIR) / "descriptors" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

HidCollectionInfo listed(const std::string& path, std::uint16_t page, std::uint16_t usage) {
    HidCollectionInfo info;
    info.path = path;
    info.vendorId = 0x18F8;
    info.productId = 0x0F99;
    info.usagePage = page;
    info.usage = usage;
    return info;
}

TEST(HidrawBackend, ListingFollowsTheTopLevelCollectionsOfEachNodesDescriptor) {
    test::TempDir sysfs;
    test::writeFile(sysfs / "class/hidraw/hidraw7/device/report_descriptor", fixture("krv-glyde-mouse.bin"));
    // Two top-level collections with the same usage on one node, each with its own lengths.
    const std::string twins{"\x06\x00\xff\x09\x01\xa1\x01\x75\x08\x95\x03\xb1\x02\xc0"
                            "\x06\x00\xff\x09\x01\xa1\x01\x75\x08\x95\x01\x81\x02\xc0",
                            28};
    test::writeFile(sysfs / "class/hidraw/hidraw8/device/report_descriptor", twins);
    test::writeFile(sysfs / "class/hidraw/hidraw9/device/report_descriptor", std::string("\x05\x01\xa1", 3));

    HidrawBackend backend(sysfs.path());
    // As hidapi 0.13 lists them: the mouse's nested pointer collection (1, 1) too, and the twins once.
    const std::vector<HidCollectionInfo> hidapi{
        listed("/dev/hidraw7", 0x0001, 0x0002),
        listed("/dev/hidraw7", 0x0001, 0x0001),
        listed("/dev/hidraw7", 0xFF00, 1),
        listed("/dev/hidraw7", 0xFF01, 1),
        listed("/dev/hidraw8", 0xFF00, 1),
        listed("/dev/hidraw9", 0xFF00, 1), // malformed descriptor: kept as listed
        listed("/dev/hidraw5", 0xFF01, 1), // no descriptor at all: kept as listed
    };
    const auto list = backend.describeCollections(hidapi);
    struct Expected {
        std::string path;
        std::uint16_t page, usage, input, feature;
        std::vector<std::uint8_t> ids;
    };
    const std::vector<Expected> expected{
        {"/dev/hidraw7", 0x0001, 2, 7, 0, {1}}, {"/dev/hidraw7", 0xFF00, 1, 8, 0, {5, 6}},
        {"/dev/hidraw7", 0xFF01, 1, 0, 8, {}},  {"/dev/hidraw8", 0xFF00, 1, 0, 4, {}},
        {"/dev/hidraw8", 0xFF00, 1, 2, 0, {}},  {"/dev/hidraw9", 0xFF00, 1, 0, 0, {}},
        {"/dev/hidraw5", 0xFF01, 1, 0, 0, {}},
    };
    ASSERT_EQ(list.size(), expected.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list[i].path, expected[i].path);
        EXPECT_EQ(list[i].vendorId, 0x18F8);
        EXPECT_EQ(list[i].usagePage, expected[i].page);
        EXPECT_EQ(list[i].usage, expected[i].usage);
        EXPECT_EQ(list[i].inputReportLength, expected[i].input);
        EXPECT_EQ(list[i].featureReportLength, expected[i].feature);
        EXPECT_EQ(list[i].inputReportIds, expected[i].ids);
    }
}

TEST(HidrawBackend, WithoutTheMouseTheRealSystemEnumeratesCleanly) {
    HidrawBackend backend;
    for (const HidCollectionInfo& info : backend.enumerate())
        EXPECT_FALSE(info.path.empty());
    EXPECT_EQ(backend.open("/dev/hidraw-that-does-not-exist", HidAccess::Read), nullptr);

    DeviceLink link(backend);
    if (!link.ScanForMouse()) {
        EXPECT_FALSE(link.connected());
        EXPECT_FALSE(link.SendFeatureReport(FeatureCommand::Goodbye, 0, 0));
    }
}

TEST(UdevMonitor, ReadsWithoutBlockingOrSaysWhyItCannot) {
    UdevMonitor monitor;
    if (!monitor.valid()) {
        EXPECT_EQ(monitor.fd(), -1);
        EXPECT_FALSE(monitor.error().empty());
        EXPECT_TRUE(monitor.readChanges().empty());
        return;
    }
    EXPECT_GE(monitor.fd(), 0);
    (void)monitor.readChanges(); // returns at once whatever is waiting
}

} // namespace
