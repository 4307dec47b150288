// The window's worker threads: none outlives join_all(), and those that have
// ended are let go as new ones start, however many scans a day brings.
#include "runtime/worker_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

class sleeper : public wxThread {
  public:
    sleeper(std::chrono::milliseconds time, std::atomic<int>& ended)
        : wxThread(wxTHREAD_JOINABLE), time_(time), ended_(ended) {}

  protected:
    ExitCode Entry() override {
        std::this_thread::sleep_for(time_);
        ++ended_;
        return 0;
    }

  private:
    std::chrono::milliseconds time_;
    std::atomic<int>& ended_;
};

}  // namespace

TEST(worker_threads, joins_every_thread_and_lets_go_of_ended_ones) {
    std::atomic<int> ended{0};
    worker_threads workers;
    for (int i = 0; i < 3; ++i)
        workers.run(std::make_unique<sleeper>(std::chrono::milliseconds(0), ended), "sleeper");
    while (ended < 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // past their Entry
    workers.run(std::make_unique<sleeper>(std::chrono::milliseconds(200), ended), "sleeper");
    EXPECT_EQ(workers.size(), 1u);
    workers.join_all();
    EXPECT_EQ(ended, 4);
    EXPECT_EQ(workers.size(), 0u);

    struct detached : wxThread {
        ExitCode Entry() override { return 0; }
    };
    auto loose = std::make_unique<detached>();
    EXPECT_THROW(workers.run(std::move(loose), "detached"), std::runtime_error);
}
