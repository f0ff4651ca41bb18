// SPDX-License-Identifier: MIT
// What a log line costs the threads that serve the buttons: a detail that is off (the default), and
// one that is on and written to a stream. Prints "name value unit".
#include "log/Log.h"

#include <chrono>
#include <cstdio>
#include <sstream>

namespace {

template <typename Body> double nanosecondsPerLine(int lines, Body body) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < lines; ++i)
        body(i);
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / lines;
}

} // namespace

int main() {
    constexpr int Lines = 200000;
    std::ostringstream sink;
    krv::StreamLog quiet(sink, "bench", false);
    krv::StreamLog verbose(sink, "bench", true);
    auto line = [](int i) {
        krv::LogDetail(krv::LogCategory::Executor) << "press " << 240 + i % 9 << ": button " << 1 + i % 8 << ", code 18";
    };
    double off = 0;
    {
        const krv::ScopedLogSink scoped(quiet);
        off = nanosecondsPerLine(Lines, line);
    }
    double on = 0;
    {
        const krv::ScopedLogSink scoped(verbose);
        on = nanosecondsPerLine(Lines, line);
    }
    std::printf("log_detail_off %.1f ns\n", off);
    std::printf("log_detail_on %.1f ns\n", on);
    return sink.str().empty() ? 1 : 0;
}
