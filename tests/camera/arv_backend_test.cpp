// Real cameras through the camera interface: Aravis's fake GigE Vision
// camera, speaking the real protocol over the loopback of the suite's own
// network namespace, driven exactly as the station drives a camera.
#include "runtime/app_link.h"
#include "camera/camera_discovery.h"
#include "camera/capture_thread.h"
#include "camera/frame_buffer.h"
#include "camera/JAI_Camera.h"
#include "camera/sdk/Jai_Factory.h"
#include "camera/sdk/jai_sim.h"
#include "runtime/configuration.h"
#include "runtime/thread_events.h"
#include "support/event_recorder.h"
#include "support/fake_gige_camera.h"
#include "support/station_setup.h"
#include "support/test_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kFakeWidth = 512;
constexpr uint32_t kFakeHeight = 512;

// The fake camera draws p(x, y) = (x + y + frame id) % 255: every pixel equals
// its lower-left neighbour. A frame with a hole (a lost packet) breaks that.
bool intact_ramp(const uint8_t* p, uint32_t width, uint32_t height) {
    for (uint32_t y = 0; y + 1 < height; ++y) {
        for (uint32_t x = 0; x + 1 < width; ++x) {
            if (p[size_t(y) * width + x + 1] != p[size_t(y + 1) * width + x]) return false;
        }
    }
    return true;
}

class arv_backend_test : public testing::Test {
  protected:
    void SetUp() override {
        if (const std::string why = fake_gige_camera::unavailable(); !why.empty()) {
            GTEST_SKIP() << why;
        }
        settings_path_ = home_ / "cameras.conf";
        setenv("JAI_SIM_CONFIG", settings_path_.c_str(), 1);
    }
    void TearDown() override {
        if (factory_) J_Factory_Close(factory_);
        unsetenv("JAI_SIM_CONFIG");
        jai_sim::reset();
    }

    // The camera settings file holds `text` ("" for no file at all).
    void settings(const std::string& text) {
        std::remove(settings_path_.c_str());
        if (!text.empty()) std::ofstream(settings_path_) << text;
        jai_sim::reset();
    }

    camera_map cameras() { return enumerate_cameras(factory_); }

    // Closed when released, also when a test ends early.
    camera_ptr open(const std::string& id) { return JAI_Camera::open(factory_, id); }

    test_home home_;
    std::string settings_path_;
    FACTORY_HANDLE factory_ = nullptr;
};

// A stream as the capture thread sets it up, with `n` buffers of the frame's
// size, each filled with noise before it is queued so that a frame delivered
// with a hole shows it.
struct stream_fixture {
    STREAM_HANDLE stream = nullptr;
    J_COND_HANDLE condition = nullptr;
    EVT_HANDLE event = nullptr;
    CAM_HANDLE camera;
    std::vector<std::vector<uint8_t>> memory;
    std::vector<BUF_HANDLE> buffers;
    std::mt19937 noise{7};

    stream_fixture(CAM_HANDLE cam, int n, size_t size) : camera(cam) {
        EXPECT_EQ(J_Camera_CreateDataStream(camera, 0, &stream), J_ST_SUCCESS);
        memory.resize(n, std::vector<uint8_t>(size));
        for (auto& m : memory) {
            BUF_HANDLE b = nullptr;
            EXPECT_EQ(J_DataStream_AnnounceBuffer(stream, m.data(), uint32_t(size), &m, &b),
                      J_ST_SUCCESS);
            queue(b);
            buffers.push_back(b);
        }
        EXPECT_EQ(J_Event_CreateCondition(&condition), J_ST_SUCCESS);
        EXPECT_EQ(J_DataStream_RegisterEvent(stream, EVENT_NEW_BUFFER, condition, &event),
                  J_ST_SUCCESS);
        EXPECT_EQ(J_DataStream_StartAcquisition(stream, ACQ_START_NEXT_IMAGE, ~0ull), J_ST_SUCCESS);
        EXPECT_EQ(J_Camera_ExecuteCommand(camera, "AcquisitionStart"), J_ST_SUCCESS);
    }

    void queue(BUF_HANDLE b) {
        std::vector<uint8_t>* m = nullptr;
        for (size_t i = 0; i < buffers.size(); ++i) {
            if (buffers[i] == b) m = &memory[i];
        }
        if (!m) m = &memory[buffers.size()];  // being announced
        for (auto& byte : *m)
            byte = uint8_t(noise());
        EXPECT_EQ(J_DataStream_QueueBuffer(stream, b), J_ST_SUCCESS);
    }

    uint64_t info(int32_t code) const {
        uint64_t value = 0;
        uint32_t size = sizeof(value);
        EXPECT_EQ(J_DataStream_GetStreamInfo(stream, code, &value, &size), J_ST_SUCCESS);
        return value;
    }

    int32_t wait(uint32_t ms) {
        int32_t result = -99;
        if (J_Event_WaitForCondition(condition, ms, &result) != J_ST_SUCCESS) return -98;
        return result;
    }

    // The next frame: its buffer, pixels and frame id; null on anything but a signal.
    struct frame {
        BUF_HANDLE buffer = nullptr;
        const uint8_t* pixels = nullptr;
        uint64_t id = 0;
        uint32_t width = 0, height = 0;
    };
    frame next(uint32_t ms = 3000) {
        frame f;
        if (wait(ms) != J_COND_WAIT_SIGNAL) return f;
        J_EVENT_DATA_NEW_BUFFER data{};
        uint32_t size = sizeof(data);
        EXPECT_EQ(J_Event_GetData(event, &data, &size), J_ST_SUCCESS);
        uint64_t base = 0;
        uint32_t s8 = 8, s4 = 4;
        J_DataStream_GetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_BASE, &base, &s8);
        s8 = 8;
        J_DataStream_GetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_FRAME_ID, &f.id, &s8);
        J_DataStream_GetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_WIDTH, &f.width, &s4);
        s4 = 4;
        J_DataStream_GetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_HEIGHT, &f.height, &s4);
        f.buffer = data.BufferHandle;
        f.pixels = reinterpret_cast<const uint8_t*>(base);
        return f;
    }

    // The capture thread's teardown, in its order; the failures are not ours to judge.
    void close() {
        J_Camera_ExecuteCommand(camera, "AcquisitionStop");
        J_DataStream_UnRegisterEvent(stream, EVENT_NEW_BUFFER);
        J_Event_Close(event);
        J_Event_CloseCondition(condition);
        J_DataStream_StopAcquisition(stream, ACQ_STOP_FLAG_KILL);
        J_DataStream_FlushQueue(stream, ACQ_QUEUE_INPUT_TO_OUTPUT);
        J_DataStream_FlushQueue(stream, ACQ_QUEUE_OUTPUT_DISCARD);
        for (auto b : buffers)
            EXPECT_EQ(J_DataStream_RevokeBuffer(stream, b, nullptr, nullptr), J_ST_SUCCESS);
        EXPECT_EQ(J_DataStream_Close(stream), J_ST_SUCCESS);
        stream = nullptr;
    }
    ~stream_fixture() {
        if (stream) close();
    }
};

// Frames a GigE Vision camera sent from `from` to `to`: its 16-bit frame ids
// wrap and skip 0.
uint64_t frames_between(uint64_t from, uint64_t to) {
    const uint64_t step = (to - from) & 0xFFFF;
    return to < from ? step - 1 : step;
}

template <typename F>
std::string error_of(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST_F(arv_backend_test, without_a_settings_file_discovery_finds_the_real_camera_only) {
    fake_gige_camera fake("LIST1");
    settings("");
    const camera_map listed = cameras();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.begin()->first, "Fake 127.0.0.1 [SocketDriver]");
    EXPECT_EQ(listed.begin()->second, fake.id());
    EXPECT_EQ(describe_camera(factory_, 0), "Fake 127.0.0.1 [SocketDriver]");
    char version[512];
    uint32_t size = sizeof(version);
    ASSERT_EQ(J_Factory_GetInfo(FAC_INFO_VERSION, version, &size), J_ST_SUCCESS);
    EXPECT_NE(std::string(version).find("Aravis 0.8"), std::string::npos) << version;
}

TEST_F(arv_backend_test, the_settings_file_chooses_simulated_real_or_both) {
    fake_gige_camera fake("MIX1");
    const std::string simulated = "[camera]\nid = SIM INT=>FD\nmodel = S\nip = 10.1.1.1\n";
    settings(simulated);
    EXPECT_EQ(cameras(), (camera_map{{"S 10.1.1.1 [FilterDriver]", "SIM INT=>FD"}}));
    settings(simulated + "[discovery]\nusb3 = no\n");
    EXPECT_EQ(cameras(), (camera_map{{"S 10.1.1.1 [FilterDriver]", "SIM INT=>FD"},
                                     {"Fake 127.0.0.1 [SocketDriver]", fake.id()}}));
    settings("[discovery]\ngige = no\n");  // USB3 only: none here
    EXPECT_TRUE(cameras().empty());
    settings("# nothing\n");
    EXPECT_TRUE(cameras().empty());
    // Simulated cameras set in process are the only ones, whatever the file says.
    settings("[discovery]\n");
    jai_sim::camera_config c;
    c.id = "ONLY INT=>SD";
    c.model = "M";
    c.ip = "1";
    jai_sim::set_cameras({c});
    EXPECT_EQ(cameras(), (camera_map{{"M 1 [SocketDriver]", "ONLY INT=>SD"}}));
}

TEST_F(arv_backend_test, a_camera_at_a_fixed_address_is_asked_directly) {
    fake_gige_camera fake("ADDR1");
    settings("[gige]\naddress = 127.0.0.1\n[gige]\naddress = 127.0.0.9\n");  // the second: nobody
    const camera_map listed = cameras();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed.begin()->second, fake.id());
    camera_ptr camera = open(fake.id());
    int64_t width = 0;
    EXPECT_EQ(J_Camera_GetValueInt64(camera->handle(), "Width", &width), J_ST_SUCCESS);
    EXPECT_EQ(width, kFakeWidth);
}

TEST_F(arv_backend_test, features_and_geometry_come_from_the_camera) {
    fake_gige_camera fake("GEO1");
    ASSERT_TRUE(fake.set_integer("Width", 640));
    ASSERT_TRUE(fake.set_integer("Height", 200));
    settings("[discovery]\n");
    cameras();
    {
        camera_ptr camera = JAI_Camera::open(factory_, fake.id());
        auto frame = read_frame_geometry(camera->handle());
        EXPECT_EQ(frame->width, 640);
        EXPECT_EQ(frame->height, 200);
        EXPECT_EQ(frame->pixel_format, J_GVSP_PIX_MONO8);
        EXPECT_EQ(frame->pixels.size(), 640u * 200u);
        // The fake camera has no exposure modes: the station's own error text.
        EXPECT_EQ(error_of([&] { camera->set_exposure_mode("Off"); }),
                  "Error setting exposure mode.");
        int64_t value = 0;
        EXPECT_NE(J_Camera_GetValueInt64(camera->handle(), "NoSuchFeature", &value), J_ST_SUCCESS);
        EXPECT_NE(J_Camera_ExecuteCommand(camera->handle(), "NoSuchCommand"), J_ST_SUCCESS);
    }
    EXPECT_EQ(jai_sim::open_cameras(), 0);
}

TEST_F(arv_backend_test, one_controller_per_camera_and_other_pixel_formats_are_refused) {
    fake_gige_camera fake("FMT1");
    ASSERT_TRUE(fake.set_integer("PixelFormat", 0x02180014));  // RGB8
    settings("[discovery]\n");
    cameras();
    camera_ptr camera = JAI_Camera::open(factory_, fake.id());
    EXPECT_EQ(error_of([&] { JAI_Camera::open(factory_, fake.id()); }), "Error opening camera.");
    EXPECT_EQ(error_of([&] { read_frame_geometry(camera->handle()); }),
              "Unsupported pixel format 0x02180014: the station records Mono8, Mono10, Mono12 "
              "and Mono16 only.");
}

TEST_F(arv_backend_test, hundreds_of_frames_arrive_whole_and_the_counters_add_up) {
    fake_gige_camera fake("STREAM1");
    ASSERT_TRUE(fake.set_float("AcquisitionFrameRate", 100));
    settings("[discovery]\n");
    cameras();
    camera_ptr camera = open(fake.id());
    uint32_t streams = 0;
    EXPECT_EQ(J_Camera_GetNumOfDataStreams(camera->handle(), &streams), J_ST_SUCCESS);
    EXPECT_GE(streams, 1u);
    {
        stream_fixture s(camera->handle(), 20, kFakeWidth * kFakeHeight);
        uint64_t first = 0, last = 0;
        int received = 0;
        for (; received < 300; ++received) {
            const auto f = s.next();
            ASSERT_NE(f.buffer, nullptr) << "after " << received << " frames";
            ASSERT_EQ(f.width, kFakeWidth);
            ASSERT_EQ(f.height, kFakeHeight);
            ASSERT_TRUE(intact_ramp(f.pixels, f.width, f.height)) << "frame " << f.id;
            if (received == 0) first = f.id;
            ASSERT_TRUE(received == 0 || frames_between(last, f.id) >= 1)
                << f.id << " after " << last;
            last = f.id;
            s.queue(f.buffer);
        }
        EXPECT_EQ(J_Camera_ExecuteCommand(camera->handle(), "AcquisitionStop"), J_ST_SUCCESS);
        const uint64_t delivered = s.info(STREAM_INFO_NUM_DELIVERED);
        const uint64_t awaiting = s.info(STREAM_INFO_NUM_AWAIT_DELIVERY);
        EXPECT_EQ(delivered, uint64_t(received) + awaiting);
        // Every frame the camera sent between the first and the last taken is
        // either taken or counted as lost or corrupt.
        const uint64_t missing = frames_between(first, last) + 1 - uint64_t(received);
        EXPECT_LE(missing, s.info(STREAM_INFO_NUM_UNDERRUN) + s.info(STREAM_INFO_NUM_CORRUPT));
    }
    EXPECT_EQ(jai_sim::open_streams(), 0);
}

TEST_F(arv_backend_test, a_stream_stops_and_starts_again_and_a_new_stream_follows) {
    fake_gige_camera fake("RESTART1");
    ASSERT_TRUE(fake.set_float("AcquisitionFrameRate", 50));
    settings("[discovery]\n");
    cameras();
    camera_ptr camera = open(fake.id());
    {
        stream_fixture s(camera->handle(), 4, kFakeWidth * kFakeHeight);
        for (int i = 0; i < 5; ++i) {
            const auto f = s.next();
            ASSERT_NE(f.buffer, nullptr);
            s.queue(f.buffer);
        }
        ASSERT_EQ(J_DataStream_StopAcquisition(s.stream, ACQ_STOP_FLAG_KILL), J_ST_SUCCESS);
        // Stopped: whatever was filled has been handed out; nothing more comes.
        while (s.wait(200) == J_COND_WAIT_SIGNAL) {
            J_EVENT_DATA_NEW_BUFFER data{};
            uint32_t size = sizeof(data);
            J_Event_GetData(s.event, &data, &size);
            s.queue(data.BufferHandle);
        }
        EXPECT_EQ(s.wait(500), J_COND_WAIT_TIMEOUT);
        ASSERT_EQ(J_DataStream_StartAcquisition(s.stream, ACQ_START_NEXT_IMAGE, ~0ull),
                  J_ST_SUCCESS);
        for (int i = 0; i < 5; ++i) {
            const auto f = s.next();
            ASSERT_NE(f.buffer, nullptr) << "after the restart";
            EXPECT_TRUE(intact_ramp(f.pixels, f.width, f.height));
            s.queue(f.buffer);
        }
    }
    stream_fixture again(camera->handle(), 4, kFakeWidth * kFakeHeight);
    EXPECT_NE(again.next().buffer, nullptr);
}

TEST_F(arv_backend_test, the_exit_condition_ends_a_wait_from_another_thread) {
    fake_gige_camera fake("EXIT1");
    settings("[discovery]\n");
    cameras();
    camera_ptr camera = open(fake.id());
    stream_fixture s(camera->handle(), 4, kFakeWidth * kFakeHeight);
    EXPECT_EQ(J_Camera_ExecuteCommand(camera->handle(), "AcquisitionStop"), J_ST_SUCCESS);
    while (s.wait(300) == J_COND_WAIT_SIGNAL) {
        J_EVENT_DATA_NEW_BUFFER data{};
        uint32_t size = sizeof(data);
        J_Event_GetData(s.event, &data, &size);
    }
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        J_Event_ExitCondition(s.condition);
    });
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(s.wait(30000), J_COND_WAIT_EXIT);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 20s);
    stopper.join();
}

TEST_F(arv_backend_test, a_camera_that_vanishes_fails_the_wait_closes_and_opens_again_on_return) {
    auto fake = std::make_unique<fake_gige_camera>("GONE1");
    const std::string id = fake->id();
    settings("[discovery]\n");
    cameras();
    camera_ptr camera = open(id);
    {
        stream_fixture s(camera->handle(), 8, kFakeWidth * kFakeHeight);
        ASSERT_NE(s.next().buffer, nullptr);
        fake->kill();  // the cable is pulled
        // Frames already received are handed out first; then the wait fails.
        int32_t result = J_COND_WAIT_SIGNAL;
        const auto lost_at = std::chrono::steady_clock::now();
        while (result == J_COND_WAIT_SIGNAL || result == J_COND_WAIT_TIMEOUT) {
            result = s.wait(1000);
            if (result == J_COND_WAIT_SIGNAL) {
                J_EVENT_DATA_NEW_BUFFER data{};
                uint32_t size = sizeof(data);
                J_Event_GetData(s.event, &data, &size);
            }
            ASSERT_LT(std::chrono::steady_clock::now() - lost_at, 60s) << "the wait never failed";
        }
        EXPECT_EQ(result, J_COND_WAIT_ERROR);
        EXPECT_EQ(s.wait(1000), J_COND_WAIT_ERROR);  // and keeps failing
        int64_t width = 0;
        EXPECT_NE(J_Camera_GetValueInt64(camera->handle(), "Width", &width), J_ST_SUCCESS);
        const auto closing = std::chrono::steady_clock::now();
        s.close();
        camera.reset();
        // Closing a dead camera does not wait for its control time-outs
        // (about 5 s when released in place).
        EXPECT_LT(std::chrono::steady_clock::now() - closing, 4s);
    }
    fake = std::make_unique<fake_gige_camera>("GONE1");  // power is back
    ASSERT_TRUE(wait_until([&] { return cameras().size() == 1; }, 20s));
    camera = open(id);
    stream_fixture s(camera->handle(), 4, kFakeWidth * kFakeHeight);
    EXPECT_NE(s.next().buffer, nullptr);
}

TEST_F(arv_backend_test, a_lossy_link_counts_corrupt_frames_and_never_delivers_them) {
    fake_gige_camera fake("LOSSY1", 20);
    ASSERT_TRUE(fake.set_float("AcquisitionFrameRate", 50));
    settings("[discovery]\n");
    cameras();
    camera_ptr camera = open(fake.id());
    {
        stream_fixture s(camera->handle(), 8, kFakeWidth * kFakeHeight);
        const auto end = std::chrono::steady_clock::now() + 4s;
        int whole = 0;
        while (std::chrono::steady_clock::now() < end) {
            const auto f = s.next(1000);
            if (!f.buffer) continue;
            EXPECT_TRUE(intact_ramp(f.pixels, f.width, f.height)) << "frame " << f.id;
            ++whole;
            s.queue(f.buffer);
        }
        EXPECT_GT(s.info(STREAM_INFO_NUM_CORRUPT), 0u);
        EXPECT_EQ(s.info(STREAM_INFO_NUM_DELIVERED),
                  uint64_t(whole) + s.info(STREAM_INFO_NUM_AWAIT_DELIVERY));
    }
}

namespace {

class capture_on_real_camera : public arv_backend_test {
  protected:
    void SetUp() override {
        arv_backend_test::SetUp();
        if (IsSkipped()) return;
        config_ = open_station_configuration(home_.path());
        link_ = std::make_shared<app_link>(&window_, config_.get());
    }
    void TearDown() override {
        stop_capture_thread(thread_);
        camera_.reset();
        if (link_) link_->detach();
        arv_backend_test::TearDown();
    }
    std::vector<wxString> texts(wxEventType type) {
        window_.drain();
        return window_.texts(type);
    }

    std::unique_ptr<wxFileConfig> config_;
    event_recorder window_;
    app_link_ptr link_;
    camera_ptr camera_;
    capture_thread* thread_ = nullptr;
};

}  // namespace

TEST_F(capture_on_real_camera, mono16_frames_reach_the_frame_buffer_scaled_by_their_depth) {
    fake_gige_camera fake("CAP1");
    ASSERT_TRUE(fake.set_integer("PixelFormat", J_GVSP_PIX_MONO16));
    settings("[discovery]\n");
    cameras();
    camera_ = JAI_Camera::open(factory_, fake.id());
    auto frame = read_frame_geometry(camera_->handle());
    ASSERT_EQ(frame->bits_per_pixel, 16u);
    thread_ = start_capture_thread(link_, camera_->handle(), *frame);
    ASSERT_TRUE(wait_until([&] { return texts(evt_stream_info).size() >= 2; }, 30s))
        << wxString(texts(evt_log_error).empty() ? "" : texts(evt_log_error)[0]);
    const auto info = texts(evt_log_info);
    ASSERT_FALSE(info.empty());
    EXPECT_TRUE(info[0].StartsWith("GigE Vision packet size: ")) << info[0];
    cv::Mat gray;
    copy_gray8(*frame, gray);
    ASSERT_EQ(gray.cols, int(kFakeWidth));
    EXPECT_TRUE(intact_ramp(gray.data, kFakeWidth, kFakeHeight));
    double high = 0;
    cv::minMaxLoc(gray, nullptr, &high);
    EXPECT_GE(high, 250);  // the full range, not its top bits only
    stop_capture_thread(thread_);
    camera_.reset();  // while the camera still answers
    EXPECT_EQ(texts(evt_log_info).back(), "Condition wait exit");
    EXPECT_TRUE(texts(evt_log_error).empty());
}

TEST_F(capture_on_real_camera, a_vanished_camera_ends_the_capture_thread_with_the_wait_error) {
    auto fake = std::make_unique<fake_gige_camera>("CAP2");
    settings("[discovery]\n");
    cameras();
    camera_ = JAI_Camera::open(factory_, fake->id());
    auto frame = read_frame_geometry(camera_->handle());
    thread_ = start_capture_thread(link_, camera_->handle(), *frame);
    ASSERT_TRUE(wait_until([&] { return !texts(evt_stream_info).empty(); }, 30s));
    fake->kill();
    ASSERT_TRUE(wait_until([&] { return !texts(evt_log_error).empty(); }, 60s));
    EXPECT_EQ(texts(evt_log_error), std::vector<wxString>{"Condition wait error"});
    const auto begin = std::chrono::steady_clock::now();
    stop_capture_thread(thread_);
    camera_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 4s);
    EXPECT_EQ(jai_sim::open_streams(), 0);
    EXPECT_EQ(jai_sim::open_cameras(), 0);
}
