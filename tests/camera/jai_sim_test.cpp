// The camera simulator behaves as the capture code expects a camera to.
#include "camera/frame_buffer.h"
#include "camera/sdk/Jai_Factory.h"
#include "camera/sdk/jai_sim.h"
#include "support/simulated_camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

namespace {

class jai_sim_test : public testing::Test {
  protected:
    static constexpr const char* kId = "TL=>GevTL , INT=>SD , DEV=>T1";

    void SetUp() override {
        jai_sim::reset();
        ASSERT_EQ(J_Factory_Open("", &factory_), J_ST_SUCCESS);
    }
    void TearDown() override {
        J_Factory_Close(factory_);
        jai_sim::reset();
    }

    CAM_HANDLE open_camera(double fps, int64_t width = 256, int64_t height = 128,
                           int64_t pixel_format = J_GVSP_PIX_MONO8, uint32_t corrupt_every = 0) {
        jai_sim::camera_config c;
        c.id = kId;
        c.model = "M";
        c.ip = "10.0.0.1";
        c.width = width;
        c.height = height;
        c.fps = fps;
        c.pixel_format = pixel_format;
        c.corrupt_every = corrupt_every;
        CAM_HANDLE camera = open_simulated_camera(factory_, c);
        EXPECT_NE(camera, nullptr);
        return camera;
    }

    FACTORY_HANDLE factory_ = nullptr;
};

// A stream with `n` announced and queued buffers, started, with its event.
struct stream_fixture {
    STREAM_HANDLE stream = nullptr;
    J_COND_HANDLE condition = nullptr;
    EVT_HANDLE event = nullptr;
    std::vector<std::vector<uint8_t>> memory;
    std::vector<BUF_HANDLE> buffers;

    stream_fixture(CAM_HANDLE camera, int n, size_t size) {
        EXPECT_EQ(J_Camera_CreateDataStream(camera, 0, &stream), J_ST_SUCCESS);
        memory.resize(n, std::vector<uint8_t>(size));
        for (auto& m : memory) {
            BUF_HANDLE b = nullptr;
            EXPECT_EQ(J_DataStream_AnnounceBuffer(stream, m.data(), uint32_t(size), nullptr, &b),
                      J_ST_SUCCESS);
            EXPECT_EQ(J_DataStream_QueueBuffer(stream, b), J_ST_SUCCESS);
            buffers.push_back(b);
        }
        EXPECT_EQ(J_Event_CreateCondition(&condition), J_ST_SUCCESS);
        EXPECT_EQ(J_DataStream_RegisterEvent(stream, EVENT_NEW_BUFFER, condition, &event),
                  J_ST_SUCCESS);
        EXPECT_EQ(J_DataStream_StartAcquisition(stream, ACQ_START_NEXT_IMAGE, ~0ull), J_ST_SUCCESS);
        EXPECT_EQ(J_Camera_ExecuteCommand(camera, "AcquisitionStart"), J_ST_SUCCESS);
    }

    uint64_t info(int32_t code) const {
        uint64_t value = 0;
        uint32_t size = sizeof(value);
        EXPECT_EQ(J_DataStream_GetStreamInfo(stream, code, &value, &size), J_ST_SUCCESS);
        return value;
    }

    ~stream_fixture() {
        J_DataStream_UnRegisterEvent(stream, EVENT_NEW_BUFFER);
        J_Event_Close(event);
        J_Event_CloseCondition(condition);
        J_DataStream_StopAcquisition(stream, ACQ_STOP_FLAG_KILL);
        J_DataStream_FlushQueue(stream, ACQ_QUEUE_INPUT_TO_OUTPUT);
        J_DataStream_FlushQueue(stream, ACQ_QUEUE_OUTPUT_DISCARD);
        for (auto b : buffers)
            J_DataStream_RevokeBuffer(stream, b, nullptr, nullptr);
        J_DataStream_Close(stream);
    }
};

int32_t wait(J_COND_HANDLE condition, uint32_t ms) {
    int32_t result = -99;
    EXPECT_EQ(J_Event_WaitForCondition(condition, ms, &result), J_ST_SUCCESS);
    return result;
}

// Takes the next delivered buffer from the event; its pixels' address.
uint8_t* take(const stream_fixture& s, BUF_HANDLE& buffer) {
    J_EVENT_DATA_NEW_BUFFER data{};
    uint32_t size = sizeof(data);
    EXPECT_EQ(J_Event_GetData(s.event, &data, &size), J_ST_SUCCESS);
    buffer = data.BufferHandle;
    uint64_t base = 0;
    uint32_t s8 = 8;
    EXPECT_EQ(J_DataStream_GetBufferInfo(s.stream, buffer, BUFFER_INFO_BASE, &base, &s8),
              J_ST_SUCCESS);
    return reinterpret_cast<uint8_t*>(base);
}

}  // namespace

TEST_F(jai_sim_test, default_cameras_offer_one_on_each_driver) {
    bool8_t changed = 0;
    ASSERT_EQ(J_Factory_UpdateCameraList(factory_, &changed), J_ST_SUCCESS);
    uint32_t count = 0;
    ASSERT_EQ(J_Factory_GetNumOfCameras(factory_, &count), J_ST_SUCCESS);
    ASSERT_EQ(count, 2u);
    std::string ids;
    for (int i = 0; i < 2; ++i) {
        char id[512];
        uint32_t size = sizeof(id);
        ASSERT_EQ(J_Factory_GetCameraIDByIndex(factory_, i, id, &size), J_ST_SUCCESS);
        EXPECT_EQ(size, std::strlen(id) + 1);
        ids += id;
        int64_t width = 0, format = 0;
        CAM_HANDLE camera = nullptr;
        ASSERT_EQ(J_Camera_Open(factory_, id, &camera, 0), J_ST_SUCCESS);
        EXPECT_EQ(J_Camera_GetValueInt64(camera, "Width", &width), J_ST_SUCCESS);
        EXPECT_EQ(J_Camera_GetValueInt64(camera, "PixelFormat", &format), J_ST_SUCCESS);
        EXPECT_EQ(width, 2048);
        EXPECT_EQ((format >> 16) & 0xFF, 8);
        J_Camera_Close(camera);
    }
    EXPECT_NE(ids.find("INT=>FD"), std::string::npos);
    EXPECT_NE(ids.find("INT=>SD"), std::string::npos);
    char version[512];
    uint32_t size = sizeof(version);
    EXPECT_EQ(J_Factory_GetInfo(FAC_INFO_VERSION, version, &size), J_ST_SUCCESS);
    EXPECT_GT(std::strlen(version), 0u);
}

TEST_F(jai_sim_test, text_buffers_too_small_fail_and_tell_the_size) {
    bool8_t changed = 0;
    J_Factory_UpdateCameraList(factory_, &changed);
    char id[4];
    uint32_t size = sizeof(id);
    EXPECT_EQ(J_Factory_GetCameraIDByIndex(factory_, 0, id, &size), J_ST_INVALID_BUFFER_SIZE);
    EXPECT_GT(size, 4u);
    size = 512;
    char big[512];
    EXPECT_NE(J_Factory_GetCameraIDByIndex(factory_, 5, big, &size), J_ST_SUCCESS);
}

TEST_F(jai_sim_test, settings_file_text_describes_any_number_of_cameras) {
    std::istringstream none("# no cameras at all\n");
    std::vector<jai_sim::camera_config> cameras;
    std::string error;
    ASSERT_TRUE(jai_sim::parse_settings(none, cameras, error));
    EXPECT_TRUE(cameras.empty());

    std::istringstream two(
        "[camera]\nid = A INT=>FD\nwidth = 640\nheight=480\npixel_format=0x01100003\nfps = 2.5\n"
        "[camera]\nmodel = X\n");
    ASSERT_TRUE(jai_sim::parse_settings(two, cameras, error)) << error;
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].id, "A INT=>FD");
    EXPECT_EQ(cameras[0].width, 640);
    EXPECT_EQ(cameras[0].pixel_format, 0x01100003);
    EXPECT_DOUBLE_EQ(cameras[0].fps, 2.5);
    EXPECT_EQ(cameras[1].model, "X");

    std::istringstream bad("[camera]\nwidth = wide\n");
    EXPECT_FALSE(jai_sim::parse_settings(bad, cameras, error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
}

TEST_F(jai_sim_test, exposure_mode_takes_the_ten_modes_only) {
    CAM_HANDLE camera = open_camera(0);
    EXPECT_EQ(J_Camera_SetValueString(camera, "ExposureMode", "Off"), J_ST_SUCCESS);
    EXPECT_EQ(J_Camera_SetValueString(camera, "ExposureMode", "ContinuousPreset9"), J_ST_SUCCESS);
    EXPECT_NE(J_Camera_SetValueString(camera, "ExposureMode", "ContinuousPreset10"), J_ST_SUCCESS);
    EXPECT_NE(J_Camera_SetValueString(camera, "ExposureMode", "off"), J_ST_SUCCESS);
    EXPECT_NE(J_Camera_ExecuteCommand(camera, "Explode"), J_ST_SUCCESS);
    J_Camera_Close(camera);
}

TEST_F(jai_sim_test, injected_failure_hits_the_chosen_call_once) {
    jai_sim::fail_call("J_Camera_Open", 1, 1);
    bool8_t changed = 0;
    J_Factory_UpdateCameraList(factory_, &changed);
    char id[512];
    uint32_t size = sizeof(id);
    J_Factory_GetCameraIDByIndex(factory_, 0, id, &size);
    CAM_HANDLE a = nullptr, b = nullptr;
    EXPECT_EQ(J_Camera_Open(factory_, id, &a, 0), J_ST_SUCCESS);  // skipped
    J_Camera_Close(a);
    EXPECT_NE(J_Camera_Open(factory_, id, &b, 0), J_ST_SUCCESS);  // fails
    EXPECT_EQ(J_Camera_Open(factory_, id, &b, 0), J_ST_SUCCESS);  // and only once
    J_Camera_Close(b);
}

TEST_F(jai_sim_test, frames_stream_into_queued_buffers_and_are_numbered) {
    CAM_HANDLE camera = open_camera(50);
    {
        stream_fixture s(camera, 4, 256 * 128);
        int64_t previous = -1;
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(wait(s.condition, 1000), J_COND_WAIT_SIGNAL);
            J_EVENT_DATA_NEW_BUFFER data{};
            uint32_t size = sizeof(data);
            ASSERT_EQ(size, 16u);
            ASSERT_EQ(J_Event_GetData(s.event, &data, &size), J_ST_SUCCESS);
            uint64_t base = 0, image_size = 0;
            uint32_t width = 0, s8 = 8, s4 = 4;
            ASSERT_EQ(J_DataStream_GetBufferInfo(s.stream, data.BufferHandle, BUFFER_INFO_BASE,
                                                 &base, &s8),
                      J_ST_SUCCESS);
            s8 = 8;
            ASSERT_EQ(J_DataStream_GetBufferInfo(s.stream, data.BufferHandle, BUFFER_INFO_SIZE,
                                                 &image_size, &s8),
                      J_ST_SUCCESS);
            ASSERT_EQ(J_DataStream_GetBufferInfo(s.stream, data.BufferHandle, BUFFER_INFO_WIDTH,
                                                 &width, &s4),
                      J_ST_SUCCESS);
            EXPECT_EQ(width, 256u);
            EXPECT_EQ(image_size, 256u * 128u);
            const auto* pixels = reinterpret_cast<const uint8_t*>(base);
            const int64_t n = jai_sim::read_frame_number(pixels, 256, 128);
            EXPECT_GT(n, previous);
            previous = n;
            ASSERT_EQ(J_DataStream_QueueBuffer(s.stream, data.BufferHandle), J_ST_SUCCESS);
        }
        EXPECT_GE(s.info(STREAM_INFO_NUM_DELIVERED), 5u);
    }
    EXPECT_EQ(jai_sim::open_streams(), 0);
    J_Camera_Close(camera);
    EXPECT_EQ(jai_sim::open_cameras(), 0);
}

TEST_F(jai_sim_test, frames_without_a_queued_buffer_are_lost_and_counted) {
    CAM_HANDLE camera = open_camera(100);
    stream_fixture s(camera, 2, 256 * 128);
    // Nobody takes the two filled buffers, so every later frame is lost.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(s.info(STREAM_INFO_NUM_DELIVERED), 2u);
    EXPECT_EQ(s.info(STREAM_INFO_NUM_AWAIT_DELIVERY), 2u);
    EXPECT_GE(s.info(STREAM_INFO_NUM_UNDERRUN), 5u);
    EXPECT_EQ(s.info(STREAM_INFO_NUM_CORRUPT), 0u);
    J_Camera_Close(camera);
}

TEST_F(jai_sim_test, silent_camera_times_out_and_exit_ends_a_pending_or_the_next_wait) {
    CAM_HANDLE camera = open_camera(0);
    stream_fixture s(camera, 2, 256 * 128);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(wait(s.condition, 200), J_COND_WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));

    // Exit requested before the wait: the next wait answers 2 at once.
    ASSERT_EQ(J_Event_ExitCondition(s.condition), J_ST_SUCCESS);
    EXPECT_EQ(wait(s.condition, 5000), J_COND_WAIT_EXIT);

    // Exit from another thread ends a wait in progress.
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        J_Event_ExitCondition(s.condition);
    });
    const auto pending = std::chrono::steady_clock::now();
    EXPECT_EQ(wait(s.condition, 5000), J_COND_WAIT_EXIT);
    EXPECT_LT(std::chrono::steady_clock::now() - pending, std::chrono::seconds(2));
    stopper.join();

    jai_sim::force_wait_result(J_COND_WAIT_ERROR);
    EXPECT_EQ(wait(s.condition, 1000), J_COND_WAIT_ERROR);
    J_Camera_Close(camera);
}

TEST_F(jai_sim_test, rotate_turns_the_image_by_180_degrees) {
    std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6};
    J_tIMAGE_INFO info{};
    info.iPixelType = J_GVSP_PIX_MONO8;
    info.iSizeX = 3;
    info.iSizeY = 2;
    info.iImageSize = 6;
    info.pImageBuffer = pixels.data();
    ASSERT_EQ(J_Image_Rotate(&info, J_ROTATE_180), J_ST_SUCCESS);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{6, 5, 4, 3, 2, 1}));

    std::vector<uint8_t> wide = {1, 2, 3, 4};  // two 16-bit pixels
    info.iPixelType = J_GVSP_PIX_MONO10;
    info.iSizeX = 2;
    info.iSizeY = 1;
    info.iImageSize = 4;
    info.pImageBuffer = wide.data();
    ASSERT_EQ(J_Image_Rotate(&info, J_ROTATE_180), J_ST_SUCCESS);
    EXPECT_EQ(wide, (std::vector<uint8_t>{3, 4, 1, 2}));
    EXPECT_NE(J_Image_Rotate(&info, 1), J_ST_SUCCESS);
}

TEST_F(jai_sim_test, corrupt_frames_are_counted_and_their_buffers_never_delivered) {
    CAM_HANDLE camera = open_camera(100, 256, 128, J_GVSP_PIX_MONO8, 3);
    {
        stream_fixture s(camera, 8, 256 * 128);
        int taken = 0;
        while (taken < 12) {
            ASSERT_EQ(wait(s.condition, 1000), J_COND_WAIT_SIGNAL);
            BUF_HANDLE b = nullptr;
            take(s, b);
            ++taken;
            ASSERT_EQ(J_DataStream_QueueBuffer(s.stream, b), J_ST_SUCCESS);
        }
        ASSERT_EQ(J_DataStream_StopAcquisition(s.stream, ACQ_STOP_FLAG_KILL), J_ST_SUCCESS);
        const uint64_t delivered = s.info(STREAM_INFO_NUM_DELIVERED);
        const uint64_t corrupt = s.info(STREAM_INFO_NUM_CORRUPT);
        EXPECT_EQ(delivered, uint64_t(taken) + s.info(STREAM_INFO_NUM_AWAIT_DELIVERY));
        // Every third filled frame is corrupt, and none of those is delivered.
        EXPECT_GT(corrupt, 0u);
        EXPECT_EQ(corrupt, (delivered + corrupt) / 3);
    }
    J_Camera_Close(camera);
}

TEST_F(jai_sim_test, wide_formats_carry_the_picture_at_their_own_depth) {
    const std::pair<int64_t, int> formats[] = {
        {J_GVSP_PIX_MONO10, 10}, {J_GVSP_PIX_MONO12, 12}, {J_GVSP_PIX_MONO16, 16}};
    for (const auto& [format, depth] : formats) {
        CAM_HANDLE camera = open_camera(50, 256, 128, format);
        auto frame = read_frame_geometry(camera);
        ASSERT_EQ(frame->pixels.size(), 2u * 256 * 128);
        {
            stream_fixture s(camera, 2, frame->pixels.size());
            ASSERT_EQ(wait(s.condition, 1000), J_COND_WAIT_SIGNAL);
            BUF_HANDLE b = nullptr;
            const uint8_t* pixels = take(s, b);
            std::memcpy(frame->pixels.data(), pixels, frame->pixels.size());
        }
        uint32_t highest = 0;
        for (size_t i = 0; i < frame->pixels.size(); i += 2) {
            highest = std::max<uint32_t>(highest, frame->pixels[i] | frame->pixels[i + 1] << 8);
        }
        EXPECT_LT(highest, 1u << depth) << depth;
        EXPECT_GE(highest, 1u << (depth - 1)) << depth;  // bright rails use the upper half
        cv::Mat gray;
        copy_gray8(*frame, gray);
        EXPECT_GE(jai_sim::read_frame_number(gray.data, 256, 128), 0) << depth;
        J_Camera_Close(camera);
    }
}

TEST_F(jai_sim_test, an_unplugged_camera_fails_its_wait_and_calls_and_opens_again_when_back) {
    CAM_HANDLE camera = open_camera(50);
    {
        stream_fixture s(camera, 4, 256 * 128);
        ASSERT_EQ(wait(s.condition, 1000), J_COND_WAIT_SIGNAL);
        jai_sim::disconnect(kId);
        // Frames already delivered are handed out first.
        int32_t result = J_COND_WAIT_SIGNAL;
        while ((result = wait(s.condition, 1000)) == J_COND_WAIT_SIGNAL) {
            BUF_HANDLE b = nullptr;
            take(s, b);
        }
        EXPECT_EQ(result, J_COND_WAIT_ERROR);
        EXPECT_EQ(wait(s.condition, 1000), J_COND_WAIT_ERROR);  // and keeps failing
        int64_t width = 0;
        EXPECT_NE(J_Camera_GetValueInt64(camera, "Width", &width), J_ST_SUCCESS);
        EXPECT_NE(J_Camera_ExecuteCommand(camera, "AcquisitionStop"), J_ST_SUCCESS);
    }
    EXPECT_EQ(jai_sim::open_streams(), 0);
    EXPECT_EQ(J_Camera_Close(camera), J_ST_SUCCESS);

    bool8_t changed = 0;
    uint32_t count = 9;
    ASSERT_EQ(J_Factory_UpdateCameraList(factory_, &changed), J_ST_SUCCESS);
    ASSERT_EQ(J_Factory_GetNumOfCameras(factory_, &count), J_ST_SUCCESS);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(J_Camera_Open(factory_, kId, &camera, 0), J_ST_SUCCESS);

    jai_sim::reconnect(kId);
    ASSERT_EQ(J_Factory_UpdateCameraList(factory_, &changed), J_ST_SUCCESS);
    ASSERT_EQ(J_Factory_GetNumOfCameras(factory_, &count), J_ST_SUCCESS);
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(J_Camera_Open(factory_, kId, &camera, 0), J_ST_SUCCESS);
    {
        stream_fixture s(camera, 4, 256 * 128);
        EXPECT_EQ(wait(s.condition, 1000), J_COND_WAIT_SIGNAL);
    }
    J_Camera_Close(camera);
}
