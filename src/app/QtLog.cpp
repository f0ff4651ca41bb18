// SPDX-License-Identifier: MIT
#include "app/QtLog.h"

#include <QString>

namespace krv {

namespace {

Q_LOGGING_CATEGORY(DeviceLog, "krv.device", QtWarningMsg)
Q_LOGGING_CATEGORY(ApplyLog, "krv.apply", QtWarningMsg)
Q_LOGGING_CATEGORY(ExecutorLog, "krv.executor", QtWarningMsg)
Q_LOGGING_CATEGORY(InputBackendLog, "krv.input", QtWarningMsg)
Q_LOGGING_CATEGORY(FilesLog, "krv.files", QtWarningMsg)
Q_LOGGING_CATEGORY(InstanceLog, "krv.instance", QtWarningMsg)

} // namespace

const QLoggingCategory& QtLogCategory(LogCategory category) {
    switch (category) {
    case LogCategory::Device:
        return DeviceLog();
    case LogCategory::Apply:
        return ApplyLog();
    case LogCategory::Executor:
        return ExecutorLog();
    case LogCategory::InputBackend:
        return InputBackendLog();
    case LogCategory::Files:
        return FilesLog();
    case LogCategory::Instance:
        return InstanceLog();
    }
    return DeviceLog();
}

bool QtLogSink::enabled(LogCategory category, LogLevel level) const {
    const QLoggingCategory& qtCategory = QtLogCategory(category);
    return level == LogLevel::Warning ? qtCategory.isWarningEnabled() : qtCategory.isDebugEnabled();
}

void QtLogSink::write(LogCategory category, LogLevel level, std::string_view text) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (level == LogLevel::Warning)
        qCWarning(QtLogCategory(category), "%s", qUtf8Printable(message));
    else
        qCDebug(QtLogCategory(category), "%s", qUtf8Printable(message));
}

void UseQtLog(bool verbose) {
    static QtLogSink sink;
    if (verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("krv.*.debug=true"));
    SetLogSink(&sink);
}

} // namespace krv
