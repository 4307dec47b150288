// The simulator's scenes: moving, numbered, repeatable, and the track scene
// compresses like a camera's frames rather than like noise.
#include "camera/sdk/jai_sim.h"
#include "camera/sdk/sim_scene.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <sstream>
#include <vector>

namespace {

std::vector<uint8_t> frame(const sim_scene& scene, uint64_t n, uint32_t w, uint32_t h) {
    std::vector<uint8_t> grey(size_t(w) * h);
    scene.draw(n, grey.data());
    return grey;
}

double jpeg_bits_per_pixel(std::vector<uint8_t>& grey, uint32_t w, uint32_t h) {
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", cv::Mat(int(h), int(w), CV_8UC1, grey.data()), jpeg,
                 {cv::IMWRITE_JPEG_QUALITY, 85});
    return 8.0 * double(jpeg.size()) / (double(w) * h);
}

}  // namespace

TEST(sim_scene, frames_move_carry_their_number_and_repeat_for_the_same_number) {
    constexpr uint32_t w = 2048, h = 1024;
    for (const auto kind : {jai_sim::scene_kind::track, jai_sim::scene_kind::noise}) {
        const sim_scene scene(w, h, kind);
        auto previous = frame(scene, 99, w, h);
        for (uint64_t n = 100; n < 110; ++n) {
            auto grey = frame(scene, n, w, h);
            EXPECT_NE(grey, previous) << "frame " << n;
            EXPECT_EQ(jai_sim::read_frame_number(grey.data(), w, h, false), int64_t(n));
            EXPECT_EQ(grey, frame(sim_scene(w, h, kind), n, w, h)) << "frame " << n;
            previous = std::move(grey);
        }
    }
}

TEST(sim_scene, the_track_compresses_like_a_camera_and_the_noise_scene_does_not) {
    constexpr uint32_t w = 4096, h = 1024;
    double track = 0, noise = 0;
    for (uint64_t n = 0; n < 4; ++n) {
        auto t = frame(sim_scene(w, h, jai_sim::scene_kind::track), n, w, h);
        auto z = frame(sim_scene(w, h, jai_sim::scene_kind::noise), n, w, h);
        track += jpeg_bits_per_pixel(t, w, h) / 4;
        noise += jpeg_bits_per_pixel(z, w, h) / 4;
    }
    EXPECT_GT(track, 0.6);
    EXPECT_LT(track, 1.2);
    EXPECT_GT(noise, 2.0);
}

TEST(sim_scene, the_settings_file_chooses_the_scene) {
    std::vector<jai_sim::camera_config> cameras;
    std::string error;
    std::istringstream two("[camera]\nscene = noise\n[camera]\nwidth = 640\n");
    ASSERT_TRUE(jai_sim::parse_settings(two, cameras, error)) << error;
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].scene, jai_sim::scene_kind::noise);
    EXPECT_EQ(cameras[1].scene, jai_sim::scene_kind::track);
    std::istringstream bad("[camera]\nscene = grass\n");
    EXPECT_FALSE(jai_sim::parse_settings(bad, cameras, error));
    EXPECT_NE(error.find("track or noise"), std::string::npos) << error;
}
