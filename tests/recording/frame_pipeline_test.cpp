// The recording's pipeline: frames copied at their message, encoded on the
// pool, written in message order with the session changes between them.
#include "recording/write_thread_fixture.h"

#include "database/ldb_format.h"
#include "database/session_repair.h"
#include "support/failing_env.h"

#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <mutex>
#include <regex>
#include <thread>

using namespace std::chrono_literals;

namespace {

class frame_pipeline_test : public write_thread_test {
  protected:
    // Big flat frames: slow to encode, and each tells its brightness back.
    void SetUp() override {
        write_thread_test::SetUp();
        std::unique_lock lock(frame_.lock);
        frame_.width = 4096;
        frame_.height = 2048;
        frame_.pixels.assign(4096 * 2048, 0);
    }
    // The recording is stopped before the store's file system goes away.
    void TearDown() override {
        write_thread_test::TearDown();
        ldb_writer::set_store_env(nullptr);
    }
    // The camera delivers a frame of one brightness.
    void show(uint8_t brightness) {
        std::unique_lock lock(frame_.lock);
        std::memset(frame_.pixels.data(), brightness, frame_.pixels.size());
        ++frame_.delivered;
        frame_.delivered_at = frame_buffer::clock::now();
    }
    // Waits until the thread has read every byte sent: the line has stayed
    // empty for a while (bytes written to a pseudo-terminal reach its input
    // a moment later), and the copy of the frame is made as a message is read.
    void wait_read() {
        int quiet = 0;
        ASSERT_TRUE(wait_until([&] {
            quiet = line_.unread() == 0 ? quiet + 1 : 0;
            return quiet >= 5;
        }));
    }
    failing_env disk_;  // the store's file system, when a test puts it there

    static int brightness_of(const std::string& jpeg) {
        const cv::Mat image =
            cv::imdecode(std::vector<uint8_t>(jpeg.begin(), jpeg.end()), cv::IMREAD_GRAYSCALE);
        return image.empty() ? -1 : int(cv::mean(image)[0] + 0.5);
    }
};

}  // namespace

TEST_F(frame_pipeline_test, each_value_gets_the_frame_that_was_newest_at_its_message) {
    start("", true, 2);
    // Five messages in a burst, far faster than one frame is encoded; the
    // picture changes between them.
    const uint8_t shades[] = {30, 80, 130, 180, 230};
    for (int i = 0; i < 5; ++i) {
        show(shades[i]);
        line_.send_new(100 + 5 * i);
        wait_read();
    }
    EXPECT_EQ(status_after(5), L"ДПП[7]: 120 Записано: 5 Пропущено: 0 Сбоев: 0");
    stop();
    ASSERT_EQ(folders().size(), 1u);
    const auto stored = dump_database(folders()[0]);
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(brightness_of(stored.at(frame_key(100 + 5 * i))), shades[i], 1) << i;
    }
    EXPECT_EQ(faults() & fault_behind, 0);
}

TEST_F(frame_pipeline_test, a_copy_shared_by_messages_stays_intact_while_the_next_is_taken) {
    start("", true, 2);
    // Grain makes each frame slow to encode: the next frame is copied while
    // the messages sharing the last copy still wait for an encoder.
    cv::Mat grain(2048, 4096, CV_8SC1);
    cv::RNG(7).fill(grain, cv::RNG::UNIFORM, -16, 17);
    const uint8_t shades[] = {40, 200, 90, 160};
    uint32_t value = 100;
    for (const uint8_t shade : shades) {
        {
            std::unique_lock lock(frame_.lock);
            cv::Mat pixels(2048, 4096, CV_8UC1, frame_.pixels.data());
            cv::add(grain, cv::Scalar(shade), pixels, cv::noArray(), CV_8U);
            ++frame_.delivered;
            frame_.delivered_at = frame_buffer::clock::now();
        }
        for (int i = 0; i < 6; ++i)
            line_.send_new(value += 5);
        wait_read();
    }
    status_after(24);
    stop();
    ASSERT_EQ(folders().size(), 1u);
    const auto stored = dump_database(folders()[0]);
    for (int i = 0; i < 24; ++i) {
        EXPECT_NEAR(brightness_of(stored.at(frame_key(105 + 5 * i))), shades[i / 6], 2) << i;
    }
}

TEST_F(frame_pipeline_test, a_new_code_and_a_reset_amid_frames_in_flight_end_sessions_in_order) {
    start("A", true, 2);
    show(40);
    line_.send_new(100);
    line_.send_new(105);
    wait_read();
    thread_->set_session_code("B");  // after 100 and 105, while they are still encoded
    line_.send_new(110);
    line_.send_new(50);  // back: a new session from here
    line_.send_new(55);
    EXPECT_EQ(status_after(5), L"ДПП[7]: 55 Записано: 2 Пропущено: 0 Сбоев: 0");
    stop();
    const auto dirs = folders();
    ASSERT_EQ(dirs.size(), 3u);
    const auto a = dump_database(dirs[0]), b = dump_database(dirs[1]), c = dump_database(dirs[2]);
    EXPECT_EQ(a.at("session"), "A");
    EXPECT_EQ(a.at("count"), "0000000002");
    EXPECT_EQ(a.at("dpp_end"), "0000000105");
    EXPECT_EQ(b.at("session"), "B");
    EXPECT_EQ(b.at("count"), "0000000001");
    EXPECT_EQ(b.at("dpp_start"), "0000000110");
    EXPECT_EQ(c.at("session"), "B");
    EXPECT_EQ(c.at("dpp_start"), "0000000050");
    EXPECT_EQ(c.at("count"), "0000000002");
}

TEST_F(frame_pipeline_test, a_stop_with_frames_in_flight_stores_them_all_first) {
    start("", true, 2);
    show(90);
    for (uint32_t v : {100u, 105u, 110u, 115u})
        line_.send_new(v);
    wait_read();
    // Stopped while most of them are still being encoded; once stopped, no
    // encoder holds the data service back.
    stop();
    EXPECT_TRUE(frame_pipeline::encoders_idle());
    EXPECT_EQ(status_lines().size(), 4u);
    ASSERT_EQ(folders().size(), 1u);
    const auto stored = dump_database(folders()[0]);
    EXPECT_EQ(stored.at("count"), "0000000004");
    EXPECT_EQ(stored.count(frame_key(115)), 1u);
    ASSERT_EQ(databases().size(), 1u);
    EXPECT_EQ(databases()[0].info.count, 4u);
}

TEST_F(frame_pipeline_test, a_store_failing_amid_frames_in_flight_loses_nothing_acknowledged) {
    failing_env& disk = disk_;
    ldb_writer::set_store_env(&disk);
    start("", true, 2);
    show(60);
    for (uint32_t v = 100; v < 160; v += 5)
        line_.send_new(v);
    ASSERT_NE(status_after(3).Find(L"Записано: 3"), wxNOT_FOUND);
    disk.fail(true);  // with frames still in flight
    status_after(12);
    disk.fail(false);
    stop();
    // Every frame a status line acknowledged is in the store.
    std::vector<uint32_t> acknowledged;
    uint32_t written = 0;
    const std::wregex status(L"ДПП\\[7\\]: (\\d+) Записано: (\\d+) ");
    for (const auto& line : status_lines()) {
        std::wsmatch m;
        const std::wstring text = line.ToStdWstring();
        ASSERT_TRUE(std::regex_search(text, m, status)) << line;
        const uint32_t now = uint32_t(std::stoul(m[2].str()));
        if (now > written) acknowledged.push_back(uint32_t(std::stoul(m[1].str())));
        written = now;
    }
    ASSERT_GE(acknowledged.size(), 3u);
    EXPECT_LT(acknowledged.size(), 12u);  // the failure did stop some
    ASSERT_EQ(folders().size(), 1u);
    ASSERT_NE(finish_unclosed_session(folders()[0], "левый").result, session_repair::not_a_session);
    const auto stored = dump_database(folders()[0]);
    for (uint32_t v : acknowledged)
        EXPECT_EQ(stored.count(frame_key(v)), 1u) << v;
}

TEST_F(frame_pipeline_test, encoders_write_the_same_database_as_one_thread) {
    std::vector<std::map<std::string, std::string>> databases_written;
    for (const size_t encoders : {size_t(0), size_t(2)}) {
        const std::string folder = home_ / ("rec-" + std::to_string(encoders));
        config_->Write(cfg::write_path, wxString(folder));
        window_.events.clear();
        start("C", true, encoders);
        for (int i = 0; i < 6; ++i) {
            show(uint8_t(20 + 30 * i));
            line_.send_new(200 + 5 * i);
            wait_read();
        }
        status_after(6);
        stop();
        const auto dirs = [&] {
            std::vector<std::string> out;
            for (const auto& e : std::filesystem::directory_iterator(folder))
                out.push_back(e.path().string());
            return out;
        }();
        ASSERT_EQ(dirs.size(), 1u);
        auto stored = dump_database(dirs[0]);
        stored.erase("time_start");  // wall-clock seconds
        stored.erase("time_end");
        databases_written.push_back(stored);
    }
    EXPECT_EQ(databases_written[0], databases_written[1]);
}

TEST_F(frame_pipeline_test, under_overload_messages_wait_in_the_line_and_the_lateness_shows) {
    // A slow card: each frame takes tens of milliseconds to store, so a
    // burst fills the pipeline however fast the line is read. Small frames,
    // so that copying them at each message costs nothing even under a
    // sanitizer.
    {
        std::unique_lock lock(frame_.lock);
        frame_.width = 512;
        frame_.height = 256;
        frame_.pixels.assign(512 * 256, 0);
    }
    disk_.slow(20ms);
    ldb_writer::set_store_env(&disk_);
    start("", true, 1);
    show(120);
    for (uint32_t i = 0; i < 40; ++i)
        line_.send_new(100 + 5 * i);
    EXPECT_EQ(status_after(40), L"ДПП[7]: 295 Записано: 40 Пропущено: 0 Сбоев: 0");
    EXPECT_TRUE(
        std::any_of(window_.events.begin(), window_.events.end(), [](const recorded_event& e) {
            return e.type == evt_dpp_status && (e.value & fault_behind);
        }));
    // Caught up: the fault ends with the count of late frames.
    ASSERT_TRUE(wait_until([&] { return (faults() & fault_behind) == 0; }, 10s));
    stop();
    // One row each way per episode: a loaded machine may read the burst in
    // two goes and catch up between them, so there may be two.
    const auto errors = window_.texts(evt_log_error);
    const auto behind = std::count(errors.begin(), errors.end(),
                                   wxString(L"Запись отстает: кадры записываются с опозданием"));
    const auto infos = window_.texts(evt_log_info);
    const auto recovered = std::count_if(infos.begin(), infos.end(), [](const wxString& row) {
        return row.StartsWith(L"Запись успевает: кадров, записанных с опозданием: ");
    });
    EXPECT_GE(behind, 1);
    EXPECT_LE(behind, 2);
    EXPECT_EQ(behind, recovered);
    const auto caught_up = std::find_if(infos.begin(), infos.end(), [](const wxString& row) {
        return row.StartsWith(L"Запись успевает: кадров, записанных с опозданием: ");
    });
    ASSERT_NE(caught_up, infos.end());
    long late = 0;
    ASSERT_TRUE(caught_up->AfterLast(' ').ToLong(&late));
    EXPECT_GT(late, 0);
    EXPECT_LE(late, 40);  // a burst read behind a slow store may be late throughout
    ASSERT_EQ(folders().size(), 1u);
    EXPECT_EQ(dump_database(folders()[0]).at("count"), "0000000040");
}
