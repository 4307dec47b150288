#include "database/frame_lookup.h"

#include "database/catalogue.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "runtime/text_encoding.h"

#include <boost/format.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <stdexcept>

std::string make_session_code(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return {};
    return (boost::format("%1% : %2%") % a % b).str();
}

cv::Mat not_found_image(const std::string& text) {
    cv::Mat image = cv::Mat::zeros(480, 640, CV_8UC1);
    cv::putText(image, text, cv::Point(15, 15), cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(255), 1,
                cv::LINE_8);
    return image;
}

void live_frame(uint32_t value, cv::Mat& image) {
    image = cv::Mat();
    if (const auto bytes = ldb_writer::live().seek_value(value); bytes && !bytes->empty()) {
        const cv::Mat raw(1, static_cast<int>(bytes->size()), CV_8UC1,
                          const_cast<char*>(bytes->data()));
        image = cv::imdecode(raw, cv::IMREAD_COLOR);
    }
    if (image.empty()) {
        image = not_found_image((boost::format("Requested frame not found [%1%]") % value).str());
    }
}

void catalogue_frame(const std::string& session, uint32_t value, cv::Mat& image) {
    for (const ldb_entry& entry : catalogue::entries()) {
        const ldb_info& info = entry.info;
        if (info.session == session && info.dpp_start <= value && info.dpp_end >= value) {
            ldb_reader reader(to_narrow(entry.path));
            reader.frame_at(value, image);
            return;
        }
    }
    image = not_found_image(
        (boost::format("Requested frame not found [%1%:%2%]") % session % value).str());
}

std::vector<uint8_t> encode_frame_png(const cv::Mat& image) {
    std::vector<uint8_t> png;
    if (!image.empty() && !cv::imencode(".png", image, png, {cv::IMWRITE_PNG_COMPRESSION, 5})) {
        throw std::runtime_error("PNG encoding failed");
    }
    const uint32_t n = static_cast<uint32_t>(png.size());
    std::vector<uint8_t> out(4 + png.size());
    out[0] = uint8_t(n);
    out[1] = uint8_t(n >> 8);
    out[2] = uint8_t(n >> 16);
    out[3] = uint8_t(n >> 24);
    std::copy(png.begin(), png.end(), out.begin() + 4);
    return out;
}
