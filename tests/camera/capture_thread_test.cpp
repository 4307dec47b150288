// The capture thread against the camera simulator.
#include "camera/JAI_Camera.h"
#include "camera/capture_thread.h"
#include "camera/frame_buffer.h"
#include "camera/sdk/jai_sim.h"
#include "runtime/configuration.h"
#include "support/simulated_camera.h"
#include "support/station_setup.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

class capture_thread_test : public testing::Test, protected station_setup {
  protected:
    void SetUp() override { jai_sim::reset(); }
    void TearDown() override {
        stop_capture_thread(thread_);
        if (camera_) J_Camera_Close(camera_);
        if (factory_) J_Factory_Close(factory_);
        link_->detach();
        jai_sim::reset();
    }
    void camera(double fps, int64_t width = 320, int64_t height = 200) {
        ASSERT_EQ(J_Factory_Open("", &factory_), J_ST_SUCCESS);
        camera_ = open_simulated_camera(factory_, simulated_camera_config(width, height, fps));
        ASSERT_NE(camera_, nullptr);
        frame_ = read_frame_geometry(camera_);
    }
    size_t count(wxEventType type) {
        window_.drain();
        return window_.texts(type).size();
    }

    FACTORY_HANDLE factory_ = nullptr;
    CAM_HANDLE camera_ = nullptr;
    std::unique_ptr<frame_buffer> frame_;
    capture_thread* thread_ = nullptr;
};

}  // namespace

TEST_F(capture_thread_test, frames_reach_the_buffer_with_statistics_and_stream_info) {
    camera(50);
    thread_ = start_capture_thread(link_, camera_, *frame_);
    ASSERT_TRUE(wait_until([&] { return count(evt_stream_info) >= 2; }));
    // A frame's stream info is posted before its statistics.
    EXPECT_TRUE(wait_until([&] { return count(evt_grab_stats) >= 20u; }));
    EXPECT_TRUE(window_.texts(evt_stream_info)[0].StartsWith("timestamp: "));
    EXPECT_NE(window_.texts(evt_stream_info)[0].Find(" queued buffers: "), wxNOT_FOUND);
    EXPECT_TRUE(window_.texts(evt_grab_stats).back().StartsWith("delivered: "));
    int64_t number;
    {
        std::shared_lock lock(frame_->lock);
        number = jai_sim::read_frame_number(frame_->pixels.data(), 320, 200);
    }
    EXPECT_GT(number, 0);
    stop_capture_thread(thread_);
    window_.drain();
    EXPECT_EQ(window_.texts(evt_log_info), std::vector<wxString>{"Condition wait exit"});
    EXPECT_EQ(jai_sim::open_streams(), 0);
}

TEST_F(capture_thread_test, rotate180_turns_what_is_stored) {
    config_->Write(cfg::rotate180, true);
    camera(50);
    thread_ = start_capture_thread(link_, camera_, *frame_);
    ASSERT_TRUE(wait_until([&] { return count(evt_grab_stats) >= 3; }));
    std::shared_lock lock(frame_->lock);
    EXPECT_EQ(jai_sim::read_frame_number(frame_->pixels.data(), 320, 200), -1);
    EXPECT_GT(jai_sim::read_frame_number(frame_->pixels.data(), 320, 200, true), 0);
}

TEST_F(capture_thread_test, a_silent_camera_times_out_and_stops_within_one_wait) {
    camera(0);
    thread_ = start_capture_thread(link_, camera_, *frame_);
    std::this_thread::sleep_for(1300ms);
    EXPECT_GE(count(evt_grab_stats), 1u);  // a time-out still posts statistics
    EXPECT_EQ(window_.texts(evt_grab_stats).back(),
              "delivered: 0 lost: 0 await: 0 corrupt: 0 fps: 0");
    const auto begin = std::chrono::steady_clock::now();
    stop_capture_thread(thread_);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1100ms);
}

TEST_F(capture_thread_test, a_stop_before_the_condition_exists_still_stops) {
    camera(0);
    auto* thread = new capture_thread(link_, camera_, *frame_);
    thread->request_stop();
    ASSERT_EQ(thread->Run(), wxTHREAD_NO_ERROR);
    const auto begin = std::chrono::steady_clock::now();
    thread->Wait();
    delete thread;
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 900ms);
}

TEST_F(capture_thread_test, a_camera_that_cannot_start_reports_once_and_releases_everything) {
    camera(50);
    jai_sim::fail_call("J_Camera_ExecuteCommand");
    thread_ = start_capture_thread(link_, camera_, *frame_);
    thread_->Wait();
    delete thread_;
    thread_ = nullptr;
    window_.drain();
    EXPECT_EQ(window_.texts(evt_log_error), std::vector<wxString>{"Error starting acquisition."});
    EXPECT_TRUE(window_.texts(evt_grab_stats).empty());
    EXPECT_EQ(jai_sim::open_streams(), 0);
    EXPECT_EQ(jai_sim::announced_buffers(), 0);
}

TEST_F(capture_thread_test, set_up_failures_name_their_step_and_leave_nothing_behind) {
    camera(50);
    const std::pair<const char*, const char*> steps[] = {
        {"J_Camera_GetNumOfDataStreams", "Error getting number of streams"},
        {"J_Camera_CreateDataStream", "Error creating data stream"},
        {"J_DataStream_SetParam", "Error setting stream parameter"},
        {"J_DataStream_AnnounceBuffer", "Error announce buffer"},
        {"J_DataStream_QueueBuffer", "Error queue buffer"},
        {"J_Event_CreateCondition", "Error create condition"},
        {"J_DataStream_RegisterEvent", "Error register event"},
        {"J_DataStream_StartAcquisition", "error start acquisition"},
    };
    for (const auto& [call, text] : steps) {
        window_.events.clear();
        jai_sim::fail_call(call, call == std::string("J_DataStream_QueueBuffer") ? 5 : 0);
        thread_ = start_capture_thread(link_, camera_, *frame_);
        thread_->Wait();
        delete thread_;
        thread_ = nullptr;
        window_.drain();
        EXPECT_EQ(window_.texts(evt_log_error), std::vector<wxString>{text}) << call;
        EXPECT_EQ(jai_sim::open_streams(), 0) << call;
    }
}

TEST_F(capture_thread_test, wait_results_other_than_frames_end_the_loop_in_order) {
    camera(0);
    jai_sim::force_wait_result(J_COND_WAIT_ERROR);
    thread_ = start_capture_thread(link_, camera_, *frame_);
    thread_->Wait();
    delete thread_;
    thread_ = nullptr;
    window_.drain();
    EXPECT_EQ(window_.texts(evt_log_error), std::vector<wxString>{"Condition wait error"});
    EXPECT_EQ(jai_sim::open_streams(), 0);
}

namespace {

// The camera as an acquisition mode holds it, so it can be opened again.
camera_ptr reopenable(CAM_HANDLE& raw, FACTORY_HANDLE factory) {
    const std::string id = jai_sim::default_cameras()[0].id;
    J_Camera_Close(raw);  // one controller at a time
    raw = nullptr;
    return JAI_Camera::open(factory, id);
}

}  // namespace

TEST_F(capture_thread_test, a_lost_camera_is_looked_for_until_it_answers_and_capture_resumes) {
    camera(50);
    const camera_ptr held = reopenable(camera_, factory_);
    thread_ =
        start_capture_thread(link_, held->handle(), *frame_, [held] { return held->reopen(); });
    ASSERT_TRUE(wait_until([&] {
        return frame_state(*frame_, frame_buffer::clock::now(), 1s) == frame_freshness::fresh;
    }));
    // The stream fails, and the camera does not answer the first look.
    jai_sim::fail_call("J_Camera_Open", 0, 1);
    jai_sim::force_wait_result(J_COND_WAIT_ERROR);
    ASSERT_TRUE(wait_until([&] {
        return frame_state(*frame_, frame_buffer::clock::now(), 1s) ==
               frame_freshness::capture_stopped;
    }));
    ASSERT_TRUE(wait_until(
        [&] {
            window_.drain();
            const auto info = window_.texts(evt_log_info);
            return std::find(info.begin(), info.end(),
                             L"Камера снова доступна, захват возобновлен") != info.end();
        },
        10s));
    uint64_t before;
    {
        std::shared_lock lock(frame_->lock);
        before = frame_->delivered;
    }
    ASSERT_TRUE(wait_until([&] {
        std::shared_lock lock(frame_->lock);
        return frame_->capture_running && frame_->delivered > before + 3;
    }));
    stop_capture_thread(thread_);
    window_.drain();
    EXPECT_EQ(
        window_.texts(evt_log_error),
        (std::vector<wxString>{"Condition wait error", L"Камера недоступна: поиск каждые 2 с"}));
    EXPECT_EQ(jai_sim::open_streams(), 0);
}

TEST_F(capture_thread_test, a_stop_while_the_camera_is_looked_for_ends_at_once) {
    camera(50);
    const camera_ptr held = reopenable(camera_, factory_);
    thread_ =
        start_capture_thread(link_, held->handle(), *frame_, [held] { return held->reopen(); });
    jai_sim::fail_call("J_Camera_Open", 0, -1);  // gone for good
    jai_sim::force_wait_result(J_COND_WAIT_ERROR);
    ASSERT_TRUE(wait_until([&] {
        window_.drain();
        return window_.texts(evt_log_error).size() == 2;
    }));
    const auto begin = std::chrono::steady_clock::now();
    stop_capture_thread(thread_);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1500ms);
    EXPECT_EQ(frame_state(*frame_, frame_buffer::clock::now(), 1s),
              frame_freshness::capture_stopped);
}

TEST_F(capture_thread_test, an_unplugged_camera_ends_the_loop_with_the_wait_error) {
    camera(50);
    thread_ = start_capture_thread(link_, camera_, *frame_);
    ASSERT_TRUE(wait_until([&] { return count(evt_grab_stats) >= 2; }));
    jai_sim::disconnect(jai_sim::default_cameras()[0].id);
    ASSERT_TRUE(wait_until([&] { return count(evt_log_error) > 0; }));
    EXPECT_EQ(window_.texts(evt_log_error), std::vector<wxString>{"Condition wait error"});
    thread_->Wait();
    delete thread_;
    thread_ = nullptr;
    EXPECT_EQ(jai_sim::open_streams(), 0);
}
