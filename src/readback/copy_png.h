// The PNG file of one theme's copy of one image: what extract writes and preview embeds.
#pragma once

#include <cstddef>
#include <string>

#include "common/byte_buffer.h"
#include "readback/build_scan.h"

/// Encodes copy k of theme, whose bytes build kept, as PNG. Returns false with the cause in
/// cause when the copy is not valid, too large to decode here or cannot be encoded.
bool copyPng(const ScannedBuild& build, int theme, std::size_t k, ByteBuffer& png,
             std::string& cause);
