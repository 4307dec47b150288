#include "camera/sdk/sim_scene.h"

#include "camera/sdk/jai_sim.h"

#include <algorithm>
#include <cstring>

namespace {

// Bar code geometry shared by the drawing and the reading of frame numbers.
struct bar_code {
    uint32_t block, x0, y0;
    static constexpr int kBlocks = 36;  // guard 2 + 32 bits + guard 2
    static bool fits(uint32_t width, uint32_t height, bar_code& code) {
        if (width < 32 + kBlocks * 4 || height < 64) {
            return false;
        }
        code.block = std::min<uint32_t>(24, (width - 32) / kBlocks);
        code.x0 = 16;
        code.y0 = 16;
        return code.block * 2 + code.y0 < height;
    }
    static bool bit(uint64_t number, int i) {
        if (i == 0 || i == kBlocks - 1) return true;   // white guards outside,
        if (i == 1 || i == kBlocks - 2) return false;  // black guards inside
        return (number >> (i - 2)) & 1;
    }
};

}  // namespace

sim_scene::sim_scene(uint32_t width, uint32_t height) : width_(width), height_(height) {
    texture_.resize(size_t(width) * (height + kPeriod));
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < height + kPeriod; ++y) {
        const bool sleeper = (y % kPeriod) < kPeriod / 3;
        for (uint32_t x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            int v = 40 + int((seed >> 16) % 50);  // ballast
            if (sleeper) v = 110 + int((seed >> 16) % 20);
            const uint32_t r1 = width / 4, r2 = width * 3 / 4, half = std::max(4u, width / 60);
            if ((x > r1 - half && x < r1 + half) || (x > r2 - half && x < r2 + half)) {
                v = 210 + int((seed >> 16) % 30);  // rail heads
            }
            if (x < width / 30 || x > width - width / 30) v /= 2;  // vignette
            texture_[size_t(y) * width + x] = uint8_t(std::min(v, 255));
        }
    }
}

void sim_scene::draw(uint64_t n, uint8_t* gray) const {
    const uint32_t scroll = uint32_t((n * 37) % kPeriod);
    std::memcpy(gray, texture_.data() + size_t(scroll) * width_, size_t(width_) * height_);
    bar_code code{};
    if (!bar_code::fits(width_, height_, code)) return;
    for (int i = 0; i < bar_code::kBlocks; ++i) {
        const uint8_t v = bar_code::bit(n, i) ? 255 : 0;
        for (uint32_t y = code.y0; y < code.y0 + code.block * 2; ++y) {
            std::memset(gray + size_t(y) * width_ + code.x0 + i * code.block, v, code.block);
        }
    }
}

namespace jai_sim {

int64_t read_frame_number(const uint8_t* pixels, uint32_t width, uint32_t height, bool rotated) {
    bar_code code{};
    if (!pixels || !bar_code::fits(width, height, code)) return -1;
    auto at = [&](uint32_t x, uint32_t y) {
        if (rotated) {
            x = width - 1 - x;
            y = height - 1 - y;
        }
        return pixels[size_t(y) * width + x];
    };
    uint64_t number = 0;
    for (int i = 0; i < bar_code::kBlocks; ++i) {
        unsigned sum = 0;
        const uint32_t cx = code.x0 + i * code.block + code.block / 2;
        const uint32_t cy = code.y0 + code.block;
        for (uint32_t dy = 0; dy < 2; ++dy)
            for (uint32_t dx = 0; dx < 2; ++dx)
                sum += at(cx + dx, cy + dy);
        const bool white = sum / 4 >= 128;
        if (i < 2 || i >= bar_code::kBlocks - 2) {
            if (white != bar_code::bit(0, i)) return -1;
        } else if (white) {
            number |= uint64_t(1) << (i - 2);
        }
    }
    return int64_t(number);
}

}  // namespace jai_sim
