// The zlib stream of a PNG's image data when the image is grey but the file
// is red-green-blue: each row is its filter type, then every filtered grey
// value three times. The stream is built from the grey values alone, never
// from the tripled bytes: a copy of n grey values at a distance of d values
// is a copy of 3n bytes three times as far, so matches are sought among a
// third of the positions, and the tripled rows are never written out. Runs,
// the row above, repeats of two or four values and single values seen before
// become copies where their price in bits is lower than the literals'; all is
// coded in blocks with Huffman codes of their own.
//
// Any inflater reads back exactly the tripled rows. The stream may be written
// by one thread or by two, which take eight parts of the rows in turn; the
// parts meet on byte boundaries (an empty stored block, as a zlib flush would
// write), each copying from the rows before it as the whole stream would, and
// give the same rows. Safe from any thread: each calling thread keeps the
// working memory of its calls, its helper's included, for the calls after.
#pragma once

#include <cstddef>
#include <cstdint>

// `width` values a row, `height` rows, row y at `values + y * width`, every
// row behind the PNG filter type `filter`.
struct filtered_grey {
    const uint8_t* values = nullptr;
    uint8_t filter = 0;
    size_t width = 0;
    size_t height = 0;
};

// Room enough for the stream of any such image.
size_t tripled_zlib_bound(const filtered_grey& rows);

// Writes the stream into `out` (at least tripled_zlib_bound bytes) and returns
// its size. `threads` is 1 or 2; with 2 a second thread shares the parts.
// Throws std::invalid_argument for an empty image, std::length_error for
// tripled rows of 4 GiB or more.
size_t tripled_zlib(const filtered_grey& rows, uint8_t* out, int threads);
