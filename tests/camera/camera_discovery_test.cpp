// Listing, describing and choosing cameras; frame geometry.
#include "camera/camera_discovery.h"
#include "camera/frame_buffer.h"
#include "camera/JAI_Camera.h"
#include "camera/sdk/jai_sim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

namespace {

jai_sim::camera_config camera(const std::string& id, const std::string& model,
                              const std::string& ip) {
    jai_sim::camera_config c;
    c.id = id;
    c.model = model;
    c.ip = ip;
    c.fps = 0;
    return c;
}

class camera_discovery_test : public testing::Test {
  protected:
    void SetUp() override { jai_sim::reset(); }
    void TearDown() override {
        if (factory_) J_Factory_Close(factory_);
        jai_sim::reset();
    }
    FACTORY_HANDLE factory_ = nullptr;
};

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

TEST_F(camera_discovery_test, descriptions_name_model_address_and_driver_in_byte_order) {
    jai_sim::set_cameras({camera("B INT=>SD", "Zeta", "10.0.0.2"),
                          camera("A INT=>FD", "Alpha", "10.0.0.1"),
                          camera("C", "Mid", "10.0.0.3")});
    const camera_map cameras = enumerate_cameras(factory_);
    ASSERT_EQ(cameras.size(), 3u);
    auto it = cameras.begin();
    EXPECT_EQ(it->first, "Alpha 10.0.0.1 [FilterDriver]");
    EXPECT_EQ(it->second, "A INT=>FD");
    EXPECT_EQ((++it)->first, "Mid 10.0.0.3 [UnknownDriver]");
    EXPECT_EQ((++it)->first, "Zeta 10.0.0.2 [SocketDriver]");
    EXPECT_NE(factory_, nullptr);  // left open
}

TEST_F(camera_discovery_test, equal_descriptions_keep_the_first_id) {
    jai_sim::set_cameras({camera("first INT=>SD", "M", "1"), camera("second INT=>SD", "M", "1")});
    const camera_map cameras = enumerate_cameras(factory_);
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras.begin()->second, "first INT=>SD");
}

TEST_F(camera_discovery_test, no_camera_gives_an_empty_map) {
    jai_sim::set_cameras({});
    EXPECT_TRUE(enumerate_cameras(factory_).empty());
    EXPECT_EQ(choose_camera({}, "SocketDriver"), "");
}

TEST_F(camera_discovery_test, preferred_driver_wins_else_the_first_camera) {
    const camera_map cameras = {{"A 1 [FilterDriver]", "a"}, {"B 2 [SocketDriver]", "b"}};
    EXPECT_EQ(choose_camera(cameras, "SocketDriver"), "B 2 [SocketDriver]");
    EXPECT_EQ(choose_camera(cameras, "FilterDriver"), "A 1 [FilterDriver]");
    EXPECT_EQ(choose_camera(cameras, "NoSuchDriver"), "A 1 [FilterDriver]");
}

TEST_F(camera_discovery_test, sdk_failures_become_the_documented_errors) {
    jai_sim::set_cameras({camera("A INT=>FD", "M", "1")});
    jai_sim::fail_call("J_Factory_UpdateCameraList");
    EXPECT_EQ(error_of([&] { enumerate_cameras(factory_); }), "Error updating camera list.");
    jai_sim::fail_call("J_Factory_GetNumOfCameras");
    EXPECT_EQ(error_of([&] { enumerate_cameras(factory_); }), "Error getting number of cameras.");
    jai_sim::fail_call("J_Factory_GetCameraInfo");
    EXPECT_EQ(error_of([&] { enumerate_cameras(factory_); }), "Error getting camera model info.");
    jai_sim::fail_call("J_Factory_GetCameraInfo", 1);
    EXPECT_EQ(error_of([&] { enumerate_cameras(factory_); }), "Error getting camera IP info.");
    jai_sim::fail_call("J_Factory_GetCameraIDByIndex");
    EXPECT_EQ(error_of([&] { enumerate_cameras(factory_); }), "Error getting camera ID.");
    jai_sim::fail_call("J_Factory_Open");
    EXPECT_EQ(error_of([&] { enumerate_cameras(factory_); }), "Error opening JAI factory.");
    jai_sim::fail_call("J_Camera_Open");
    EXPECT_EQ(error_of([&] {
                  enumerate_cameras(factory_);
                  JAI_Camera::open(factory_, "A INT=>FD");
              }),
              "Error opening camera.");
}

TEST_F(camera_discovery_test, geometry_sizes_the_frame_buffer) {
    auto c = camera("A INT=>FD", "M", "1");
    c.width = 100;
    c.height = 30;
    c.pixel_format = 0x01100003;  // 16 bits
    auto narrow = camera("B INT=>SD", "N", "2");
    narrow.width = 10;
    narrow.height = 10;
    jai_sim::set_cameras({c, narrow});
    enumerate_cameras(factory_);
    auto wide = JAI_Camera::open(factory_, "A INT=>FD");
    auto frame = read_frame_geometry(wide->handle());
    EXPECT_EQ(frame->width, 100);
    EXPECT_EQ(frame->height, 30);
    EXPECT_EQ(frame->bits_per_pixel, 16u);
    EXPECT_EQ(frame->pixels.size(), 6000u);
    auto mono8 = JAI_Camera::open(factory_, "B INT=>SD");
    EXPECT_EQ(read_frame_geometry(mono8->handle())->pixels.size(), 100u);
    EXPECT_EQ(pixel_format_bits(0x01040001), 8u);  // a size field below 8 counts as 8

    jai_sim::fail_call("J_Camera_GetValueInt64", 1);
    EXPECT_EQ(error_of([&] { read_frame_geometry(wide->handle()); }),
              "Error getting frame height.");
    jai_sim::fail_call("J_Camera_GetValueInt64", 2);
    EXPECT_EQ(error_of([&] { read_frame_geometry(wide->handle()); }),
              "Error getting pixel format.");
}

TEST_F(camera_discovery_test, releasing_the_last_reference_closes_the_camera) {
    jai_sim::set_cameras({camera("A INT=>FD", "M", "1")});
    enumerate_cameras(factory_);
    {
        camera_ptr held = JAI_Camera::open(factory_, "A INT=>FD");
        camera_ptr copy = held;
        held.reset();
        EXPECT_EQ(jai_sim::open_cameras(), 1);
        EXPECT_EQ(exposure_modes().size(), 10u);
        EXPECT_NO_THROW(copy->set_exposure_mode(exposure_modes().back()));
        EXPECT_EQ(error_of([&] { copy->set_exposure_mode("Bright"); }),
                  "Error setting exposure mode.");
    }
    EXPECT_EQ(jai_sim::open_cameras(), 0);
}

TEST_F(camera_discovery_test, formats_other_than_mono_8_to_16_are_refused_by_their_code) {
    const std::pair<int64_t, uint32_t> recorded[] = {{J_GVSP_PIX_MONO8, 8},
                                                     {J_GVSP_PIX_MONO10, 16},
                                                     {J_GVSP_PIX_MONO12, 16},
                                                     {J_GVSP_PIX_MONO16, 16}};
    const int64_t refused[] = {
        0x01040001,  // 4 bits: once taken as 8
        0x010C0004,  // Mono10Packed
        0x010A0046,  // Mono10p
        0x01080008,  // BayerGR8
        0x02180014,  // RGB8
        0,
    };
    std::vector<jai_sim::camera_config> cameras;
    for (const auto& [format, bits] : recorded) {
        cameras.push_back(camera("OK " + std::to_string(format) + " INT=>SD", "M", "1"));
        cameras.back().pixel_format = format;
    }
    for (int64_t format : refused) {
        cameras.push_back(camera("NO " + std::to_string(format) + " INT=>SD", "M", "1"));
        cameras.back().pixel_format = format;
    }
    jai_sim::set_cameras(cameras);
    enumerate_cameras(factory_);
    for (const auto& [format, bits] : recorded) {
        auto cam = JAI_Camera::open(factory_, "OK " + std::to_string(format) + " INT=>SD");
        EXPECT_EQ(read_frame_geometry(cam->handle())->bits_per_pixel, bits) << format;
    }
    for (int64_t format : refused) {
        auto cam = JAI_Camera::open(factory_, "NO " + std::to_string(format) + " INT=>SD");
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08llX", static_cast<unsigned long long>(format));
        EXPECT_EQ(error_of([&] { read_frame_geometry(cam->handle()); }),
                  "Unsupported pixel format " + std::string(code) +
                      ": the station records Mono8, Mono10, Mono12 and Mono16 only.");
    }
}
