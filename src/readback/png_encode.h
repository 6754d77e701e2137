// PNG encoding, the one place that needs a PNG library: a build without libpng (Windows, where
// no package provides it) replaces png_encode.cpp alone.
#pragma once

#include <string>

#include "common/byte_buffer.h"
#include "readback/image_pixels.h"

/// The PNG file (8-bit RGB, no alpha) of image, its RGB565 pixels widened by widenRgb565.
/// Returns false with the cause in error when memory runs out or the encoder fails.
bool encodePng(const Rgb565Image& image, ByteBuffer& png, std::string& error);
