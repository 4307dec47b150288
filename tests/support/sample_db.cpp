#include "support/sample_db.h"

#include "database/ldb_writer.h"

#include <ctime>

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
