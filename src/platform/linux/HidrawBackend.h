#pragma once

#include "device/HidBackend.h"

#include <filesystem>

namespace krv {

// HidBackend on hidapi's hidraw backend. hidapi lists one entry per top-level collection, all with
// the node's path; the report lengths come from the node's report descriptor in sysfs, parsed with
// our own parser the way the Windows HID parser counts them.
class HidrawBackend : public HidBackend {
public:
    // sysfsRoot is where "class/hidraw/<node>/device/report_descriptor" is found (tests use a copy).
    explicit HidrawBackend(std::filesystem::path sysfsRoot = "/sys");
    ~HidrawBackend() override;

    std::vector<HidCollectionInfo> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidAccess access) override;

    // Fills the report lengths of collections listed for one node from its descriptor: the n-th
    // listed collection with a usage page and usage takes the n-th top-level collection with them.
    // Lengths stay 0 when the descriptor cannot be read or parsed.
    void fillReportLengths(std::vector<HidCollectionInfo>& collections) const;

private:
    std::filesystem::path m_sysfsRoot;
};

} // namespace krv
