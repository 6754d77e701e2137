// Name rules of Windows and POSIX together, so that extracting gives the same files on both.
#include "readback/safe_names.h"

#include <set>
#include <string_view>

#include "readback/text_forms.h"

namespace {

constexpr std::string_view kForbidden = "/\\:*?\"<>|";
constexpr std::string_view kBmpSuffix = ".bmp";
constexpr std::string_view kPngSuffix = ".png";

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = lowerAscii(c);
    }
    return out;
}

// CON, PRN, AUX, NUL, COM0-9, LPT0-9 and COM or LPT with a superscript 1, 2 or 3 (U+00B9,
// U+00B2, U+00B3) name devices on Windows, with any extension.
bool isDeviceName(std::string_view name) {
    const std::string stem = lowerAscii(name.substr(0, name.find('.')));
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") {
        return true;
    }
    if (!stem.starts_with("com") && !stem.starts_with("lpt")) {
        return false;
    }
    const std::string_view port = std::string_view(stem).substr(3);
    return (port.size() == 1 && port[0] >= '0' && port[0] <= '9') || port == "\xC2\xB9" ||
           port == "\xC2\xB2" || port == "\xC2\xB3";
}

} // namespace

std::string safeFileName(std::string_view raw) {
    std::string out;
    for (std::size_t at = 0; at < raw.size();) {
        const std::size_t length = utf8SequenceLength(raw, at);
        if (isUnsafeCharacter(raw, at, length) ||
            kForbidden.find(raw[at]) != std::string_view::npos) {
            out += '_';
            at += length == 0 ? 1 : length;
        } else {
            out.append(raw.substr(at, length));
            at += length;
        }
    }
    for (std::size_t end = out.size(); end > 0 && (out[end - 1] == '.' || out[end - 1] == ' ');
         --end) {
        out[end - 1] = '_';
    }
    if (out.empty() || isDeviceName(out)) {
        out.insert(0, 1, '_');
    }
    return out;
}

std::vector<PngPath> pngPaths(const std::vector<NamedImage>& images) {
    std::vector<PngPath> paths;
    std::set<std::string> taken;
    for (const NamedImage& image : images) {
        std::string_view name = image.name;
        if (name.ends_with(kBmpSuffix) && name.size() > kBmpSuffix.size()) {
            name.remove_suffix(kBmpSuffix.size());
        }
        const std::string stem = safeFileName(image.group) + "/" + safeFileName(name);
        std::string path = stem + std::string(kPngSuffix);
        for (int copy = 2; !taken.insert(lowerAscii(path)).second; ++copy) {
            path = stem + "~" + std::to_string(copy) + std::string(kPngSuffix);
        }
        const bool renamed =
            path != std::string(image.group) + "/" + std::string(name) + std::string(kPngSuffix);
        paths.push_back({std::move(path), renamed});
    }
    return paths;
}
