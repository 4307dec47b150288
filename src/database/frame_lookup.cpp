#include "database/frame_lookup.h"

#include "database/catalogue.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "database/png_writer.h"
#include "runtime/text_encoding.h"

#include <boost/format.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

std::string live_not_found_text(uint32_t value) {
    return (boost::format("Requested frame not found [%1%]") % value).str();
}

std::string catalogue_not_found_text(const std::string& session, uint32_t value) {
    return (boost::format("Requested frame not found [%1%:%2%]") % session % value).str();
}

cv::Mat decode(const std::string& bytes, int flags) {
    const cv::Mat raw(1, static_cast<int>(bytes.size()), CV_8UC1, const_cast<char*>(bytes.data()));
    return bytes.empty() ? cv::Mat() : cv::imdecode(raw, flags);
}

// Components the frame header of a JPEG declares; 0 when the bytes reach a
// scan, their end or anything that is not a marker segment first.
int jpeg_components(const std::string& bytes) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t n = bytes.size();
    if (n < 2 || p[0] != 0xFF || p[1] != 0xD8) return 0;
    size_t i = 2;
    while (i + 4 <= n && p[i] == 0xFF) {
        const uint8_t marker = p[i + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length follows
            i += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) return 0;
        const bool frame_header =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        // Length, precision, height, width, then the number of components.
        if (frame_header) return i + 9 < n ? p[i + 9] : 0;
        i += 2 + (size_t(p[i + 2]) << 8 | p[i + 3]);
    }
    return 0;
}

}  // namespace

// The colour decoding of a one-component JPEG repeats each grey value in all
// three channels, so the grey decoding tripled by the writer gives the same
// pixels for a third of the decoder's output; every other JPEG is decoded in
// colour as before.
std::vector<uint8_t> stored_frame_png(const std::string& bytes, int threads) {
    const int flags = jpeg_components(bytes) == 1 ? cv::IMREAD_GRAYSCALE : cv::IMREAD_COLOR;
    return write_png(decode(bytes, flags), png_colour::rgb, threads);
}

cv::Mat not_found_image(const std::string& text) {
    cv::Mat image = cv::Mat::zeros(480, 640, CV_8UC1);
    cv::putText(image, text, cv::Point(15, 15), cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(255), 1,
                cv::LINE_8);
    return image;
}

void live_frame(uint32_t value, cv::Mat& image) {
    image = cv::Mat();
    if (const auto bytes = ldb_writer::live().seek_value(value)) {
        image = decode(*bytes, cv::IMREAD_COLOR);
    }
    if (image.empty()) image = not_found_image(live_not_found_text(value));
}

void catalogue_frame(const std::string& session, uint32_t value, cv::Mat& image) {
    if (const auto path = catalogue::instance().find_frame(session, value)) {
        ldb_reader reader(to_narrow(*path));
        reader.frame_at(value, image);
        return;
    }
    image = not_found_image(catalogue_not_found_text(session, value));
}

std::vector<uint8_t> encode_png(const cv::Mat& image) {
    return write_png(image, image.channels() == 1 ? png_colour::grey : png_colour::rgb);
}

std::vector<uint8_t> live_frame_png(uint32_t value, int threads) {
    std::vector<uint8_t> png;
    if (const auto bytes = ldb_writer::live().seek_value(value)) {
        png = stored_frame_png(*bytes, threads);
    }
    if (png.empty()) png = encode_png(not_found_image(live_not_found_text(value)));
    return png;
}

std::vector<uint8_t> catalogue_frame_png(const std::string& session, uint32_t value, int threads) {
    const auto path = catalogue::instance().find_frame(session, value);
    if (!path) return encode_png(not_found_image(catalogue_not_found_text(session, value)));
    // The entry catalogue_frame decodes, taken as stored.
    ldb_reader reader(to_narrow(*path));
    reader.seek_frame(value);
    return stored_frame_png(reader.frame_bytes().second, threads);
}
