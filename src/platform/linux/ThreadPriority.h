#pragma once

namespace krv {

// The nice value the reader and executor threads ask for: well above normal desktop work, so that a
// press is served at once even while the machine is busy.
constexpr int ServiceThreadNice = -10;

// Raises the priority of a thread of this process (0: the calling thread) to ServiceThreadNice.
// Needs CAP_SYS_NICE or a RLIMIT_NICE that allows it; returns false and changes nothing otherwise.
bool RaiseThreadPriority(int threadId = 0);

} // namespace krv
