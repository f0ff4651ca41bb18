// SPDX-License-Identifier: MIT
#pragma once

#include "ports/HidBackend.h"

#include <filesystem>

namespace krv {

// HidBackend on hidapi's hidraw backend. hidapi lists the collections of each node, all with the
// node's path (0.13 lists nested collections as well). The listing is rebuilt from the node's report
// descriptor in sysfs, parsed with our own parser: one entry per top-level collection, with report
// lengths counted the way the Windows HID parser counts them.
class HidrawBackend : public HidBackend {
public:
    // sysfsRoot is where "class/hidraw/<node>/device/report_descriptor" is found (tests use a copy).
    explicit HidrawBackend(std::filesystem::path sysfsRoot = "/sys");
    ~HidrawBackend() override;

    std::vector<HidCollectionInfo> enumerate() override;
    std::unique_ptr<HidHandle> open(const std::string& path, HidAccess access) override;

    // Turns hidapi's listing into one entry per top-level collection of each node's descriptor, in
    // descriptor order, with lengths and input report ids; ids and path come from hidapi's entry. A
    // node whose descriptor cannot be read or parsed keeps hidapi's entries, with lengths 0.
    std::vector<HidCollectionInfo> describeCollections(const std::vector<HidCollectionInfo>& listed) const;

private:
    std::filesystem::path m_sysfsRoot;
};

} // namespace krv
