#include "support/sample_db.h"

#include "database/ldb_writer.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

int sample_brightness(uint32_t value) {
    return 20 + int(value % 200);
}

cv::Mat sample_frame(uint32_t value, int width, int height) {
    // Texture around the brightness, so frames have realistic JPEG sizes.
    cv::Mat noise(height, width, CV_16SC1);
    cv::randn(noise, cv::Scalar(0), cv::Scalar(12));
    cv::Mat frame(height, width, CV_16SC1, cv::Scalar(sample_brightness(value)));
    frame += noise;
    frame.convertTo(frame, CV_8UC1);
    return frame;
}

void make_database(const std::string& path, const std::vector<uint32_t>& values,
                   const std::string& session, const std::string& side, bool close, cv::Size size) {
    ldb_writer writer;
    writer.open(path);
    const std::time_t now = std::time(nullptr);
    for (uint32_t v : values) {
        if (writer.count() == 0) {
            writer.put_dpp_start(v);
            writer.put_time_start(now);
        }
        writer.put_dpp_end(v);
        writer.put_time_end(now);
        writer.put_frame(sample_frame(v, size.width, size.height), v);
    }
    if (close) {
        writer.close(session, side);
    } else {
        writer.release();
    }
}

std::vector<std::string> many_sessions(const std::string& folder, int count) {
    namespace fs = std::filesystem;
    const std::string model = folder + ".model";
    make_database(model, {100, 105}, "A : B", "left");
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/2024.01.01 %05d", i);
        const std::string path = folder + name;
        fs::create_directories(path);
        for (const auto& file : fs::directory_iterator(model)) {
            const std::string file_name = file.path().filename().string();
            if (file_name == "LOCK" || file_name.rfind("LOG", 0) == 0) continue;
            fs::create_hard_link(file.path(), path + "/" + file_name);
        }
        paths.push_back(path);
    }
    return paths;
}
