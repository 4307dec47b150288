#include "runtime/thread_priority.h"

#include <algorithm>
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int kRecordingWorker = 2;  // steps below the thread's own
constexpr int kLowest = 19;
// linux/ioprio.h, which glibc does not wrap.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassIdle = 3;
constexpr int kIoprioClassShift = 13;

id_t this_thread() {
    return static_cast<id_t>(::syscall(SYS_gettid));
}
}  // namespace

void run_as_recording_worker() {
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, this_thread());
    if (now == -1 && errno != 0) return;
    ::setpriority(PRIO_PROCESS, this_thread(), std::min(now + kRecordingWorker, kLowest));
}

void run_below_recording() {
    const sched_param none{};
    if (::sched_setscheduler(static_cast<pid_t>(this_thread()), SCHED_IDLE, &none) != 0)
        ::setpriority(PRIO_PROCESS, this_thread(), kLowest);
}

void run_in_idle_class() {
    run_below_recording();
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(this_thread()),
              kIoprioClassIdle << kIoprioClassShift);
}
