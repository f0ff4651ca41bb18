#include "platform/linux/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace krv {

bool RaiseThreadPriority(int threadId) {
    // On Linux a nice value belongs to one thread when given by thread id.
    const auto tid = static_cast<id_t>(threadId != 0 ? threadId : static_cast<int>(syscall(SYS_gettid)));
    return setpriority(PRIO_PROCESS, tid, ServiceThreadNice) == 0;
}

} // namespace krv
