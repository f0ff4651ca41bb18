// SPDX-License-Identifier: MIT
#include "device/ReportDescriptor.h"

#include <algorithm>
#include <map>
#include <utility>

namespace krv {

namespace {

constexpr std::size_t MaxCollectionDepth = 64;
constexpr std::size_t MaxPushDepth = 64;
constexpr std::uint64_t MaxReportBits = 0xFFFFull * 8; // a report longer than 65535 bytes is cut there

enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2 };
enum MainTag : std::uint8_t { Input = 0x8, Output = 0x9, Collection = 0xA, Feature = 0xB, EndCollection = 0xC };
enum GlobalTag : std::uint8_t {
    UsagePage = 0x0,
    ReportSize = 0x7,
    ReportId = 0x8,
    ReportCount = 0x9,
    Push = 0xA,
    Pop = 0xB
};
enum LocalTag : std::uint8_t { Usage = 0x0 };

struct GlobalState {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

enum Kind { KindInput = 0, KindOutput = 1, KindFeature = 2 };

// Bits of each report, by kind and report id, within one top-level collection.
struct CollectionReports {
    TopLevelCollection caps;
    std::map<std::pair<int, std::uint32_t>, std::uint64_t> bits;
};

std::uint16_t byteLength(const CollectionReports& reports, int kind) {
    std::uint64_t longest = 0;
    bool any = false;
    for (const auto& [key, bits] : reports.bits)
        if (key.first == kind) {
            any = true;
            longest = std::max(longest, (bits + 7) / 8);
        }
    if (!any)
        return 0;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(longest + 1, 0xFFFF));
}

} // namespace

std::optional<std::vector<TopLevelCollection>> ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    std::vector<CollectionReports> collections;
    GlobalState global;
    std::vector<GlobalState> pushed;
    std::size_t depth = 0;
    std::uint32_t firstUsage = 0; // the first Usage of the current local items (with its page when extended)
    bool haveUsage = false;
    bool usageExtended = false;

    std::size_t pos = 0;
    while (pos < descriptor.size()) {
        const std::uint8_t prefix = descriptor[pos++];
        if (prefix == 0xFE) { // long item: size, tag, data; no long items are defined
            if (descriptor.size() - pos < 2)
                return std::nullopt;
            const std::size_t size = descriptor[pos];
            pos += 2;
            if (descriptor.size() - pos < size)
                return std::nullopt;
            pos += size;
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (descriptor.size() - pos < size)
            return std::nullopt;
        std::uint32_t data = 0;
        for (std::size_t i = 0; i < size; ++i)
            data |= static_cast<std::uint32_t>(descriptor[pos + i]) << (8 * i);
        pos += size;
        const auto type = static_cast<std::uint8_t>((prefix >> 2) & 3);
        const auto tag = static_cast<std::uint8_t>(prefix >> 4);

        if (type == Global) {
            switch (tag) {
            case UsagePage:
                global.usagePage = data;
                break;
            case ReportSize:
                global.reportSize = data;
                break;
            case ReportId:
                global.reportId = data;
                break;
            case ReportCount:
                global.reportCount = data;
                break;
            case Push:
                if (pushed.size() >= MaxPushDepth)
                    return std::nullopt;
                pushed.push_back(global);
                break;
            case Pop:
                if (pushed.empty())
                    return std::nullopt;
                global = pushed.back();
                pushed.pop_back();
                break;
            default:
                break;
            }
            continue;
        }
        if (type == Local) {
            if (tag == Usage && !haveUsage) {
                firstUsage = data;
                haveUsage = true;
                usageExtended = size == 4;
            }
            continue;
        }
        if (type != Main)
            continue; // reserved item type

        switch (tag) {
        case Collection:
            if (depth == 0) {
                CollectionReports reports;
                reports.caps.usagePage =
                    static_cast<std::uint16_t>(usageExtended ? firstUsage >> 16 : global.usagePage);
                reports.caps.usage = static_cast<std::uint16_t>(haveUsage ? firstUsage & 0xFFFF : 0);
                collections.push_back(std::move(reports));
            }
            if (++depth > MaxCollectionDepth)
                return std::nullopt;
            break;
        case EndCollection:
            if (depth == 0)
                return std::nullopt;
            --depth;
            break;
        case Input:
        case Output:
        case Feature:
            if (depth > 0) {
                const int kind = tag == Input ? KindInput : tag == Output ? KindOutput : KindFeature;
                std::uint64_t& bits = collections.back().bits[{kind, global.reportId}];
                const std::uint64_t added = static_cast<std::uint64_t>(global.reportSize) * global.reportCount;
                bits = std::min(bits + std::min(added, MaxReportBits), MaxReportBits);
            }
            break;
        default:
            break;
        }
        // Local items last until the next main item.
        haveUsage = false;
        usageExtended = false;
        firstUsage = 0;
    }

    std::vector<TopLevelCollection> result;
    result.reserve(collections.size());
    for (CollectionReports& reports : collections) {
        for (const auto& [key, bits] : reports.bits)
            if (key.first == KindInput && key.second != 0)
                reports.caps.inputReportIds.push_back(static_cast<std::uint8_t>(key.second & 0xFF));
        reports.caps.inputReportLength = byteLength(reports, KindInput);
        reports.caps.outputReportLength = byteLength(reports, KindOutput);
        reports.caps.featureReportLength = byteLength(reports, KindFeature);
        result.push_back(reports.caps);
    }
    return result;
}

} // namespace krv
