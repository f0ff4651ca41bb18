// SPDX-License-Identifier: MIT
#include "log/Log.h"

#include <atomic>
#include <iostream>
#include <string>

namespace krv {

namespace {

StreamLog& quietStandardError() {
    static StreamLog log(std::cerr, "krv-glyde", false);
    return log;
}

std::atomic<LogSink*> currentSink{nullptr};

} // namespace

std::string_view LogCategoryName(LogCategory category) {
    switch (category) {
    case LogCategory::Device:
        return "device";
    case LogCategory::Apply:
        return "apply";
    case LogCategory::Executor:
        return "executor";
    case LogCategory::InputBackend:
        return "input";
    case LogCategory::Files:
        return "files";
    case LogCategory::Instance:
        return "instance";
    }
    return "?";
}

bool StreamLog::enabled(LogCategory, LogLevel level) const {
    return m_verbose || level == LogLevel::Warning;
}

void StreamLog::write(LogCategory category, LogLevel, std::string_view text) {
    std::string line;
    line.reserve(m_program.size() + text.size() + 16);
    line.append(m_program).append(": ").append(LogCategoryName(category)).append(": ").append(text).push_back('\n');
    std::lock_guard lock(m_mutex);
    m_out.write(line.data(), static_cast<std::streamsize>(line.size()));
    m_out.flush();
}

void SetLogSink(LogSink* sink) { currentSink.store(sink, std::memory_order_release); }

LogSink& CurrentLogSink() {
    LogSink* sink = currentSink.load(std::memory_order_acquire);
    return sink ? *sink : quietStandardError();
}

ScopedLogSink::ScopedLogSink(LogSink& sink) : m_previous(currentSink.exchange(&sink, std::memory_order_acq_rel)) {}

ScopedLogSink::~ScopedLogSink() { currentSink.store(m_previous, std::memory_order_release); }

std::ostream& operator<<(std::ostream& out, HexByte byte) {
    constexpr char Digits[] = "0123456789abcdef";
    return out << Digits[byte.value >> 4] << Digits[byte.value & 0x0F];
}

LogLine::LogLine(LogCategory category, LogLevel level) : m_category(category), m_level(level) {
    if (CurrentLogSink().enabled(category, level))
        m_text.emplace();
}

LogLine::~LogLine() {
    if (m_text)
        CurrentLogSink().write(m_category, m_level, m_text->view());
}

} // namespace krv
