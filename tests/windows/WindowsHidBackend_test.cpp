// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsHidBackend.h"

#include "WindowsTestSupport.h"
#include "device/DeviceLink.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <future>
#include <thread>

namespace krv {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

TEST(FeatureReportBuffer, IsExactlyTheCollectionsFeatureLength) {
    struct Row {
        Bytes report;
        std::size_t featureLength;
        Bytes expected; // empty: not sent
    };
    const Row rows[] = {
        {{7, 0x10, 1, 2}, 9, {7, 0x10, 1, 2, 0, 0, 0, 0, 0}}, // padded with zeros
        {{7, 0x10, 1, 2}, 4, {7, 0x10, 1, 2}},                // already whole
        {{7, 0x10, 1, 2, 0, 0}, 4, {7, 0x10, 1, 2}},          // zeros beyond the length are dropped
        {{7, 0x10, 1, 2, 0, 5}, 4, {}},                       // a byte that would be lost: refused
        {{}, 9, {}},                                          // nothing to send
        {{7, 0x20, 0, 0}, 0, {}},                             // the collection has no feature reports
        {{7}, 3, {7, 0, 0}},                                  // a bare report id (a get)
    };
    for (const Row& row : rows)
        EXPECT_EQ(FeatureReportBuffer(row.report, row.featureLength), row.expected)
            << "report of " << row.report.size() << " bytes, length " << row.featureLength;
}

// The mouse on Windows: one interface path per collection.
constexpr const char* Pointer = R"(\\?\hid#vid_18f8&pid_0f99&mi_00#7&1&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* VendorIn =
    R"(\\?\hid#vid_18f8&pid_0f99&mi_01&col01#7&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* VendorOut =
    R"(\\?\hid#vid_18f8&pid_0f99&mi_01&col02#7&2&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* Keyboard = R"(\\?\hid#vid_046d&pid_c31c&mi_00#7&3&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";
constexpr const char* OtherVendor =
    R"(\\?\hid#vid_1234&pid_0f99&mi_01&col01#7&4&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030})";

HidInterfaceRecord record(const char* path, std::uint16_t vendor, std::uint16_t product, std::uint16_t page,
                          std::uint16_t usage, std::uint16_t in, std::uint16_t feature) {
    return {path, vendor, product, true, page, usage, in, feature};
}

const HidInterfaceRecord PointerRecord = record(Pointer, 0x18F8, 0x0F99, 0x0001, 0x0002, 8, 0);
const HidInterfaceRecord InRecord = record(VendorIn, 0x18F8, 0x0F99, 0xFF00, 1, 8, 0);
const HidInterfaceRecord OutRecord = record(VendorOut, 0x18F8, 0x0F99, 0xFF01, 1, 0, 9);
const HidInterfaceRecord KeyboardRecord = record(Keyboard, 0x046D, 0xC31C, 0x0001, 0x0006, 9, 0);

// What the device link makes of a listing: the system's interfaces go through the backend's
// description into the scan, which picks the two vendor collections. The paths are not real, so
// opening them fails: the scan reports the first path it tried to open.
TEST(WindowsHidBackend, TheScanPicksBothVendorCollectionsOfTheListing) {
    HidInterfaceRecord unreadableIds{VendorIn, std::nullopt, 0, false, 0, 0, 0, 0};
    HidInterfaceRecord outWithoutCaps = OutRecord;
    outWithoutCaps.capsKnown = false;
    HidInterfaceRecord otherVendorIn = InRecord;
    otherVendorIn.path = OtherVendor;
    otherVendorIn.vendorId = 0x1234;
    HidInterfaceRecord secondIn = InRecord;
    secondIn.path = std::string(VendorIn) + "-second";

    struct Row {
        const char* name;
        std::vector<HidInterfaceRecord> listing;
        DeviceLink::ScanReport::Problem problem;
        std::string node;      // the node the report names
        std::string readPath;  // the collection taken for reading ("" none)
        std::string writePath; // for writing
    };
    using Problem = DeviceLink::ScanReport::Problem;
    const Row rows[] = {
        {"the whole mouse among other devices",
         {KeyboardRecord, PointerRecord, InRecord, OutRecord},
         Problem::NotAccessible,
         VendorIn,
         VendorIn,
         VendorOut},
        {"feature collection listed first",
         {OutRecord, KeyboardRecord, InRecord, PointerRecord},
         Problem::NotAccessible,
         VendorOut,
         VendorIn,
         VendorOut},
        {"two input collections: the first counts",
         {InRecord, secondIn, OutRecord},
         Problem::NotAccessible,
         VendorIn,
         VendorIn,
         VendorOut},
        {"no mouse", {KeyboardRecord}, Problem::NotPluggedIn, "", "", ""},
        {"another vendor's collections with the same usage",
         {otherVendorIn, KeyboardRecord},
         Problem::NotPluggedIn,
         "",
         "",
         ""},
        {"the mouse's ids cannot be read", {unreadableIds, KeyboardRecord}, Problem::NotPluggedIn, "", "", ""},
        {"the feature collection's capabilities cannot be read",
         {PointerRecord, InRecord, outWithoutCaps},
         Problem::NotAccessible,
         VendorIn,
         VendorIn,
         ""},
        {"only the pointer", {PointerRecord}, Problem::CollectionMissing, Pointer, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WindowsHidBackend backend([&] { return row.listing; });
        DeviceLink link(backend);
        EXPECT_FALSE(link.ScanForMouse());
        const DeviceLink::ScanReport report = link.lastScan();
        EXPECT_EQ(report.problem, row.problem);
        EXPECT_EQ(report.node, row.node);
        const auto readCollection = link.readCollection();
        const auto writeCollection = link.writeCollection();
        EXPECT_EQ(readCollection ? readCollection->path : "", row.readPath);
        EXPECT_EQ(writeCollection ? writeCollection->path : "", row.writePath);
        if (!row.readPath.empty()) {
            EXPECT_EQ(link.inputReportLength(), 8);
        }
        if (!row.writePath.empty()) {
            EXPECT_EQ(link.featureReportLength(), 9);
        }
    }
}

TEST(WindowsHidBackend, AnInterfaceWithoutCapabilitiesIsListedWithoutUsageOrLengths) {
    HidInterfaceRecord noCaps = OutRecord;
    noCaps.capsKnown = false;
    const std::vector<HidCollectionInfo> list = DescribeInterfaces({noCaps, PointerRecord});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, VendorOut);
    EXPECT_EQ(list[0].vendorId, 0x18F8);
    EXPECT_EQ(list[0].usagePage, 0);
    EXPECT_EQ(list[0].featureReportLength, 0);
    EXPECT_EQ(list[1].usagePage, 1);
    EXPECT_EQ(list[1].inputReportLength, 8);
}

// The system's own listing: SetupAPI runs (Wine lists its own HID devices, if any), the mouse is
// not there, and enumerating leaves no handle open.
TEST(WindowsHidBackend, TheSystemsListingHasNoMouseAndLeaksNoHandles) {
    const std::vector<HidInterfaceRecord> records = WindowsHidBackend::ListHidInterfaces();
    for (const HidInterfaceRecord& interfaceRecord : records) {
        EXPECT_FALSE(interfaceRecord.path.empty());
        EXPECT_FALSE(interfaceRecord.vendorId == 0x18F8 && interfaceRecord.productId == 0x0F99) << interfaceRecord.path;
    }
    WindowsHidBackend backend;
    DeviceLink link(backend);
    EXPECT_FALSE(link.ScanForMouse());
    EXPECT_EQ(link.lastScan().problem, DeviceLink::ScanReport::Problem::NotPluggedIn);

    constexpr int Runs = 20;
    EXPECT_LT(test::HandlesLeftOpen(Runs,
                                    [&] {
                                        (void)backend.enumerate();
                                        (void)link.ScanForMouse();
                                    }),
              Runs);
}

TEST(WindowsHidBackend, OpeningAMissingInterfaceFailsWithTheSystemsReason) {
    WindowsHidBackend backend;
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    char selfUtf8[MAX_PATH * 3];
    ASSERT_GT(WideCharToMultiByte(CP_UTF8, 0, self, -1, selfUtf8, sizeof selfUtf8, nullptr, nullptr), 0);
    constexpr int Runs = 10;
    EXPECT_LT(
        test::HandlesLeftOpen(Runs,
                              [&] {
                                  for (HidAccess access : {HidAccess::Read, HidAccess::Write}) {
                                      errno = 0;
                                      EXPECT_EQ(backend.open(VendorIn, access), nullptr);
                                      EXPECT_EQ(errno, ENOENT);
                                      EXPECT_FALSE(backend.lastOpenError().empty());
                                  }
                                  // A file that is no HID collection opens, but is refused.
                                  EXPECT_EQ(backend.open(selfUtf8, HidAccess::Read), nullptr);
                                  EXPECT_NE(backend.lastOpenError().find("not a HID collection"), std::string::npos)
                                      << backend.lastOpenError();
                              }),
        Runs);
}

// The system's own HID collections (under Wine its virtual mouse and keyboard): opened for reading,
// a read without input waits until its time is out or until it is interrupted, with no report
// invented; opened for writing, a collection without feature reports refuses a send.
TEST(WindowsHidBackend, CollectionsOfTheSystemAreReadWithTimeoutAndInterrupt) {
    WindowsHidBackend backend;
    const std::vector<HidCollectionInfo> collections = backend.enumerate();
    int read = 0;
    auto readEach = [&] {
        read = 0;
        for (const HidCollectionInfo& collection : collections) {
            SCOPED_TRACE(collection.path);
            if (collection.inputReportLength == 0)
                continue;
            std::unique_ptr<HidHandle> handle = backend.open(collection.path, HidAccess::Read);
            if (!handle)
                continue; // held by the system
            ++read;
            Bytes buffer(collection.inputReportLength);
            EXPECT_EQ(handle->readInputReport(buffer, 30ms), 0);
            auto waiting = std::async(std::launch::async, [&] {
                Bytes report(collection.inputReportLength);
                return handle->readInputReport(report, HidHandle::WaitForever);
            });
            handle->interruptRead(); // during the read or just before it: either way it ends it
            ASSERT_EQ(waiting.wait_for(test::EventBound), std::future_status::ready);
            EXPECT_EQ(waiting.get(), 0);
            EXPECT_FALSE(handle->sendFeatureReport(Bytes{7, 0x20, 0, 0}));

            if (collection.featureReportLength == 0) {
                std::unique_ptr<HidHandle> writer = backend.open(collection.path, HidAccess::Write);
                if (writer) {
                    EXPECT_FALSE(writer->sendFeatureReport(Bytes{7, 0x20, 0, 0}));
                }
            }
        }
    };
    constexpr int Runs = 5;
    EXPECT_LT(test::HandlesLeftOpen(Runs, readEach), Runs);
    if (read == 0)
        GTEST_SKIP() << "the system lists no HID collection that may be read";
}

// The reader's overlapped reads, on a message-mode pipe: one write is one message, as one input
// report is one read on a HID collection.
class OverlappedRead : public testing::Test {
protected:
    static constexpr std::size_t ReportLength = 8;

    void SetUp() override {
        static std::atomic<int> number{0};
        const std::wstring name = L"\\\\.\\pipe\\krv-overlapped-read-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(number++);
        UniqueHandle server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0,
                                             nullptr));
        ASSERT_TRUE(server);
        m_writer.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(m_writer);
        std::string error;
        m_reader = OverlappedReadHandle::adopt(std::move(server), ReportLength, &error);
        ASSERT_NE(m_reader, nullptr) << error;
    }

    void send(const Bytes& message) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(m_writer.get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr));
        ASSERT_EQ(written, message.size());
    }

    Bytes read(std::size_t bufferSize, std::chrono::milliseconds timeout, int* result) {
        Bytes buffer(bufferSize, 0xEE);
        *result = m_reader->readInputReport(buffer, timeout);
        if (*result > 0)
            buffer.resize(static_cast<std::size_t>(*result));
        return buffer;
    }

    UniqueHandle m_writer;
    std::unique_ptr<OverlappedReadHandle> m_reader;
};

TEST_F(OverlappedRead, EachReadIsOneReportCutToTheBuffer) {
    send({6, 0, 1, 2, 3, 4, 5, 6});
    send({0x01, 0xF1});
    int result = 0;
    EXPECT_EQ(read(8, HidHandle::WaitForever, &result), (Bytes{6, 0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(result, 8);
    EXPECT_EQ(read(8, HidHandle::WaitForever, &result), (Bytes{0x01, 0xF1}));
    send({6, 0, 1, 2, 3, 4, 5, 6});
    Bytes cut = read(3, HidHandle::WaitForever, &result);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(cut, (Bytes{6, 0, 1}));
}

TEST_F(OverlappedRead, AReadWaitingForeverIsWokenByAnInterrupt) {
    for (int round = 0; round < 20; ++round) {
        std::promise<void> reading;
        auto result = std::async(std::launch::async, [&] {
            Bytes buffer(8);
            reading.set_value();
            return m_reader->readInputReport(buffer, HidHandle::WaitForever);
        });
        reading.get_future().wait();
        m_reader->interruptRead(); // lands during the read or just before it: either way it ends it
        ASSERT_EQ(result.wait_for(test::EventBound), std::future_status::ready);
        EXPECT_EQ(result.get(), 0);
    }
    // Nothing is left over from the interrupts: the next read gets the next report.
    send({6, 0});
    int result = 0;
    EXPECT_EQ(read(8, 5s, &result), (Bytes{6, 0}));
}

TEST_F(OverlappedRead, AnInterruptBeforeTheReadEndsOnlyTheNextRead) {
    send({6, 0});
    m_reader->interruptRead();
    m_reader->interruptRead(); // interrupts do not add up
    int result = -1;
    read(8, HidHandle::WaitForever, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read(8, HidHandle::WaitForever, &result), (Bytes{6, 0}));
}

TEST_F(OverlappedRead, ATimedOutReadLosesNoReport) {
    int result = -1;
    read(8, 20ms, &result);
    EXPECT_EQ(result, 0);
    read(8, 0ms, &result);
    EXPECT_EQ(result, 0);
    send({0x01, 0xF2});
    EXPECT_EQ(read(8, 5s, &result), (Bytes{0x01, 0xF2}));
}

TEST_F(OverlappedRead, ALostDeviceFailsTheRead) {
    auto result = std::async(std::launch::async, [&] {
        Bytes buffer(8);
        return m_reader->readInputReport(buffer, HidHandle::WaitForever);
    });
    m_writer.reset(); // the other end goes, as an unplugged device does
    ASSERT_EQ(result.wait_for(test::EventBound), std::future_status::ready);
    EXPECT_EQ(result.get(), -1);
    EXPECT_FALSE(m_reader->lastError().empty());
    Bytes buffer(8);
    EXPECT_EQ(m_reader->readInputReport(buffer, HidHandle::WaitForever), -1);
}

} // namespace
} // namespace krv
