#include "database/png_writer.h"

#include <libdeflate.h>

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

// Level 1 is libdeflate's fastest real compression: on camera frames it
// costs about a tenth of what zlib at level 5 with a filter tried per row
// costs, for about the same size. Level 2 and up shrink frames by another
// tenth or so at twice the time.
constexpr int kDeflateLevel = 1;

// Every row takes the Average filter (each byte minus the mean of the same
// channel in the pixel to its left and in the pixel above). One fixed filter
// spares the per-row trial of all five; of the five, Average gave the
// smallest files on camera frames at no more time than the others.
constexpr uint8_t kAverageFilter = 3;

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kGreyType = 0;
constexpr uint8_t kRgbType = 2;
constexpr size_t kChunkOverhead = 12;  // length, type, CRC
constexpr size_t kHeaderSize = 13;
constexpr uint32_t kMaxChunkData = std::numeric_limits<int32_t>::max();

void put_be32(uint8_t* p, uint32_t value) {
    p[0] = uint8_t(value >> 24);
    p[1] = uint8_t(value >> 16);
    p[2] = uint8_t(value >> 8);
    p[3] = uint8_t(value);
}

// Fills in the length, type and CRC around `size` data bytes that already
// stand at `at + 8`.
void close_chunk(uint8_t* at, const char type[4], size_t size) {
    put_be32(at, uint32_t(size));
    std::memcpy(at + 4, type, 4);
    put_be32(at + 8 + size, libdeflate_crc32(0, at + 4, 4 + size));
}

// Average of a row of single-byte samples against the row above (null for
// the first row); neighbours outside the image count as zero.
void average_row(const uint8_t* row, const uint8_t* above, int width, uint8_t* out) {
    if (!above) {
        out[0] = row[0];
        for (int x = 1; x < width; ++x)
            out[x] = uint8_t(row[x] - (row[x - 1] >> 1));
        return;
    }
    out[0] = uint8_t(row[0] - (above[0] >> 1));
    for (int x = 1; x < width; ++x)
        out[x] = uint8_t(row[x] - ((row[x - 1] + above[x]) >> 1));
}

// Each byte of `in` three times. The filter of a grey row expanded to three
// equal channels is the grey row's filter expanded, so the expansion comes
// last and only the filtered bytes are tripled.
void triple(const uint8_t* in, int width, uint8_t* out) {
    for (int x = 0; x + 1 < width; ++x) {
        const uint32_t v = in[x] * 0x010101u;  // 4 bytes; the 4th is overwritten next
        std::memcpy(out + 3 * x, &v, 4);
    }
    std::memset(out + 3 * (width - 1), in[width - 1], 3);
}

// Average of a blue-green-red row, written red-green-blue.
void average_bgr_row(const uint8_t* row, const uint8_t* above, int width, uint8_t* out) {
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
            const int at = 3 * x + 2 - c;  // the channel that goes to position c
            const int left = x > 0 ? row[at - 3] : 0;
            const int up = above ? above[at] : 0;
            out[3 * x + c] = uint8_t(row[at] - ((left + up) >> 1));
        }
    }
}

struct compressor_free {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Working memory of one thread, grown as needed and kept between calls:
// fresh pages cost as much as the filtering itself, so a connection serving
// frame after frame reuses the pages its first frame touched.
class scratch {
  public:
    uint8_t* bytes(size_t size) {
        if (size > size_) {
            bytes_.reset(new uint8_t[size]);  // left uninitialised: every byte used is written
            size_ = size;
        }
        return bytes_.get();
    }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_ = 0;
};

struct workspace {
    std::unique_ptr<libdeflate_compressor, compressor_free> compressor{
        libdeflate_alloc_compressor(kDeflateLevel)};
    scratch filtered;  // the rows, each behind its filter type
    scratch deflated;  // the zlib stream
    scratch grey_row;  // one grey row filtered, before it is tripled
};

}  // namespace

std::vector<uint8_t> write_png(const cv::Mat& image, png_colour colour) {
    if (image.empty()) return {};
    const int channels = image.channels();
    if (image.depth() != CV_8U || image.dims != 2 ||
        !(channels == 1 || (colour == png_colour::rgb && channels == 3))) {
        throw std::invalid_argument("PNG writer: not an 8-bit grey or blue-green-red image");
    }
    const int width = image.cols;
    const int height = image.rows;
    const bool rgb = colour == png_colour::rgb;
    const size_t row_bytes = size_t(width) * (rgb ? 3 : 1);
    const size_t stride = 1 + row_bytes;  // filter type, then the row
    const size_t raw_size = stride * size_t(height);

    thread_local workspace work;
    if (!work.compressor) throw std::bad_alloc();

    uint8_t* const raw = work.filtered.bytes(raw_size);
    uint8_t* const grey_row = work.grey_row.bytes(size_t(width));
    for (int y = 0; y < height; ++y) {
        uint8_t* out = raw + stride * size_t(y);
        *out++ = kAverageFilter;
        const uint8_t* row = image.ptr<uint8_t>(y);
        const uint8_t* above = y > 0 ? image.ptr<uint8_t>(y - 1) : nullptr;
        if (channels == 3) {
            average_bgr_row(row, above, width, out);
        } else if (rgb) {
            average_row(row, above, width, grey_row);
            triple(grey_row, width, out);
        } else {
            average_row(row, above, width, out);
        }
    }

    const size_t bound = libdeflate_zlib_compress_bound(work.compressor.get(), raw_size);
    uint8_t* const deflated = work.deflated.bytes(bound);
    const size_t deflated_size =
        libdeflate_zlib_compress(work.compressor.get(), raw, raw_size, deflated, bound);
    if (deflated_size == 0 || deflated_size > kMaxChunkData) {
        throw std::length_error("PNG writer: image data too large for one chunk");
    }

    const size_t header_at = sizeof(kSignature);
    const size_t data_at = header_at + kChunkOverhead + kHeaderSize;
    const size_t end_at = data_at + kChunkOverhead + deflated_size;
    std::vector<uint8_t> png(end_at + kChunkOverhead);
    std::memcpy(png.data(), kSignature, sizeof(kSignature));

    uint8_t* header = png.data() + header_at;
    put_be32(header + 8, uint32_t(width));
    put_be32(header + 12, uint32_t(height));
    header[16] = 8;  // bits per channel
    header[17] = rgb ? kRgbType : kGreyType;
    header[18] = 0;  // deflate
    header[19] = 0;  // adaptive filtering, one filter byte per row
    header[20] = 0;  // not interlaced
    close_chunk(header, "IHDR", kHeaderSize);

    std::memcpy(png.data() + data_at + 8, deflated, deflated_size);
    close_chunk(png.data() + data_at, "IDAT", deflated_size);
    close_chunk(png.data() + end_at, "IEND", 0);
    return png;
}
