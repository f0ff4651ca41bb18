// SPDX-License-Identifier: MIT
#include "platform/windows/ThreadPriority.h"

#include "platform/windows/Win32.h"
#include "platform/windows/Win32Text.h"

#include <mmsystem.h>

#include <cstdio>

namespace krv {

namespace {

std::string priorityName(int priority) {
    switch (priority) {
    case THREAD_PRIORITY_TIME_CRITICAL:
        return "THREAD_PRIORITY_TIME_CRITICAL";
    case THREAD_PRIORITY_HIGHEST:
        return "THREAD_PRIORITY_HIGHEST";
    case THREAD_PRIORITY_ABOVE_NORMAL:
        return "THREAD_PRIORITY_ABOVE_NORMAL";
    case THREAD_PRIORITY_NORMAL:
        return "THREAD_PRIORITY_NORMAL";
    default:
        return "thread priority " + std::to_string(priority);
    }
}

} // namespace

ServiceThreadScheduling PrepareServiceThread() {
    const HANDLE thread = GetCurrentThread();
    std::string refusal;
    if (!SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST))
        refusal = LastErrorMessage();
    const int priority = GetThreadPriority(thread);
    if (priority >= THREAD_PRIORITY_HIGHEST && priority != THREAD_PRIORITY_ERROR_RETURN)
        return {ThreadScheduling::RaisedNice, priorityName(priority)};
    if (refusal.empty())
        refusal = "the system kept " + priorityName(priority);
    return {ThreadScheduling::Normal, "normal priority (refused: " + refusal + ")"};
}

void RaiseServiceThread(ServiceThread thread) {
    const ServiceThreadScheduling got = PrepareServiceThread();
    if (got.level == ThreadScheduling::Normal)
        std::fprintf(stderr, "krv-glyde: the %s thread runs at %s\n",
                     thread == ServiceThread::Reader ? "report reader" : "button action", got.description.c_str());
}

TimerResolution::TimerResolution() {
    if (timeBeginPeriod(1) == TIMERR_NOERROR)
        m_period = 1;
}

TimerResolution::~TimerResolution() {
    if (m_period != 0)
        timeEndPeriod(m_period);
}

} // namespace krv
