// The upload queue between the window and the upload thread: a session is
// queued once, a release returns only once the thread has let go of it, and
// stop ends a thread waiting for work or pausing after an outage.
#include "fleet/upload_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

TEST(upload_queue, a_release_returns_once_the_thread_has_let_go_and_stop_ends_the_thread) {
    upload_queue queue;
    std::atomic<bool> taken{false}, let_go{false}, ended{false};
    std::thread worker([&] {
        while (const auto job = queue.next()) {
            if (job->folder == "/a") {
                taken = true;
                std::this_thread::sleep_for(150ms);  // the transfer ends as an abort is heard
                let_go = true;
            }
            queue.finish();
        }
        ended = true;
    });
    EXPECT_TRUE(queue.add({upload_job::upload, "/a"}));
    while (!taken)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(queue.add({upload_job::upload, "/a"}));  // in progress: not twice
    EXPECT_TRUE(queue.has_upload("/a"));
    EXPECT_TRUE(queue.release("/a"));
    EXPECT_TRUE(let_go);  // the command runs only on a database let go of
    EXPECT_FALSE(queue.has_upload("/a"));
    EXPECT_FALSE(queue.release("/a"));  // nothing left of it

    queue.stop();
    worker.join();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(queue.add({upload_job::upload, "/b"}));
}

TEST(upload_queue, a_waiting_session_released_is_never_taken_and_stop_cuts_a_pause_short) {
    upload_queue queue;
    queue.add({upload_job::upload, "/a"});
    queue.add({upload_job::check, "/b"});
    queue.add({upload_job::upload, "/b"});
    EXPECT_TRUE(queue.release("/b"));
    const auto first = queue.next();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->folder, "/a");
    queue.put_back(*first);  // an outage: tried again first
    queue.finish();
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        queue.stop();
    });
    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.pause(60s));
    EXPECT_LT(std::chrono::steady_clock::now() - began, 30s);
    stopper.join();
    EXPECT_FALSE(queue.next().has_value());
}
