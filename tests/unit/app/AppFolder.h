// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include "unit/TempDir.h"

#include <filesystem>

namespace krv::test {

// A program folder in a temporary place holding the shipped config.ini and macro files.
class AppFolder {
public:
    AppFolder() {
        namespace fs = std::filesystem;
        const fs::path shipped = KRV_SHIPPED_DATA_DIR;
        for (const char* rel :
             {"config.ini", "Macro_EN.dat", "Macro_CN.dat", "skins/INI_EN/defMacro.dat", "skins/INI_CN/defMacro.dat"}) {
            fs::create_directories((m_dir.path() / rel).parent_path());
            fs::copy_file(shipped / rel, m_dir.path() / rel);
        }
    }
    AppPaths paths() const { return AppPaths{m_dir.path()}; }
    std::filesystem::path operator/(const std::filesystem::path& rel) const { return m_dir / rel; }
    std::map<std::string, std::string> snapshot() const { return snapshotOf(m_dir.path()); }
    // A second folder beside it, for the user's other files.
    const TempDir& temp() const { return m_other; }

private:
    TempDir m_dir;
    TempDir m_other;
};

} // namespace krv::test
