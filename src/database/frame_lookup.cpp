#include "database/frame_lookup.h"

#include "database/catalogue.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "database/png_writer.h"
#include "runtime/text_encoding.h"

#include <boost/format.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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
    if (const auto path = catalogue::instance().find_frame(session, value)) {
        ldb_reader reader(to_narrow(*path));
        reader.frame_at(value, image);
        return;
    }
    image = not_found_image(
        (boost::format("Requested frame not found [%1%:%2%]") % session % value).str());
}

std::vector<uint8_t> encode_png(const cv::Mat& image) {
    return write_png(image, image.channels() == 1 ? png_colour::grey : png_colour::rgb);
}
