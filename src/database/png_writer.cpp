#include "database/png_writer.h"

#include "database/tripled_deflate.h"

#include <libdeflate.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

namespace {

// Level 1 is libdeflate's fastest real compression: a fraction of what zlib
// at level 5 costs for about the same size once the filter suits the picture.
constexpr int kDeflateLevel = 1;

// The five filter types of PNG, in their codes' order.
enum filter : uint8_t { none, sub, up, average, paeth };
constexpr filter kFilters[] = {none, sub, up, average, paeth};
// Every n-th row (not the first) is tried with each filter to choose one for
// the whole image: one choice per image keeps the rows as fast as a fixed
// filter, and a choice per row or band did not make files smaller.
constexpr int kSampleEvery = 16;

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

uint8_t paeth_predictor(int left, int up, int up_left) {
    const int pa = std::abs(up - up_left);
    const int pb = std::abs(left - up_left);
    const int pc = std::abs(left + up - 2 * up_left);
    return uint8_t(pa <= pb && pa <= pc ? left : pb <= pc ? up : up_left);
}

// Paeth of a grey row: the filter that suits most camera frames, so it gets
// the vector form.
void paeth_grey(const uint8_t* row, const uint8_t* above, size_t n, uint8_t* out) {
    out[0] = uint8_t(row[0] - above[0]);
    size_t x = 1;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const auto select = [](__m128i mask, __m128i yes, __m128i no) {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    };
    const auto abs16 = [&](__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(zero, v)); };
    for (; x + 16 <= n; x += 16) {
        const __m128i left8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x - 1));
        const __m128i up8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x));
        const __m128i corner8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x - 1));
        const __m128i here8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        __m128i predicted[2];
        for (int half = 0; half < 2; ++half) {
            const auto widen = [&](__m128i v) {
                return half ? _mm_unpackhi_epi8(v, zero) : _mm_unpacklo_epi8(v, zero);
            };
            const __m128i left = widen(left8), up = widen(up8), corner = widen(corner8);
            const __m128i du = _mm_sub_epi16(up, corner), dl = _mm_sub_epi16(left, corner);
            const __m128i pa = abs16(du), pb = abs16(dl), pc = abs16(_mm_add_epi16(du, dl));
            const __m128i not_left = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
            predicted[half] = select(not_left, select(_mm_cmpgt_epi16(pb, pc), corner, up), left);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_sub_epi8(here8, _mm_packus_epi16(predicted[0], predicted[1])));
    }
#endif
    for (; x < n; ++x)
        out[x] = uint8_t(row[x] - paeth_predictor(row[x - 1], above[x], above[x - 1]));
}

// One row of `n` bytes, `bpp` bytes a pixel, behind filter `f`; `above` is
// the row before (zeros for the first row).
void filter_row(filter f, const uint8_t* row, const uint8_t* above, size_t n, size_t bpp,
                uint8_t* out) {
    const size_t first = std::min(bpp, n);
    switch (f) {
        case none:
            std::memcpy(out, row, n);
            return;
        case sub:
            std::memcpy(out, row, first);
            for (size_t x = bpp; x < n; ++x)
                out[x] = uint8_t(row[x] - row[x - bpp]);
            return;
        case up:
            for (size_t x = 0; x < n; ++x)
                out[x] = uint8_t(row[x] - above[x]);
            return;
        case average:
            for (size_t x = 0; x < first; ++x)
                out[x] = uint8_t(row[x] - (above[x] >> 1));
            for (size_t x = bpp; x < n; ++x)
                out[x] = uint8_t(row[x] - ((row[x - bpp] + above[x]) >> 1));
            return;
        case paeth:
            if (bpp == 1) return paeth_grey(row, above, n, out);
            for (size_t x = 0; x < first; ++x)
                out[x] = uint8_t(row[x] - above[x]);
            for (size_t x = bpp; x < n; ++x)
                out[x] = uint8_t(row[x] - paeth_predictor(row[x - bpp], above[x], above[x - bpp]));
            return;
    }
}

// Sum of the filtered bytes taken as signed: the smaller, the better the
// filter predicts the picture.
uint64_t cost(const uint8_t* bytes, size_t n) {
    uint64_t sum = 0;
    size_t x = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    __m128i total = zero;
    for (; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + x));
        total = _mm_add_epi64(total, _mm_sad_epu8(_mm_min_epu8(v, _mm_sub_epi8(zero, v)), zero));
    }
    sum =
        uint64_t(_mm_cvtsi128_si64(total)) + uint64_t(_mm_cvtsi128_si64(_mm_srli_si128(total, 8)));
#endif
    for (; x < n; ++x)
        sum += uint64_t(std::abs(int(int8_t(bytes[x]))));
    return sum;
}

// A blue-green-red row written red-green-blue.
void to_rgb(const uint8_t* bgr, size_t width, uint8_t* out) {
    for (size_t x = 0; x < width; ++x) {
        out[3 * x] = bgr[3 * x + 2];
        out[3 * x + 1] = bgr[3 * x + 1];
        out[3 * x + 2] = bgr[3 * x];
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
    scratch trial;     // one sample row filtered
    scratch zeros;     // the row above the first
    scratch rgb[2];    // blue-green-red rows reordered: this one and the one above
};

// The image's rows as the filters take them: grey rows as they are (one byte
// a pixel), colour rows reordered to red-green-blue (three).
class row_source {
  public:
    row_source(const cv::Mat& image, workspace& work)
        : image_(image),
          bpp_(size_t(image.channels())),
          bytes_(size_t(image.cols) * bpp_),
          zeros_(work.zeros.bytes(bytes_)),
          rgb_{work.rgb[0].bytes(bytes_), work.rgb[1].bytes(bytes_)} {
        std::memset(zeros_, 0, bytes_);
    }
    size_t bpp() const { return bpp_; }
    size_t bytes() const { return bytes_; }
    // Row y; -1 is the zero row above the first. A colour row stays valid
    // until the row two further on is asked for.
    const uint8_t* row(int y) {
        if (y < 0) return zeros_;
        if (bpp_ == 1) return image_.ptr<uint8_t>(y);
        uint8_t* out = rgb_[y & 1];
        to_rgb(image_.ptr<uint8_t>(y), size_t(image_.cols), out);
        return out;
    }

  private:
    const cv::Mat& image_;
    size_t bpp_, bytes_;
    uint8_t* zeros_;
    uint8_t* rgb_[2];
};

// The filter that predicts the sample rows best. Equal channels cost three
// times their grey row, so an expanded grey image chooses as the grey one.
filter choose_filter(row_source& rows, int height, uint8_t* trial) {
    uint64_t total[std::size(kFilters)] = {};
    for (int y = std::min(kSampleEvery / 2, height - 1); y >= 1 && y < height; y += kSampleEvery) {
        const uint8_t* above = rows.row(y - 1);
        const uint8_t* row = rows.row(y);
        for (const filter f : kFilters) {
            filter_row(f, row, above, rows.bytes(), rows.bpp(), trial);
            total[f] += cost(trial, rows.bytes());
        }
    }
    filter best = average;  // no sample row: the one that suited most pictures
    for (const filter f : kFilters) {
        if (total[f] < total[best]) best = f;
    }
    return best;
}

}  // namespace

std::vector<uint8_t> write_png(const cv::Mat& image, png_colour colour, int threads) {
    if (image.empty()) return {};
    const int channels = image.channels();
    if (image.depth() != CV_8U || image.dims != 2 ||
        !(channels == 1 || (colour == png_colour::rgb && channels == 3))) {
        throw std::invalid_argument("PNG writer: not an 8-bit grey or blue-green-red image");
    }
    const int width = image.cols;
    const int height = image.rows;
    const bool rgb = colour == png_colour::rgb;
    const bool tripled = rgb && channels == 1;
    const size_t row_bytes = size_t(width) * (rgb ? 3 : 1);
    const size_t stride = 1 + row_bytes;  // filter type, then the row
    const size_t raw_size = stride * size_t(height);

    thread_local workspace work;
    if (!work.compressor) throw std::bad_alloc();

    row_source rows(image, work);
    uint8_t* const trial = work.trial.bytes(rows.bytes());
    const filter chosen = choose_filter(rows, height, trial);
    const uint8_t* deflated = nullptr;
    size_t deflated_size = 0;
    if (tripled) {
        // Filtered as grey; the stream triples the values as it goes.
        uint8_t* const values = work.filtered.bytes(size_t(width) * size_t(height));
        const uint8_t* above = rows.row(-1);
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = rows.row(y);
            filter_row(chosen, row, above, rows.bytes(), 1, values + size_t(width) * size_t(y));
            above = row;
        }
        const filtered_grey grey{values, chosen, size_t(width), size_t(height)};
        uint8_t* const out = work.deflated.bytes(tripled_zlib_bound(grey));
        deflated_size = tripled_zlib(grey, out, threads);
        deflated = out;
    } else {
        uint8_t* const raw = work.filtered.bytes(raw_size);
        const uint8_t* above = rows.row(-1);
        for (int y = 0; y < height; ++y) {
            uint8_t* out = raw + stride * size_t(y);
            *out++ = chosen;
            const uint8_t* row = rows.row(y);
            filter_row(chosen, row, above, rows.bytes(), rows.bpp(), out);
            above = row;
        }
        const size_t bound = libdeflate_zlib_compress_bound(work.compressor.get(), raw_size);
        uint8_t* const out = work.deflated.bytes(bound);
        deflated_size = libdeflate_zlib_compress(work.compressor.get(), raw, raw_size, out, bound);
        deflated = out;
    }
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
