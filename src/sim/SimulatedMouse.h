// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/MouseProtocol.h"
#include "ports/HidBackend.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace krv {

// What the simulated mouse keeps from the commands it received.
struct SimMouseState {
    bool plugged = true;
    bool refusingSends = false;
    // Device value per device button id 0..9 (index = id; 0 and 7 unused). The factory map gives
    // button b its own function b for 1..5.
    std::array<std::uint8_t, 10> buttonMap{};
    std::uint8_t dpiStage = 0;                 // stage index of the last 0x09
    std::array<std::uint8_t, 4> dpiPosition{}; // per stage, from the DPI and LED byte
    std::uint8_t ledMode = 0;
    std::uint8_t wheelOption = 0;
    std::uint8_t fireTime = 0; // the 0x12 byte (interval / 8)
    bool goodbye = false;      // 0x20 received
    int acknowledgementsSent = 0;
    std::vector<std::vector<std::uint8_t>> featureReports; // every accepted report, in order
};

// The mouse's firmware side of the protocol, as a HidBackend: it lists the mouse's pointer
// collection and its two vendor collections (0xFF00/1 input, 0xFF01/1 feature), accepts feature
// report 0x07 and keeps what each command sets, acknowledges a host-code assignment with input
// report (6, 0) after a short delay, and lets a caller press and release device buttons. It can be
// unplugged, refuse sends and deliver malformed or oversized reports.
//
// Thread-safe; handles stay valid (and fail) after the mouse is unplugged or destroyed.
class SimulatedMouse : public HidBackend {
public:
    static constexpr std::uint16_t VendorId = MouseVendorId;
    static constexpr std::uint16_t ProductId = MouseProductId;
    static constexpr std::uint16_t InputReportLength = 8;
    static constexpr std::uint16_t FeatureReportLength = 8;
    static constexpr std::uint8_t PointerReportId = 1; // the pointer collection's movement reports
    static constexpr std::uint8_t ButtonReportId = 5;  // presses and releases
    static constexpr std::uint8_t AcknowledgementReportId = 6;
    static inline const std::string PointerPath = "/dev/hidraw-sim0";
    static inline const std::string VendorPath = "/dev/hidraw-sim1"; // both vendor collections share it

    enum class Collection { Pointer, VendorInput, VendorFeature };

    SimulatedMouse();
    ~SimulatedMouse() override;

    // The listing: the mouse's collections in the given order (default pointer, input, feature),
    // and `others` (other devices; opening them gives a handle that never reports), listed after
    // the mouse or, with listedFirst, before it.
    void setEnumerationOrder(std::vector<Collection> order);
    void setOtherDevices(std::vector<HidCollectionInfo> others, bool listedFirst = false);
    // Collections whose open fails (to test a mouse with a collection that cannot be opened).
    void setOpenFailure(Collection collection, bool fails);
    static HidCollectionInfo collectionInfo(Collection collection);

    std::vector<HidCollectionInfo> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidAccess access) override;

    // Delay between a host-code assignment and the acknowledgement (6, 0). Default 20 ms.
    void setAcknowledgementDelay(std::chrono::milliseconds delay);
    // When false, host-code assignments are never acknowledged.
    void setAcknowledges(bool acknowledges);

    // A press of device button id 1..15 sends (5, 240 + id); a release sends (5, 0).
    void press(std::uint8_t deviceButtonId);
    void release();
    // Delivers any bytes as an input report (malformed, empty or oversized reports).
    void sendInputReport(std::vector<std::uint8_t> report);

    // Unplugging fails every handle's reads and sends and empties the listing; plugging in again
    // lists the mouse again (old handles stay dead).
    void unplug();
    void plugIn();
    void setRefuseSends(bool refuse);

    SimMouseState state() const;
    // Called after every change of state (a report accepted, an acknowledgement, plug changes), on
    // the thread that caused it, without internal locks held.
    void setChangeCallback(std::function<void()> onChange);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace krv
