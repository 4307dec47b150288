#include "database/tripled_deflate.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr size_t kWindow = 32768;  // farthest copy deflate can express
constexpr size_t kMaxCopy = 258;   // longest single copy
constexpr size_t kBlockTokens = 1 << 16;
constexpr size_t kFirstBlockTokens = 2048;
constexpr size_t kParts = 8;  // of the rows, when two threads write them
constexpr int kQuadBits = 16;
constexpr int kQuadWays = 2;  // places kept per hash of four values
constexpr int kLitLenCodes = 286;
constexpr int kDistCodes = 30;
constexpr int kLengthCodes = 19;
constexpr int kEndOfBlock = 256;

// Length codes 257..285: first length, extra bits.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which the code-length code's lengths are sent.
constexpr uint8_t kLengthOrder[kLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                11, 4,  12, 3, 13, 2, 14, 1, 15};

struct symbol_tables {
    std::array<uint8_t, kMaxCopy + 1> length_code{};  // length -> code - 257
    symbol_tables() {
        for (int c = 0; c < 29; ++c) {
            const int last = c == 28 ? 258 : kLengthBase[c] + (1 << kLengthExtra[c]) - 1;
            for (int len = kLengthBase[c]; len <= last && len <= 258; ++len)
                length_code[size_t(len)] = uint8_t(c);
        }
        length_code[258] = 28;
    }
    // Distances 1 to 4 have a code each; past them, every power of two has
    // two codes, the second for its upper half. No branch: the distances of
    // copies of single values are as hard to foresee as the values.
    static int dist_code_of(size_t distance) {
        const uint32_t d = uint32_t(distance - 1);
        const uint32_t at_least_two = d < 2 ? 2 : d;
        const int top = 31 - __builtin_clz(at_least_two);
        const int code = 2 * top + int((at_least_two >> (top - 1)) & 1);
        return d < 2 ? int(d) : code;
    }
};
const symbol_tables kTables;

// A literal byte (below 256), a value as three literal bytes (256 + value),
// or a copy: length << 16 | distance.
using token = uint32_t;
constexpr token kThreeOf = 256;
constexpr token copy_token(size_t length, size_t distance) {
    return token(length << 16 | distance);
}

// Code lengths of at most `limit` bits for `n` symbols of the given counts;
// the code is complete (two symbols at least get a code).
void code_lengths(uint32_t* freq, int n, int limit, uint8_t* lengths) {
    int used = 0;
    for (int i = 0; i < n; ++i)
        used += freq[i] != 0;
    for (int i = 0; used < 2; ++i) {
        if (freq[i] == 0) {
            freq[i] = 1;
            ++used;
        }
    }
    // Huffman's tree over (count, node) pairs; leaves are 0..n-1.
    std::vector<std::pair<uint64_t, int>> heap;
    std::vector<int> parent(size_t(2 * n), -1);
    for (int i = 0; i < n; ++i) {
        if (freq[i]) heap.push_back({freq[i], i});
    }
    const auto greater = [](const auto& a, const auto& b) { return a > b; };
    std::make_heap(heap.begin(), heap.end(), greater);
    int next = n;
    while (heap.size() > 1) {
        std::pop_heap(heap.begin(), heap.end(), greater);
        const auto a = heap.back();
        heap.pop_back();
        std::pop_heap(heap.begin(), heap.end(), greater);
        const auto b = heap.back();
        heap.pop_back();
        parent[size_t(a.second)] = parent[size_t(b.second)] = next;
        heap.push_back({a.first + b.first, next++});
        std::push_heap(heap.begin(), heap.end(), greater);
    }
    // Depths, then counts per depth brought within the limit the way JPEG's
    // coders do (the code stays complete), handed out by frequency.
    std::vector<int> depth(size_t(next), 0);
    for (int node = next - 2; node >= 0; --node) {
        if (parent[size_t(node)] >= 0)
            depth[size_t(node)] = depth[size_t(parent[size_t(node)])] + 1;
    }
    std::vector<int> count(size_t(std::max(next, limit + 2)), 0);
    std::vector<int> symbols;
    for (int i = 0; i < n; ++i) {
        if (freq[i]) {
            ++count[size_t(depth[size_t(i)])];
            symbols.push_back(i);
        }
    }
    for (int len = int(count.size()) - 1; len > limit; --len) {
        while (count[size_t(len)] > 0) {
            int j = len - 2;
            while (count[size_t(j)] == 0)
                --j;
            count[size_t(len)] -= 2;
            count[size_t(len - 1)] += 1;
            count[size_t(j + 1)] += 2;
            count[size_t(j)] -= 1;
        }
    }
    std::stable_sort(symbols.begin(), symbols.end(),
                     [&](int a, int b) { return freq[a] > freq[b]; });
    std::memset(lengths, 0, size_t(n));
    size_t s = 0;
    for (int len = 1; len <= limit; ++len) {
        for (int k = 0; k < count[size_t(len)]; ++k)
            lengths[symbols[s++]] = uint8_t(len);
    }
}

// Canonical codes for the lengths, bit-reversed as deflate sends them.
void codes_of(const uint8_t* lengths, int n, uint16_t* codes) {
    int count[16] = {}, next[16] = {};
    for (int i = 0; i < n; ++i)
        ++count[lengths[i]];
    count[0] = 0;
    for (int len = 1, code = 0; len < 16; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (int i = 0; i < n; ++i) {
        const int len = lengths[i];
        if (!len) continue;
        int code = next[len]++, reversed = 0;
        for (int b = 0; b < len; ++b)
            reversed |= ((code >> b) & 1) << (len - 1 - b);
        codes[i] = uint16_t(reversed);
    }
}

// Bits to bytes, least significant first. Whole bytes are stored eight at a
// time without a test, so the caller's room (checked by the bound) reaches
// eight bytes past the end; at most 56 bits are added between flushes.
class bit_writer {
  public:
    explicit bit_writer(uint8_t* out) : start_(out), out_(out) {}
    void add(uint64_t bits, int count) {
        buffer_ |= bits << filled_;
        filled_ += count;
    }
    void flush() {
        std::memcpy(out_, &buffer_, 8);  // little-endian machines only
        const int bytes = filled_ >> 3;
        out_ += bytes;
        buffer_ >>= 8 * bytes;
        filled_ &= 7;
    }
    void put(uint64_t bits, int count) {
        add(bits, count);
        flush();
    }
    // Pads to a byte boundary.
    void align() {
        flush();
        if (filled_ > 0) ++out_;
        buffer_ = 0;
        filled_ = 0;
    }
    size_t size() const { return size_t(out_ - start_); }

  private:
    uint8_t* start_;
    uint8_t* out_;
    uint64_t buffer_ = 0;
    int filled_ = 0;  // bits in buffer_ not yet counted as written
};

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "bit_writer stores words as they lie");

// One dynamic Huffman block of `tokens`, whose symbols `lit_freq` and
// `dist_freq` count; `used` receives its code lengths (literal/length codes,
// then distance codes).
void write_block(const std::vector<token>& tokens, uint32_t (&lit_freq)[kLitLenCodes],
                 uint32_t (&dist_freq)[kDistCodes], bool final, bit_writer& bits,
                 uint8_t (&used)[kLitLenCodes + kDistCodes]) {
    lit_freq[kEndOfBlock] = 1;
    uint8_t lengths[kLitLenCodes + kDistCodes] = {};
    code_lengths(lit_freq, kLitLenCodes, 15, lengths);
    code_lengths(dist_freq, kDistCodes, 15, lengths + kLitLenCodes);
    int hlit = kLitLenCodes, hdist = kDistCodes;
    while (hlit > 257 && lengths[hlit - 1] == 0)
        --hlit;
    while (hdist > 1 && lengths[kLitLenCodes + hdist - 1] == 0)
        --hdist;

    // The lengths sent: literal/length then distance, run-length coded.
    uint8_t sent[kLitLenCodes + kDistCodes];
    std::memcpy(sent, lengths, size_t(hlit));
    std::memcpy(sent + hlit, lengths + kLitLenCodes, size_t(hdist));
    const int total = hlit + hdist;
    std::vector<std::pair<uint8_t, uint8_t>> runs;  // symbol, extra value
    uint32_t cl_freq[kLengthCodes] = {};
    for (int i = 0; i < total;) {
        const uint8_t len = sent[i];
        int run = 1;
        while (i + run < total && sent[i + run] == len)
            ++run;
        int left = run;
        if (len == 0) {
            while (left >= 11) {
                const int n = std::min(left, 138);
                runs.push_back({18, uint8_t(n - 11)});
                left -= n;
            }
            if (left >= 3) {
                runs.push_back({17, uint8_t(left - 3)});
                left = 0;
            }
        } else {
            runs.push_back({len, 0});
            --left;
            while (left >= 3) {
                const int n = std::min(left, 6);
                runs.push_back({16, uint8_t(n - 3)});
                left -= n;
            }
        }
        for (; left > 0; --left)
            runs.push_back({len, 0});
        i += run;
    }
    for (const auto& r : runs)
        ++cl_freq[r.first];
    uint8_t cl_lengths[kLengthCodes];
    code_lengths(cl_freq, kLengthCodes, 7, cl_lengths);
    uint16_t cl_codes[kLengthCodes] = {};
    codes_of(cl_lengths, kLengthCodes, cl_codes);
    int hclen = kLengthCodes;
    while (hclen > 4 && cl_lengths[kLengthOrder[hclen - 1]] == 0)
        --hclen;

    bits.put(final ? 1 : 0, 1);
    bits.put(2, 2);  // dynamic Huffman codes
    bits.put(uint32_t(hlit - 257), 5);
    bits.put(uint32_t(hdist - 1), 5);
    bits.put(uint32_t(hclen - 4), 4);
    for (int i = 0; i < hclen; ++i)
        bits.put(cl_lengths[kLengthOrder[i]], 3);
    for (const auto& [symbol, extra] : runs) {
        bits.put(cl_codes[symbol], cl_lengths[symbol]);
        if (symbol == 16)
            bits.put(extra, 2);
        else if (symbol == 17)
            bits.put(extra, 3);
        else if (symbol == 18)
            bits.put(extra, 7);
    }

    uint16_t lit_codes[kLitLenCodes] = {}, dist_codes[kDistCodes] = {};
    codes_of(lengths, kLitLenCodes, lit_codes);
    codes_of(lengths + kLitLenCodes, kDistCodes, dist_codes);
    const uint8_t* lit_len = lengths;
    const uint8_t* dist_len = lengths + kLitLenCodes;
    // A literal token's bits, and a value's three literals in one go (at
    // most 45 bits).
    struct coded {
        uint64_t bits;
        int count;
    };
    coded short_codes[512];
    for (int v = 0; v < 256; ++v) {
        const int len = lit_len[v];
        short_codes[v] = {lit_codes[v], len};
        short_codes[kThreeOf + v] = {uint64_t(lit_codes[v]) * (1u | 1u << len | 1u << 2 * len),
                                     3 * len};
    }
    for (const token t : tokens) {
        if (t < 512) {
            bits.add(short_codes[t].bits, short_codes[t].count);
        } else {
            const size_t length = t >> 16, distance = t & 0xFFFF;
            const int lc = kTables.length_code[length], dc = kTables.dist_code_of(distance);
            bits.add(uint32_t(lit_codes[257 + lc]) | uint32_t(length - kLengthBase[lc])
                                                         << lit_len[257 + lc],
                     lit_len[257 + lc] + kLengthExtra[lc]);
            bits.add(uint32_t(dist_codes[dc]) | uint32_t(distance - kDistBase[dc]) << dist_len[dc],
                     dist_len[dc] + kDistExtra[dc]);
        }
        bits.flush();
    }
    bits.put(lit_codes[kEndOfBlock], lit_len[kEndOfBlock]);
    std::memcpy(used, lengths, sizeof used);
}

// What a token is expected to cost in bits, from the codes of the block
// before (or, for the first, from the values' spread), so that a value is
// copied only where a copy is cheaper than its three literal bytes.
struct prices {
    float literal[256];
    float length[kMaxCopy + 1];  // code and extra bits of a copy's length
    float distance[kDistCodes];  // code and extra bits

    void from_counts(const uint32_t (&counts)[256]) {
        uint64_t total = 0;
        for (const uint32_t c : counts)
            total += c;
        for (int v = 0; v < 256; ++v) {
            literal[v] = counts[v] ? float(std::log2(double(total) / counts[v])) : 14.f;
            literal[v] = std::clamp(literal[v], 1.f, 15.f);
        }
        for (size_t len = 3; len <= kMaxCopy; ++len)
            length[len] = 5.f + kLengthExtra[kTables.length_code[len]];
        for (int c = 0; c < kDistCodes; ++c)
            distance[c] = 5.f + kDistExtra[c];
    }
    void from_lengths(const uint8_t (&lengths)[kLitLenCodes + kDistCodes]) {
        const auto bits = [](uint8_t len) { return len ? float(len) : 13.f; };
        for (int v = 0; v < 256; ++v)
            literal[v] = bits(lengths[v]);
        for (size_t len = 3; len <= kMaxCopy; ++len) {
            const int c = kTables.length_code[len];
            length[len] = bits(lengths[257 + c]) + kLengthExtra[c];
        }
        for (int c = 0; c < kDistCodes; ++c)
            distance[c] = bits(lengths[kLitLenCodes + c]) + kDistExtra[c];
    }
    float copy(size_t bytes, size_t dist) const {
        return length[std::min(bytes, kMaxCopy)] + distance[kTables.dist_code_of(dist)];
    }
};

// A thread's tokens and tables, kept from part to part and call to call: a
// megabyte touched afresh each time would cost its page faults again.
struct workspace {
    std::vector<token> tokens;
    std::vector<uint32_t> last_quad;  // hash of four values -> its place, the last two times
    std::vector<uint32_t> last_pair;  // pair of values -> its place, the last time
};

// Rows [first, last) of the image turned into tokens and written as blocks.
class part_writer {
  public:
    part_writer(const filtered_grey& rows, size_t first, size_t last, bool final, uint8_t* out,
                workspace& work)
        : rows_(rows),
          first_(first),
          last_(last),
          final_(final),
          stride_(1 + 3 * rows.width),
          column_bits_(rows.width > 1 ? 64 - __builtin_clzll(rows.width - 1) : 0),
          column_mask_((size_t(1) << column_bits_) - 1),
          bits_(out),
          tokens_(work.tokens),
          last_quad_(work.last_quad),
          last_pair_(work.last_pair) {}

    size_t write() {
        tokens_.clear();
        tokens_.reserve(kBlockTokens + 2 * rows_.width + 64);
        last_pair_.assign(size_t(1) << 16, kNone);
        last_quad_.assign(size_t(kQuadWays) << kQuadBits, kNone);
        last_value_.fill(kNone);
        prime();
        uint32_t counts[256] = {};
        for (size_t y = first_; y < last_; y += 4) {  // a sample of rows is enough for a start
            const uint8_t* v = values(y);
            for (size_t x = 0; x < rows_.width; ++x)
                ++counts[v[x]];
        }
        prices_.from_counts(counts);
        uint8_t lengths[kLitLenCodes + kDistCodes];
        // The first block is short: its codes price the rest better than
        // the spread of the values does.
        size_t block_tokens = kFirstBlockTokens;
        for (size_t y = first_; y < last_; ++y) {
            row(y);
            if (tokens_.size() >= block_tokens) {
                block_tokens = kBlockTokens;
                write_block(tokens_, lit_freq_, dist_freq_, false, bits_, lengths);
                prices_.from_lengths(lengths);
                tokens_.clear();
                std::fill(std::begin(lit_freq_), std::end(lit_freq_), 0);
                std::fill(std::begin(dist_freq_), std::end(dist_freq_), 0);
            }
        }
        flush_pending();
        write_block(tokens_, lit_freq_, dist_freq_, final_, bits_, lengths);
        if (!final_) {  // an empty stored block ends the part on a byte
            bits_.put(0, 3);
            bits_.align();
            bits_.put(0xFFFF0000u, 32);
        }
        bits_.align();
        return bits_.size();
    }

    // The Adler-32 of these tripled rows, from the values: three bytes
    // v after sums (a, b) give (a + 3v, b + 3a + 6v).
    uint32_t adler() const {
        constexpr uint64_t kBase = 65521;
        uint64_t a = 1, b = 0;
        for (size_t y = first_; y < last_; ++y) {
            a += rows_.filter;
            b += a;
            const uint8_t* v = values(y);
            // Over n values: a grows by 3 sum(v); b by 3 n a + 6 sum(v) +
            // 9 sum(v_i (n - 1 - i)). Chunks keep the sums within 64 bits.
            for (size_t x0 = 0; x0 < rows_.width; x0 += 4096) {
                const size_t n = std::min<size_t>(4096, rows_.width - x0);
                uint64_t sum = 0, weighted = 0;
                for (size_t i = 0; i < n; ++i) {
                    sum += v[x0 + i];
                    weighted += uint64_t(v[x0 + i]) * (n - 1 - i);
                }
                b = (b + 3 * n * a + 6 * sum + 9 * weighted) % kBase;
                a = (a + 3 * sum) % kBase;
            }
            a %= kBase;
            b %= kBase;
        }
        return uint32_t(b << 16 | a);
    }

  private:
    static constexpr uint32_t kNone = UINT32_MAX;

    const uint8_t* values(size_t y) const { return rows_.values + y * rows_.width; }
    size_t byte_at(size_t y, size_t x) const { return y * stride_ + 1 + 3 * x; }
    uint8_t byte_of(size_t position) const {
        const size_t y = position / stride_, r = position % stride_;
        return r == 0 ? rows_.filter : values(y)[(r - 1) / 3];
    }

    void literal_token(uint8_t b) {
        tokens_.push_back(b);
        ++lit_freq_[b];
    }
    void literal(uint8_t b) {
        flush_pending();
        literal_token(b);
        ++position_;
    }
    void three_of(uint8_t value) {
        flush_pending();
        tokens_.push_back(kThreeOf + value);
        lit_freq_[value] += 3;
        position_ += 3;
    }
    void copy(size_t distance, size_t bytes) {
        if (distance != pending_distance_) {
            flush_pending();
            pending_distance_ = distance;
        }
        pending_ += bytes;
        position_ += bytes;
    }
    void flush_pending() {
        size_t left = pending_;
        const size_t distance = pending_distance_;
        pending_ = 0;
        pending_distance_ = 0;
        if (left < 3) {  // too short to copy: the bytes themselves
            for (size_t p = position_ - left; p < position_; ++p)
                literal_token(byte_of(p));
            return;
        }
        const int code = kTables.dist_code_of(distance);
        while (left > 0) {
            size_t n = std::min(left, kMaxCopy);
            if (left - n > 0 && left - n < 3) n = left - 3;
            tokens_.push_back(copy_token(n, distance));
            ++lit_freq_[257 + kTables.length_code[n]];
            ++dist_freq_[code];
            left -= n;
        }
    }

    // Values of `row` from x on that equal those of `other` from `ox` on, up
    // to `limit`; eight at a time once the first two agree.
    static size_t common(const uint8_t* row, size_t x, const uint8_t* other, size_t ox,
                         size_t limit) {
        const uint8_t* a = row + x;
        const uint8_t* b = other + ox;
        if (limit == 0 || a[0] != b[0]) return 0;
        if (limit == 1 || a[1] != b[1]) return 1;
        return extend(a, b, 2, limit);
    }
    // How far a[k..] and b[k..] go on agreeing, up to `limit` in all.
    static size_t extend(const uint8_t* a, const uint8_t* b, size_t k, size_t limit) {
        while (k + 8 <= limit) {
            uint64_t wa, wb;
            std::memcpy(&wa, a + k, 8);
            std::memcpy(&wb, b + k, 8);
            if (wa != wb) return k + size_t(__builtin_ctzll(wa ^ wb) >> 3);
            k += 8;
        }
        while (k < limit && a[k] == b[k])
            ++k;
        return k;
    }

    // The tables learn the rows before the first that copies may reach, as
    // if their values had just been written: a part that begins below the
    // top copies from them as the rows before it do.
    void prime() {
        const size_t reach = std::min(first_, kWindow / stride_ + 1);
        for (size_t y = first_ - reach; y < first_; ++y) {
            const uint8_t* v = values(y);
            for (size_t x = 0; x < rows_.width; ++x) {
                const uint32_t place = place_of(y, x);
                if (x + 2 <= rows_.width) pair_slot(v + x) = place;
                if (x + 4 <= rows_.width) remember_quad(quad_slot(v + x), place);
                last_value_[v[x]] = uint32_t(byte_at(y, x));
            }
        }
    }
    uint32_t& pair_slot(const uint8_t* two) {
        return last_pair_[uint32_t(two[0]) | uint32_t(two[1]) << 8];
    }
    // The places kept for four values, the newest first.
    uint32_t* quad_slot(const uint8_t* four) {
        uint32_t quad;
        std::memcpy(&quad, four, 4);
        return &last_quad_[kQuadWays * ((quad * 2654435761u) >> (32 - kQuadBits))];
    }
    static void remember_quad(uint32_t* slot, uint32_t place) {
        for (int way = kQuadWays - 1; way > 0; --way)
            slot[way] = slot[way - 1];
        slot[0] = place;
    }

    // A value's place as the tables keep it: its row above the bits of its
    // column, so that both come back without a division.
    uint32_t place_of(size_t y, size_t x) const { return uint32_t(y << column_bits_ | x); }

    // Values from (y, x) on, at most `room`, that repeat those from `place`
    // on, within that place's row; `first` of them are known to.
    size_t repeat_of(size_t y, size_t x, size_t room, uint32_t place, size_t first) const {
        const size_t sy = place >> column_bits_, sx = place & column_mask_;
        return extend(values(y) + x, values(sy) + sx, first, std::min(room, rows_.width - sx));
    }

    // The tokens of row y: its filter type, then each value as literals, a
    // run (a copy one byte back), or a copy of values seen before: one value,
    // a repeat of two or four, or the row above; each priced in bits.
    void row(size_t y) {
        const size_t width = rows_.width;
        const uint8_t* v = values(y);
        const uint8_t* up = y > 0 && stride_ <= kWindow ? values(y - 1) : nullptr;
        position_ = y * stride_;
        if (up && pending_distance_ == stride_) {
            copy(stride_, 1);  // a copy of the row above goes on through the filter type
        } else {
            literal(rows_.filter);
        }
        for (size_t x = 0; x < width;) {
            const uint8_t value = v[x];
            const size_t room = width - x;
            const size_t run = 1 + (room > 1 ? common(v, x + 1, v, x, room - 1) : 0);
            const bool run_goes_on = x > 0 && v[x - 1] == value;
            // The longest repeat, from the last place of this pair of values
            // or of these four.
            const size_t here = byte_at(y, x);
            const uint32_t place = place_of(y, x);
            size_t match = 0, match_distance = 0;
            const auto consider = [&](uint32_t at, size_t known) {
                // kNone's row lies past every byte: its distance wraps round
                const size_t at_byte = byte_at(at >> column_bits_, at & column_mask_);
                if (here - at_byte > kWindow) return false;
                const size_t k = repeat_of(y, x, room, at, known);
                if (k > match) {
                    match = k;
                    match_distance = here - at_byte;
                }
                return true;
            };
            if (room >= 2) {  // the pair's key is exact: its two values agree
                uint32_t& seen = pair_slot(v + x);
                consider(seen, 2);
                seen = place;
            }
            if (room >= 4) {  // four values: rarer, so their last place reaches further back
                uint32_t* slot = quad_slot(v + x);
                for (int way = 0; way < kQuadWays; ++way) {
                    if (!consider(slot[way], 0)) break;
                }
                remember_quad(slot, place);
            }
            const size_t above = up ? common(v, x, up, x, room) : 0;
            if (run_goes_on && run + 1 >= match && run + 4 >= above) {
                copy(1, 3 * run);
                x += run;
                last_value_[value] = uint32_t(byte_at(y, x - 1));
                continue;
            }
            // The cheapest per value of: three literals, a copy of this value
            // from where it last stood, a longer copy (the repeat, the row
            // above), a literal and its run. Going on with the copy before
            // costs next to nothing.
            enum { three, single, longer, from_above, literal_run } choice = three;
            float best = 3 * prices_.literal[value];
            const auto offer = [&](float cost, decltype(choice) kind) {
                if (cost < best) {
                    best = cost;
                    choice = kind;
                }
            };
            const auto per_value = [&](size_t distance, size_t count) {
                return (distance == pending_distance_ ? 0.5f : prices_.copy(3 * count, distance)) /
                       float(count);
            };
            const size_t single_distance = here - last_value_[value];
            if (last_value_[value] != kNone && single_distance <= kWindow) {
                offer(per_value(single_distance, 1), single);
            }
            if (match >= 2) offer(per_value(match_distance, match), longer);
            if (above >= 2) offer(per_value(stride_, above), from_above);
            if (run >= 2) {
                offer((prices_.literal[value] + prices_.copy(3 * run - 1, 1)) / float(run),
                      literal_run);
            }
            size_t covered = 1;
            switch (choice) {
                case three:
                    three_of(value);
                    break;
                case single:
                    copy(single_distance, 3);
                    break;
                case longer:
                    copy(match_distance, 3 * match);
                    covered = match;
                    break;
                case from_above:
                    copy(stride_, 3 * above);
                    covered = above;
                    break;
                case literal_run:
                    literal(value);
                    copy(1, 3 * run - 1);
                    covered = run;
                    break;
            }
            x += covered;
            last_value_[v[x - 1]] = uint32_t(byte_at(y, x - 1));
        }
    }

    const filtered_grey& rows_;
    const size_t first_, last_;
    const bool final_;
    const size_t stride_;    // bytes a tripled row, its filter type included
    const int column_bits_;  // bits of a column in a place
    const size_t column_mask_;
    bit_writer bits_;
    std::vector<token>& tokens_;
    prices prices_;
    std::array<uint32_t, 256> last_value_;  // value -> its byte, the last time
    std::vector<uint32_t>& last_quad_;
    std::vector<uint32_t>& last_pair_;
    size_t position_ = 0;  // bytes of the rows tokenised so far
    size_t pending_ = 0;   // bytes of a copy not yet cut into tokens
    size_t pending_distance_ = 0;
    uint32_t lit_freq_[kLitLenCodes] = {};  // symbols of tokens_
    uint32_t dist_freq_[kDistCodes] = {};
};

uint32_t adler_combine(uint32_t first, uint32_t second, size_t second_size) {
    constexpr uint32_t kBase = 65521;
    const uint32_t rem = uint32_t(second_size % kBase);
    uint32_t sum1 = first & 0xFFFF;
    uint32_t sum2 = uint32_t((uint64_t(rem) * sum1) % kBase);
    sum1 += (second & 0xFFFF) + kBase - 1;
    sum2 += (first >> 16) + (second >> 16) + kBase - rem;
    if (sum1 >= kBase) sum1 -= kBase;
    if (sum1 >= kBase) sum1 -= kBase;
    if (sum2 >= 2 * kBase) sum2 -= 2 * kBase;
    if (sum2 >= kBase) sum2 -= kBase;
    return sum1 | sum2 << 16;
}

size_t part_bound(const filtered_grey& rows, size_t height) {
    // Fifteen bits a byte at worst, a header per block, a flush.
    const size_t bytes = (1 + 3 * rows.width) * height;
    return bytes * 15 / 8 + (bytes / kBlockTokens + 2) * 400 + 64;
}

// Rows [first, last) of part i of n.
size_t part_first(const filtered_grey& rows, size_t i, size_t n) {
    return rows.height * i / n;
}
size_t part_count(const filtered_grey& rows) {
    return std::min(kParts, rows.height);
}

size_t parts_bound(const filtered_grey& rows) {
    const size_t n = part_count(rows);
    size_t room = 0;
    for (size_t i = 0; i < n; ++i)
        room += part_bound(rows, part_first(rows, i + 1, n) - part_first(rows, i, n));
    return room;
}

}  // namespace

size_t tripled_zlib_bound(const filtered_grey& rows) {
    return 2 + std::max(part_bound(rows, rows.height), parts_bound(rows)) + 4;
}

size_t tripled_zlib(const filtered_grey& rows, uint8_t* out, int threads) {
    if (rows.width == 0 || rows.height == 0) throw std::invalid_argument("empty image");
    if ((1 + 3 * rows.width) * rows.height >= UINT32_MAX) {
        throw std::length_error("image data too large for one stream");  // byte offsets are 32-bit
    }
    out[0] = 0x78;  // deflate, 32 KiB window
    out[1] = 0x01;  // no dictionary, fastest; 0x7801 is a multiple of 31
    size_t size = 2;
    uint32_t adler = 1;
    const size_t stride = 1 + 3 * rows.width;
    thread_local workspace works[2];  // the caller's and its helper's
    if (threads >= 2 && rows.height >= 2) {
        // Parts taken in turn by whichever thread is free, so that a helper
        // the machine lets run late leaves its share to the caller.
        const size_t count = part_count(rows);
        struct part {
            size_t first, last, offset, size;
            uint32_t adler;
        };
        std::vector<part> parts(count);
        size_t room = 0;
        for (size_t i = 0; i < count; ++i) {
            parts[i].first = part_first(rows, i, count);
            parts[i].last = part_first(rows, i + 1, count);
            parts[i].offset = room;
            room += part_bound(rows, parts[i].last - parts[i].first);
        }
        thread_local std::vector<uint8_t> scratch;
        scratch.resize(room);
        uint8_t* const written = scratch.data();
        std::atomic<size_t> next{0};
        const auto take_parts = [&](workspace& work) {
            for (size_t i; (i = next.fetch_add(1)) < count;) {
                part& p = parts[i];
                part_writer writer(rows, p.first, p.last, i + 1 == count, written + p.offset, work);
                p.size = writer.write();
                p.adler = writer.adler();
            }
        };
        std::exception_ptr failed;
        workspace& helper_work = works[1];  // in the helper, `works` would name its own
        std::optional<std::thread> helper;
        try {
            helper.emplace([&] {
                try {
                    take_parts(helper_work);
                } catch (...) {
                    failed = std::current_exception();
                    next = count;
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: the caller takes every part.
        }
        try {
            take_parts(works[0]);
        } catch (...) {
            next = count;
            if (helper) helper->join();
            throw;
        }
        if (helper) helper->join();
        if (failed) std::rethrow_exception(failed);
        for (const part& p : parts) {
            std::memcpy(out + size, written + p.offset, p.size);
            size += p.size;
            adler = adler_combine(adler, p.adler, stride * (p.last - p.first));
        }
    } else {
        part_writer whole(rows, 0, rows.height, true, out + size, works[0]);
        size += whole.write();
        adler = whole.adler();
    }
    out[size++] = uint8_t(adler >> 24);
    out[size++] = uint8_t(adler >> 16);
    out[size++] = uint8_t(adler >> 8);
    out[size++] = uint8_t(adler);
    return size;
}
