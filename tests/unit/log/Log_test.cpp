// SPDX-License-Identifier: MIT
#include "log/Log.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace krv;

namespace {

// Records what reaches it, and how often a line was formatted for it.
class RecordingLog final : public LogSink {
public:
    bool enabled(LogCategory, LogLevel level) const override { return detailsOn || level == LogLevel::Warning; }
    void write(LogCategory category, LogLevel level, std::string_view text) override {
        lines.push_back(std::string(LogCategoryName(category)) + (level == LogLevel::Warning ? " W " : " D ") +
                        std::string(text));
    }
    bool detailsOn = false;
    std::vector<std::string> lines;
};

struct Formatted {
    int* count;
};
std::ostream& operator<<(std::ostream& out, const Formatted& f) {
    ++*f.count;
    return out << "formatted";
}

TEST(Log, StreamLogIsQuietUnlessVerbose) {
    struct Case {
        bool verbose;
        std::string expected;
    };
    for (const Case& c : {Case{false, "krv-glyde-ctl: files: cannot create /x\n"},
                          Case{true, "krv-glyde-ctl: device: scan of 3 HID collections\n"
                                     "krv-glyde-ctl: files: cannot create /x\n"}}) {
        std::ostringstream err;
        StreamLog log(err, "krv-glyde-ctl", c.verbose);
        const ScopedLogSink scoped(log);
        LogDetail(LogCategory::Device) << "scan of " << 3 << " HID collections";
        LogWarning(LogCategory::Files) << "cannot create " << "/x";
        EXPECT_EQ(err.str(), c.expected) << "verbose " << c.verbose;
    }
}

TEST(Log, ALineIsFormattedOnlyWhenItsLevelIsOn) {
    RecordingLog log;
    const ScopedLogSink scoped(log);
    int formatted = 0;
    LogDetail(LogCategory::Executor) << Formatted{&formatted};
    EXPECT_EQ(formatted, 0);
    EXPECT_TRUE(log.lines.empty());
    log.detailsOn = true;
    LogDetail(LogCategory::Executor) << Formatted{&formatted};
    LogWarning(LogCategory::InputBackend) << "none";
    EXPECT_EQ(formatted, 1);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"executor D formatted", "input W none"}));
}

TEST(Log, ScopedSinkPutsTheEarlierOneBack) {
    RecordingLog outer, inner;
    {
        const ScopedLogSink first(outer);
        {
            const ScopedLogSink second(inner);
            LogWarning(LogCategory::Apply) << "inner";
        }
        LogWarning(LogCategory::Instance) << "outer";
    }
    EXPECT_EQ(inner.lines, (std::vector<std::string>{"apply W inner"}));
    EXPECT_EQ(outer.lines, (std::vector<std::string>{"instance W outer"}));
}

TEST(Log, LinesOfThreadsNeverInterleave) {
    std::ostringstream err;
    StreamLog log(err, "p", true);
    const ScopedLogSink scoped(log);
    const std::string longText(200, 'x');
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 200; ++i)
                    LogDetail(LogCategory::Device) << longText;
            });
    }
    std::istringstream lines(err.str());
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        ASSERT_EQ(line, "p: device: " + longText);
    EXPECT_EQ(count, 800);
}

} // namespace
