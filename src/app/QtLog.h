// SPDX-License-Identifier: MIT
#pragma once

#include "log/Log.h"

#include <QLoggingCategory>

namespace krv {

// The companion's log: Qt's logging categories "krv.device", "krv.apply", "krv.executor", "krv.input",
// "krv.files" and "krv.instance", written to standard error (which the journal collects). Warnings are
// on by default, details (debug messages) off; QT_LOGGING_RULES turns either on or off per category,
// as for any Qt program.
class QtLogSink final : public LogSink {
public:
    bool enabled(LogCategory category, LogLevel level) const override;
    void write(LogCategory category, LogLevel level, std::string_view text) override;
};

const QLoggingCategory& QtLogCategory(LogCategory category);

// Makes the Qt categories the process's log. verbose turns on every category's details; rules in
// QT_LOGGING_RULES still have the last word.
void UseQtLog(bool verbose);

} // namespace krv
