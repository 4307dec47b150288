// The guard between worker threads and the main window.
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "support/test_home.h"
#include "support/event_recorder.h"
#include "runtime/thread_events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

TEST(app_link, delivers_copies_until_detached) {
    test_home home;
    event_recorder window;
    ASSERT_TRUE(make_configuration_folder(configuration_file_name(home.path())));
    auto config = open_configuration(configuration_file_name(home.path()));
    config->Write(cfg::side, wxString(L"правый"));
    app_link link(&window, config.get());

    EXPECT_TRUE(link.post_info("one"));
    EXPECT_TRUE(link.post_error("two"));
    EXPECT_EQ(link.read_text(cfg::side, cfg::side_default), L"правый");
    window.drain();
    EXPECT_EQ(window.texts(evt_log_info), std::vector<wxString>{"one"});
    EXPECT_EQ(window.texts(evt_log_error), std::vector<wxString>{"two"});

    link.detach();
    EXPECT_FALSE(link.attached());
    EXPECT_FALSE(link.post_info("late"));
    EXPECT_EQ(link.read_text(cfg::side, cfg::side_default), L"левый");  // default, file untouched
    EXPECT_FALSE(link.with_config([](wxConfigBase&) { FAIL() << "ran after detach"; }));
    window.drain();
    EXPECT_EQ(window.events.size(), 2u);
}

TEST(app_link, detach_while_threads_post_never_delivers_afterwards) {
    event_recorder window;
    auto link = std::make_shared<app_link>(&window, nullptr);
    std::atomic<bool> detached{false};
    std::atomic<int> late{0};
    std::atomic<int> delivered{0};
    constexpr int kWorkers = 4;
    // Everyone starts together, so the detach lands among the posts.
    std::barrier start(kWorkers + 1);
    std::vector<std::thread> workers;
    for (int t = 0; t < kWorkers; ++t) {
        workers.emplace_back([&] {
            start.arrive_and_wait();
            for (int i = 0; i < 2000; ++i) {
                const bool was_detached = detached.load();
                if (link->post_info("x")) {
                    ++delivered;
                    if (was_detached) ++late;
                }
            }
        });
    }
    start.arrive_and_wait();
    while (delivered.load() == 0)
        std::this_thread::yield();
    link->detach();
    detached = true;
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(late.load(), 0);
}
