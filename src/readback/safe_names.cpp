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

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any extension.
bool isDeviceName(std::string_view name) {
    const std::string stem = lowerAscii(name.substr(0, name.find('.')));
    if (stem == "con" || stem == "prn" || stem == "aux" || stem == "nul") {
        return true;
    }
    return stem.size() == 4 && (stem.starts_with("com") || stem.starts_with("lpt")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

} // namespace

std::string safeFileName(std::string_view raw) {
    std::string out;
    for (std::size_t at = 0; at < raw.size();) {
        const auto byte = static_cast<unsigned char>(raw[at]);
        const std::size_t length = utf8SequenceLength(raw, at);
        if (length == 0 || byte < 0x20 || byte == 0x7F ||
            kForbidden.find(raw[at]) != std::string_view::npos) {
            out += '_';
            ++at;
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
