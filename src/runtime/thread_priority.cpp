#include "runtime/thread_priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int kBelowRecording = 10;
}

void run_below_recording() {
    const pid_t thread = static_cast<pid_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), kBelowRecording);
}
