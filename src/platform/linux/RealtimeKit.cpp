// SPDX-License-Identifier: MIT
#include "platform/linux/RealtimeKit.h"

#include "log/Log.h"

#include <QDBusMessage>
#include <QDBusVariant>

#include <algorithm>
#include <cerrno>

#include <pthread.h>
#include <sys/resource.h>

namespace krv {
namespace {

const QString Service = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString Path = QStringLiteral("/org/freedesktop/RealtimeKit1");
const QString Interface = QStringLiteral("org.freedesktop.RealtimeKit1");
// rtkit's own default, for an rtkit too old to publish RTTimeUSecMax.
constexpr qlonglong DefaultRealtimeUsecMax = 200000;

std::string errorText(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ErrorMessage)
        return (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString();
    return "unexpected reply";
}

} // namespace

std::optional<qlonglong> RealtimeKit::property(const char* name, std::string& error) const {
    QDBusMessage get = QDBusMessage::createMethodCall(Service, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << Interface << QString::fromLatin1(name);
    const QDBusMessage reply = bus().call(get, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error = errorText(reply);
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toLongLong(&ok);
    if (!ok) {
        error = std::string("property ") + name + " is not a number";
        return std::nullopt;
    }
    return value;
}

bool RealtimeKit::call(const char* method, const QVariantList& arguments, std::string& error) const {
    QDBusMessage message = QDBusMessage::createMethodCall(Service, Path, Interface, QString::fromLatin1(method));
    message.setArguments(arguments);
    const QDBusMessage reply = bus().call(message, QDBus::Block, CallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    error = errorText(reply);
    return false;
}

bool RealtimeKit::makeThreadRealtime(pid_t thread, int priority, std::string& error) {
    if (!bus().isConnected()) {
        error = "no system bus";
        return false;
    }
    // The first question also finds out whether rtkit is there at all.
    const std::optional<qlonglong> maxPriority = property("MaxRealtimePriority", error);
    if (!maxPriority)
        return false;
    std::string ignored;
    const qlonglong maxRunUsec = property("RTTimeUSecMax", ignored).value_or(DefaultRealtimeUsecMax);

    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) == 0 && maxRunUsec > 0) {
        const auto max = static_cast<rlim_t>(maxRunUsec);
        limit.rlim_max = limit.rlim_max == RLIM_INFINITY ? max : std::min(limit.rlim_max, max);
        limit.rlim_cur = limit.rlim_cur == RLIM_INFINITY ? limit.rlim_max : std::min(limit.rlim_cur, limit.rlim_max);
        if (setrlimit(RLIMIT_RTTIME, &limit) != 0) {
            error = "RLIMIT_RTTIME cannot be lowered";
            return false;
        }
    }
    const auto granted = static_cast<quint32>(std::clamp<qlonglong>(priority, 1, std::max<qlonglong>(*maxPriority, 1)));
    return call("MakeThreadRealtime", {QVariant::fromValue(static_cast<quint64>(thread)), QVariant::fromValue(granted)},
                error);
}

bool RealtimeKit::makeThreadHighPriority(pid_t thread, int nice, std::string& error) {
    if (!bus().isConnected()) {
        error = "no system bus";
        return false;
    }
    const std::optional<qlonglong> minNice = property("MinNiceLevel", error);
    if (!minNice)
        return false;
    const auto granted = static_cast<qint32>(std::max<qlonglong>(nice, *minNice));
    return call("MakeThreadHighPriority",
                {QVariant::fromValue(static_cast<quint64>(thread)), QVariant::fromValue(granted)}, error);
}

void RaiseServiceThread(ServiceThread thread) {
    // Named, so that top -H and the tests can tell them apart.
    pthread_setname_np(pthread_self(), thread == ServiceThread::Reader ? "krv-reader" : "krv-executor");
    RealtimeKit rtkit;
    const ServiceThreadScheduling got = PrepareServiceThread(&rtkit);
    if (got.level == ThreadScheduling::Realtime)
        return;
    LogWarning(thread == ServiceThread::Reader ? LogCategory::Device : LogCategory::Executor)
        << "the " << (thread == ServiceThread::Reader ? "mouse-reading" : "button-action") << " thread runs at "
        << got.description;
}

} // namespace krv
