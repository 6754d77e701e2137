// The texts of the image reasons, as they follow a path in a diagnostic.
#include "image/image_result.h"

const char* imageResultText(ImageResult result) {
    switch (result) {
    case ImageResult::kOk:
        return "ok";
    case ImageResult::kCannotOpen:
        return "cannot be opened";
    case ImageResult::kReadError:
        return "cannot be read";
    case ImageResult::kOutOfMemory:
        return "needs more memory than is available";
    case ImageResult::kBadSignature:
        return "is not a BMP file";
    case ImageResult::kUnsupportedHeaderSize:
        return "has an unsupported BMP header size";
    case ImageResult::kBadDimensions:
        return "has a bad width or height";
    case ImageResult::kPixelOffsetInHeaders:
        return "has a pixel array offset inside its headers";
    case ImageResult::kUnsupportedDepth:
        return "has an unsupported number of bits per pixel";
    case ImageResult::kCompressedPalette:
        return "is a compressed palette image";
    case ImageResult::kTruncated:
        return "is truncated";
    case ImageResult::kBadPaletteIndex:
        return "has a colour index outside its colour table";
    case ImageResult::kTooLarge:
        return "is too large";
    }
    return "unknown failure";
}
