// Who gives way to whom: the services below everything the recording runs,
// the encoders a step below the threads that answer events.
#include "runtime/thread_priority.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/resource.h>

#include <thread>

namespace {

struct placement {
    int policy = -1;
    int nice = 0;
};

// Where a new thread stands after `lower` ran on it, and where the thread it
// then creates stands.
std::pair<placement, placement> after(void (*lower)()) {
    std::pair<placement, placement> out;
    std::thread([&] {
        lower();
        out.first = {sched_getscheduler(0), getpriority(PRIO_PROCESS, 0)};
        std::thread([&] {
            out.second = {sched_getscheduler(0), getpriority(PRIO_PROCESS, 0)};
        }).join();
    }).join();
    return out;
}

}  // namespace

TEST(thread_priority, services_run_only_on_time_the_recording_leaves_and_pass_it_on) {
    const auto [self, child] = after(run_below_recording);
    // SCHED_IDLE where the system allows it, otherwise the lowest nice value.
    EXPECT_TRUE(self.policy == SCHED_IDLE || self.nice == 19) << self.policy << " " << self.nice;
    EXPECT_EQ(child.policy, self.policy);
    EXPECT_EQ(child.nice, self.nice);
}

TEST(thread_priority, encoders_stand_a_step_below_and_the_caller_is_untouched) {
    const placement before{sched_getscheduler(0), getpriority(PRIO_PROCESS, 0)};
    const auto [self, child] = after(run_as_recording_worker);
    EXPECT_EQ(self.policy, SCHED_OTHER);
    EXPECT_EQ(self.nice, before.nice + 2 > 19 ? 19 : before.nice + 2);
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), before.nice);  // only the calling thread moved
    EXPECT_EQ(child.nice, self.nice);
}
