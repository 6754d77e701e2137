// What the two deflate builds of gzip_stream.h share (libdeflate's and zlib's; one of them is
// compiled into a build).
#pragma once

#include <cstdint>

#include "gzip/gzip_format.h"
#include "gzip/gzip_stream.h"

/// Fills error and returns false, so that a failure is reported in one statement.
inline bool gzipFail(GzipError& error, GzipReason reason, int osError = 0,
                     const char* detail = nullptr) {
    error.reason = reason;
    error.osError = osError;
    error.detail = detail;
    return false;
}
