// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>

namespace krv::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path() / ("krv-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Every file under folder (relative name -> bytes; a folder shows as "<folder>"), to check that an
// operation left the user's files exactly as they were. The program's lock files (".<name>.lock")
// are not the user's and are left out.
inline std::map<std::string, std::string> snapshotOf(const std::filesystem::path& folder);

inline void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::map<std::string, std::string> snapshotOf(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 6 && name.front() == '.' && name.ends_with(".lock"))
            continue;
        // Only regular files are read: a FIFO would never answer.
        files[std::filesystem::relative(entry.path(), folder).string()] =
            entry.is_directory()      ? std::string("<folder>")
            : entry.is_regular_file() ? readFile(entry.path())
                                      : std::string("<special>");
    }
    return files;
}

} // namespace krv::test
