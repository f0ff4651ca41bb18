#include "settings/IniFile.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {

namespace fs = std::filesystem;

namespace {

// The file a write really replaces: a link is followed, so the link itself stays a link.
fs::path writeTarget(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec)
            return resolved;
    }
    return file;
}

// One mutex per file for the life of the process: writes to one file are serialised.
std::mutex& writeLockFor(const fs::path& file) {
    static std::mutex registryLock;
    static std::map<std::string, std::unique_ptr<std::mutex>> locks;
    std::error_code ec;
    fs::path key = fs::absolute(file, ec);
    std::lock_guard guard(registryLock);
    auto& slot = locks[(ec ? file : key).lexically_normal().string()];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}

bool readWholeFile(const fs::path& file, std::string& bytes) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > IniFile::MaxFileBytes) {
        ::close(fd);
        return false;
    }
    bytes.clear();
    char buffer[64 * 1024];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > IniFile::MaxFileBytes) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

} // namespace

bool FileSink::write(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

IniDocument IniFile::load(const fs::path& file) {
    std::string bytes;
    if (!readWholeFile(file, bytes))
        return {};
    return IniDocument::parse(bytes);
}

std::string IniFile::readString(const fs::path& file, std::string_view section, std::string_view key,
                                std::string_view defaultValue, std::size_t bufferChars) {
    return load(file).read(section, key, defaultValue, bufferChars);
}

bool IniFile::writeString(const fs::path& file, std::string_view section, std::string_view key,
                          std::string_view value) {
    return update(file, [&](IniDocument& doc) { doc.write(section, key, value); });
}

bool IniFile::update(const fs::path& file, const std::function<void(IniDocument&)>& change, FileSink* sink) {
    const fs::path target = writeTarget(file);
    std::lock_guard guard(writeLockFor(target));
    std::string before;
    bool existed = readWholeFile(target, before);
    std::error_code ec;
    if (!existed && fs::symlink_status(target, ec).type() != fs::file_type::not_found)
        return false; // present but unreadable (a folder, no permission): never replace what cannot be kept
    IniDocument doc = existed ? IniDocument::parse(before) : IniDocument{};
    change(doc);
    std::string after = doc.serialize();
    if (existed && after == before)
        return true;
    return replaceFile(target, after, sink);
}

bool IniFile::replaceFile(const fs::path& file, std::string_view bytes, FileSink* sink) {
    FileSink plain;
    if (!sink)
        sink = &plain;
    const fs::path target = writeTarget(file);
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return false;
    struct stat st {};
    mode_t mode = (::stat(target.c_str(), &st) == 0) ? (st.st_mode & 07777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0 && sink->write(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(pattern.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(pattern.c_str());
        return false;
    }
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool IniFile::exists(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

} // namespace krv
