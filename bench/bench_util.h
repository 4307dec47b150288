// Side-by-side timing: two variants run alternately in one process, so the
// machine's noise falls on both alike; the median of each is compared.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <functional>
#include <leveldb/db.h>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

struct side_by_side {
    double ours_ms;
    double bare_ms;
    double ratio() const { return ours_ms / bare_ms; }
};

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline side_by_side compare(int rounds, const std::function<void()>& ours,
                            const std::function<void()>& bare) {
    using clock = std::chrono::steady_clock;
    std::vector<double> a, b;
    ours();  // warm-up
    bare();
    for (int i = 0; i < rounds; ++i) {
        auto t0 = clock::now();
        ours();
        auto t1 = clock::now();
        bare();
        auto t2 = clock::now();
        a.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        b.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    return {median(a), median(b)};
}

// A grey frame with the texture of a track seen from below: ballast noise,
// sleepers and rails, so encoders work as hard as on real frames.
inline cv::Mat textured_frame(int width, int height, int seed = 1) {
    cv::Mat frame(height, width, CV_8UC1);
    cv::RNG rng(seed);
    rng.fill(frame, cv::RNG::NORMAL, 70, 25);
    for (int y = 0; y < height; y += 180) {
        frame(cv::Rect(0, y, width, std::min(60, height - y))) += 50;
    }
    for (int x : {width / 4, width * 3 / 4}) {
        frame(cv::Rect(x - width / 60, 0, width / 30, height)) += 120;
    }
    cv::GaussianBlur(frame, frame, cv::Size(3, 3), 0);
    return frame;
}

// The baseline every database measurement is held against: a bare store...
inline std::unique_ptr<leveldb::DB> open_bare_store(const std::string& path) {
    leveldb::Options options;
    options.create_if_missing = true;
    leveldb::DB* raw = nullptr;
    if (!leveldb::DB::Open(options, path, &raw).ok()) std::abort();
    return std::unique_ptr<leveldb::DB>(raw);
}

// ...and one bare JPEG 85 encode with one bare put of its bytes.
inline void bare_encode_and_put(leveldb::DB& db, const cv::Mat& frame, uint32_t value) {
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", frame, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
    db.Put(leveldb::WriteOptions(), std::to_string(value),
           leveldb::Slice(reinterpret_cast<const char*>(jpeg.data()), jpeg.size()));
}
