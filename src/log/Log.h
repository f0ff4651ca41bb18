// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

namespace krv {

// The parts of the program that say what they do, each under a name of its own, so that a user
// chasing one problem turns on the details of that part alone.
enum class LogCategory { Device, Apply, Executor, InputBackend, Files, Instance };
inline constexpr int LogCategoryCount = 6;

// "device", "apply", "executor", "input", "files", "instance".
std::string_view LogCategoryName(LogCategory category);

// Warnings are what nobody else reports (a backend that could not start, a device fault the reader
// works around): they are always written. Details say what the program does and are written only when
// asked for; a failure that a caller reports to the user is a detail here, so it is not said twice.
enum class LogLevel { Detail, Warning };

// Where the log goes. One sink serves the whole process; it is chosen at start-up, before any thread
// that logs is started, and is called from every thread.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual bool enabled(LogCategory category, LogLevel level) const = 0;
    virtual void write(LogCategory category, LogLevel level, std::string_view text) = 0;
};

// A stream (standard error), one line per entry: "<program>: <category>: <text>". Details only when
// verbose. Lines of different threads never interleave.
class StreamLog final : public LogSink {
public:
    StreamLog(std::ostream& out, std::string_view program, bool verbose)
        : m_out(out), m_program(program), m_verbose(verbose) {}
    bool enabled(LogCategory category, LogLevel level) const override;
    void write(LogCategory category, LogLevel level, std::string_view text) override;

private:
    std::mutex m_mutex;
    std::ostream& m_out;
    std::string m_program;
    bool m_verbose;
};

// Makes sink the process's log (nullptr: standard error as "krv-glyde", warnings only). The sink must
// outlive every use of the log.
void SetLogSink(LogSink* sink);
LogSink& CurrentLogSink();

// Makes sink the process's log for the life of this object, then puts the earlier one back.
class ScopedLogSink {
public:
    explicit ScopedLogSink(LogSink& sink);
    ~ScopedLogSink();
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    LogSink* m_previous;
};

// One entry, written when it goes out of scope, and only formatted when its level is enabled:
//   LogDetail(LogCategory::Device) << "opened " << path;
class LogLine {
public:
    LogLine(LogCategory category, LogLevel level);
    ~LogLine();
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    template <typename T> LogLine& operator<<(const T& value) {
        if (m_text)
            *m_text << value;
        return *this;
    }

private:
    LogCategory m_category;
    LogLevel m_level;
    std::optional<std::ostringstream> m_text;
};

// A byte as two lower-case hex digits, as the reports are shown everywhere: "1f".
struct HexByte {
    std::uint8_t value;
};
std::ostream& operator<<(std::ostream& out, HexByte byte);

inline LogLine LogDetail(LogCategory category) { return LogLine(category, LogLevel::Detail); }
inline LogLine LogWarning(LogCategory category) { return LogLine(category, LogLevel::Warning); }

} // namespace krv
