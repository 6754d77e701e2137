// The run-length encoder: turns a flat PRI0 block into an RLE4 or RLE5 image (layout in
// image_format.h). One forward pass, no allocation, no state; the caller provides the output
// buffer, sized with rleImageSizeBound.
//
// Units are passed as byte pointers: pixels are opaque units that are only compared for
// equality and copied byte for byte, and control units are stored little-endian, so the
// output is the same on any host and no pointer needs any alignment.
//
// Every row is cut into maximal runs of equal pixels. A run of 3 or more becomes a repeat run;
// shorter runs are gathered into one literal run that ends where the next repeat run starts or
// the row ends. A run longer than the length field (4095 in RLE4, 16,777,215 in RLE5) is split
// into several runs of the same kind: literal runs into pieces of the largest length and a
// shorter last piece; repeat runs likewise, except that the last piece keeps at least 3 pixels.
#pragma once

#include <cstdint>

#include "codec/image_format.h"

/// Destination bytes that encodeRleImage needs at most for a PRI0 source with these header
/// fields: the 16-byte header and, per row of width w ≥ 1 (or, in word mode, for the single
/// sequence of the pixel area's words), w units plus one control unit per started block of the
/// largest run length; an RLE4 payload rounded up to whole words. The bound is reached by rows
/// without three equal pixels in a row. Returns 0 when encodeRleImage refuses such a source:
/// row mode with bitsPerPixel other than 16 or 32, or a result too large for an int.
std::uint64_t rleImageSizeBound(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                                RunMode mode);

/// Encodes the flat PRI0 block at source into destination. RunMode::kRows: row by row, RLE4
/// for 16-bit pixels, RLE5 for 32-bit pixels; kWords: the pixel area as one sequence of 32-bit
/// words, RLE5, for any bitsPerPixel (a last partial word is read as far as the pixel area
/// goes and filled up with zero bytes). Returns the blob's size in 32-bit words, header
/// included, or -1 with destination untouched when the magic is not "PRI0" or
/// rleImageSizeBound is 0. Width, height or bitsPerPixel of 0 or less give a header-only blob.
/// The source must hold the whole pixel area and destination rleImageSizeBound bytes.
int encodeRleImage(const std::uint8_t* source, std::uint8_t* destination, RunMode mode);

/// Encodes height rows of width 16-bit pixels into RLE4 runs; only the last row's last run gets
/// imageEnd. Returns the 16-bit units written; 0 when width or height is 0 or less.
int encodeRows16(const std::uint8_t* pixels, std::uint8_t* destination, int width, int height);

/// encodeRows16 for 32-bit pixels and RLE5 runs; returns the 32-bit units written.
int encodeRows32(const std::uint8_t* pixels, std::uint8_t* destination, int width, int height);

/// Encodes count 16-bit units as one row of RLE4 runs; its last run gets rowEnd, and imageEnd
/// too when lastRow is true. Returns the 16-bit units written; 0 when count is 0 or less.
int encodeRuns16(std::uint8_t* destination, const std::uint8_t* values, int count, bool lastRow);

/// encodeRuns16 for 32-bit units and RLE5 runs; returns the 32-bit units written.
int encodeRuns32(std::uint8_t* destination, const std::uint8_t* values, int count, bool lastRow);
