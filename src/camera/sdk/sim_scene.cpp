#include "camera/sdk/sim_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

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

// A small fixed generator: the same scene on every machine and run.
class scene_random {
  public:
    explicit scene_random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return uint32_t(state_ >> 32);
    }
    // Uniform in [0, 1).
    float unit() { return float(next() >> 8) * (1.0f / 16777216.0f); }
    float range(float lo, float hi) { return lo + (hi - lo) * unit(); }

  private:
    uint64_t state_;
};

// Grey levels of the track strip as it is drawn: `period` lines that wrap
// around, so that the strip's end meets its beginning without a seam.
class canvas {
  public:
    canvas(uint32_t width, uint32_t period, float fill)
        : width_(int(width)), period_(int(period)), v_(size_t(width) * period, fill) {}

    int width() const { return width_; }
    int period() const { return period_; }
    float& at(int x, int y) {
        y %= period_;
        if (y < 0) y += period_;
        return v_[size_t(y) * width_ + x];
    }
    // Lays `value` over the pixel with coverage `alpha` (0..1).
    void blend(int x, int y, float value, float alpha) {
        if (x < 0 || x >= width_ || alpha <= 0) return;
        float& p = at(x, y);
        p += (value - p) * std::min(alpha, 1.0f);
    }

    // An elliptical stone lit from the upper left: a dome of grey `shade`
    // with an edge about a pixel and a half wide.
    void stone(float cx, float cy, float rx, float ry, float angle, float shade) {
        const float c = std::cos(angle), s = std::sin(angle);
        const float reach = std::max(rx, ry) + 2;
        const float edge = 1.5f / std::min(rx, ry);
        for (int y = int(std::floor(cy - reach)); y <= int(std::ceil(cy + reach)); ++y) {
            for (int x = std::max(0, int(std::floor(cx - reach)));
                 x <= std::min(width_ - 1, int(std::ceil(cx + reach))); ++x) {
                const float dx = float(x) - cx, dy = float(y) - cy;
                const float u = (dx * c + dy * s) / rx, v = (dy * c - dx * s) / ry;
                const float d = u * u + v * v;
                if (d >= 1 + 2 * edge) continue;
                const float alpha = (1 - d) / (2 * edge) + 0.5f;
                const float dome = std::sqrt(std::max(0.0f, 1 - d));
                const float light = 0.55f + 0.3f * dome - 0.25f * (dx + dy) / (rx + ry);
                blend(x, y, shade * light, alpha);
            }
        }
    }

    // A band across the whole width from line y0 to y1, with soft ends.
    void band(float y0, float y1, float shade, float (*texture)(int, int)) {
        for (int y = int(std::floor(y0)) - 2; y <= int(std::ceil(y1)) + 2; ++y) {
            const float alpha =
                std::clamp(std::min(float(y) - y0, y1 - float(y)) / 2 + 0.5f, 0.0f, 1.0f);
            if (alpha <= 0) continue;
            for (int x = 0; x < width_; ++x)
                blend(x, y, shade + texture(x, y), alpha);
        }
    }

    // Columns from x0 to x1 on every line, shaded by `profile` (0..1 across).
    void column(float x0, float x1, float (*profile)(float)) {
        for (int x = int(std::floor(x0)) - 1; x <= int(std::ceil(x1)) + 1; ++x) {
            if (x < 0 || x >= width_) continue;
            const float alpha =
                std::clamp(std::min(float(x) - x0, x1 - float(x)) / 1.5f + 0.5f, 0.0f, 1.0f);
            const float value = profile(std::clamp((float(x) - x0) / (x1 - x0), 0.0f, 1.0f));
            for (int y = 0; y < period_; ++y)
                blend(x, y, value, alpha);
        }
    }

    // A rectangle with soft edges: a fastening's plate.
    void plate(float x0, float y0, float x1, float y1, float shade) {
        for (int y = int(std::floor(y0)) - 1; y <= int(std::ceil(y1)) + 1; ++y) {
            const float ay = std::clamp(std::min(float(y) - y0, y1 - float(y)) + 0.5f, 0.0f, 1.0f);
            for (int x = int(std::floor(x0)) - 1; x <= int(std::ceil(x1)) + 1; ++x) {
                const float ax =
                    std::clamp(std::min(float(x) - x0, x1 - float(x)) + 0.5f, 0.0f, 1.0f);
                const float ramp = 0.85f + 0.3f * (float(y) - y0) / std::max(1.0f, y1 - y0);
                blend(x, y, shade * ramp, ax * ay);
            }
        }
    }

    // The vehicle's motion smears each point over a few lines.
    void motion_blur() {
        std::vector<float> out(v_.size());
        for (int y = 0; y < period_; ++y) {
            const float* a = &at(0, y - 1);
            const float* b = &at(0, y);
            const float* c = &at(0, y + 1);
            float* o = &out[size_t(y) * width_];
            for (int x = 0; x < width_; ++x)
                o[x] = 0.25f * a[x] + 0.5f * b[x] + 0.25f * c[x];
        }
        v_.swap(out);
    }

  private:
    int width_, period_;
    std::vector<float> v_;  // period_ lines of width_ levels
};

float concrete(int x, int y) {
    // Low ripples and a fine grain, both fixed by position.
    const uint32_t h = uint32_t(x) * 2654435761u ^ uint32_t(y) * 2246822519u;
    return 6 * std::sin(float(x) * 0.013f + float(y) * 0.021f) + float((h >> 28) & 7) - 3.5f;
}

float rail_head(float t) {
    // Bright, worn running surface; darker rounded flanks.
    const float flank = std::min(t, 1 - t) * 2;  // 0 at the sides, 1 in the middle
    return 95 + 140 * std::sqrt(flank);
}

}  // namespace

sim_scene::strip sim_scene::draw_track(uint32_t width, uint32_t height) {
    // Sleepers a little over half a frame apart; the strip holds a whole
    // number of them and about three frames of line.
    const uint32_t spacing = std::max<uint32_t>(48, height * 3 / 5);
    const uint32_t sleepers = std::max<uint32_t>(3, (3 * height + spacing - 1) / spacing);
    strip out;
    out.period = spacing * sleepers;
    out.step = height / 2 + 7;
    if (width == 0) return out;

    canvas c(width, out.period, 45);  // the dark bed between the stones
    scene_random rng(width * 7919ull + height);
    const float w = float(width);

    // Ballast: stones of sizes spread evenly on a log scale, laid until they
    // cover the bed about one and a half times.
    const float r_min = 1.5f, r_max = std::max(3.0f, w / 70);
    const double bed = double(width) * out.period;
    for (double covered = 0; covered < 1.6 * bed;) {
        const float r = r_min * std::pow(r_max / r_min, rng.unit());
        const float aspect = rng.range(0.6f, 1.0f);
        c.stone(rng.range(0, w), rng.range(0, float(out.period)), r, r * aspect,
                rng.range(0, 3.1416f), rng.range(60, 150));
        covered += 3.1416 * r * r * aspect;
    }

    const float gauge[2] = {w * 0.27f, w * 0.73f};
    const float rail = std::max(3.0f, w / 40);
    for (uint32_t i = 0; i < sleepers; ++i) {
        const float y0 = float(i * spacing) + float(spacing) * 0.2f;
        const float y1 = y0 + float(spacing) * 0.42f;
        c.band(y0, y1, 128, concrete);
        // Fastenings: a plate each side of each rail, with its bolt.
        const float mid = (y0 + y1) / 2, half = (y1 - y0) * 0.2f;
        for (const float x : gauge) {
            for (const float side : {-1.0f, 1.0f}) {
                const float near = x + side * rail * 0.6f, far = x + side * rail * 1.9f;
                c.plate(std::min(near, far), mid - half, std::max(near, far), mid + half, 75);
                c.stone((near + far) / 2, mid, rail * 0.28f, rail * 0.28f, 0, 185);
            }
        }
    }
    for (const float x : gauge) {
        c.column(x - rail * 0.8f, x + rail * 0.8f, [](float) { return 30.0f; });  // foot shadow
        c.column(x - rail * 0.5f, x + rail * 0.5f, rail_head);
    }

    c.motion_blur();

    // Darker towards the sides, as under a car; then a few grey levels of
    // sensor noise.
    out.lines.resize(size_t(width) * (out.period + height));
    for (uint32_t y = 0; y < out.period; ++y) {
        uint8_t* line = &out.lines[size_t(y) * width];
        for (uint32_t x = 0; x < width; ++x) {
            const float edge = std::min(float(x), w - 1 - float(x)) / (w * 0.12f);
            const float shade = 0.6f + 0.4f * std::min(1.0f, edge);
            const float noise = (rng.unit() + rng.unit() - 1) * 2.5f;
            line[x] =
                uint8_t(std::clamp(c.at(int(x), int(y)) * shade + noise + 0.5f, 0.0f, 255.0f));
        }
    }
    std::memcpy(&out.lines[size_t(out.period) * width], out.lines.data(), size_t(width) * height);
    return out;
}

sim_scene::strip sim_scene::draw_noise(uint32_t width, uint32_t height) {
    constexpr uint32_t kPeriod = 180;  // lines between two sleepers
    strip out;
    out.period = kPeriod;
    out.step = 37;
    out.lines.resize(size_t(width) * (height + kPeriod));
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
            out.lines[size_t(y) * width + x] = uint8_t(std::min(v, 255));
        }
    }
    return out;
}

std::shared_ptr<const sim_scene::strip> sim_scene::shared_strip(uint32_t width, uint32_t height,
                                                                jai_sim::scene_kind kind) {
    using key = std::tuple<uint32_t, uint32_t, jai_sim::scene_kind>;
    static std::mutex guard;
    // Every strip drawn so far, kept for the process: cameras are opened and
    // closed again and again, and drawing costs far more than a frame.
    // Guarded by `guard`.
    static std::map<key, std::shared_ptr<const strip>> strips;
    std::lock_guard<std::mutex> lock(guard);
    auto& slot = strips[key(width, height, kind)];
    if (!slot) {
        slot = std::make_shared<const strip>(kind == jai_sim::scene_kind::noise
                                                 ? draw_noise(width, height)
                                                 : draw_track(width, height));
    }
    return slot;
}

sim_scene::sim_scene(uint32_t width, uint32_t height, jai_sim::scene_kind kind)
    : width_(width), height_(height), strip_(shared_strip(width, height, kind)) {}

void sim_scene::draw(uint64_t n, uint8_t* gray) const {
    const uint32_t scroll = uint32_t((n * strip_->step) % strip_->period);
    std::memcpy(gray, strip_->lines.data() + size_t(scroll) * width_, size_t(width_) * height_);
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
