// The page is written image by image: each row follows the CSS classes of the images it brings,
// so memory holds one image's PNG data at a time. A slot that several images name is decoded
// once, and no more pixels than the budget are decoded for a page.
#include "readback/preview.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "platform/pending_output.h"
#include "readback/build_summary.h"
#include "readback/copy_png.h"
#include "readback/text_forms.h"

namespace {

// Images are shown in a box of this many CSS pixels: small ones enlarged by a whole factor (up
// to 4), large ones reduced to fit.
constexpr std::int64_t kBox = 128;
constexpr std::int64_t kMaxEnlargement = 4;
constexpr std::string_view kTimes = "&times;";

const char kPageStart[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)";

const char kStyle[] = R"(</title>
<style>
body { font: 14px/1.4 system-ui, sans-serif; margin: 16px; color: #222; background: #f2f2f2; }
h1 { font-size: 20px; margin: 0 0 4px; }
h2 { font-size: 16px; margin: 24px 0 8px; }
.wrap { overflow-x: auto; }
table { border-collapse: collapse; background: #fff; }
th, td { border: 1px solid #ccc; padding: 6px 8px; vertical-align: top; text-align: left; }
table.images { table-layout: fixed; }
table.images th:first-child { width: 190px; word-break: break-all; }
td.copy { width: 150px; }
td.num, th.num { text-align: right; }
.px { image-rendering: pixelated; background-size: 100% 100%; background-repeat: no-repeat;
      margin-bottom: 4px; outline: 1px solid #ddd; }
.meta { font-size: 12px; color: #555; font-weight: normal; }
.badge { display: inline-block; font-size: 11px; padding: 0 4px; border-radius: 3px; }
.same { background: #ddf0dd; color: #185c18; }
.other { background: #f8d7d7; color: #8a1111; }
.bad { color: #8a1111; }
</style>
</head>
<body>
)";

// With a colour key, each picture stands on a checkerboard of 8-pixel squares that shows
// through its key pixels.
const char kCheckerStyle[] =
    "<style>\n.checks { display: inline-block; vertical-align: top; margin-bottom: 4px;\n"
    "          background: repeating-conic-gradient(#ccc 0 25%, #fff 0 50%) 0 0 / 16px 16px; "
    "}\n.checks .px { margin-bottom: 0; }\n</style>\n";

struct Box {
    std::int64_t width;
    std::int64_t height;
};

Box displayBox(std::int32_t width, std::int32_t height) {
    const std::int64_t longest = std::max(width, height);
    if (longest <= kBox) {
        const std::int64_t scale = std::min(kMaxEnlargement, kBox / longest);
        return {width * scale, height * scale};
    }
    return {std::max<std::int64_t>(1, width * kBox / longest),
            std::max<std::int64_t>(1, height * kBox / longest)};
}

// What the page has shown so far: the class of each distinct copy (by theme, slot and length), so
// that a slot that several images name is decoded once; and the pixels it may still decode.
struct ShownCopies {
    ColourKey colourKey;
    std::map<std::tuple<int, std::uint64_t, std::uint32_t>, std::string> classes;
    int classCount = 0;
    std::uint64_t pixelsLeft = kPixelBudget;
    std::size_t overBudget = 0;
};

const char kOverBudget[] = "not shown: over the page's budget";

// One image's row and the CSS classes it brings, written one after the other as they come.
struct ImageRow {
    std::string style;
    std::string html;
};

// The class that shows copy k of theme: that of the same slot shown before, or one made now from
// its pixels, whose CSS goes into row.style; "" when it cannot be shown, with why in cause.
std::string imageClass(const ScannedBuild& build, int theme, std::size_t k, ShownCopies& shown,
                       ImageRow& row, std::string& cause) {
    const auto key = std::make_tuple(theme, build.check.layout.images[k].slotStart,
                                     build.themes[theme].copies[k].encodedSize);
    if (const auto found = shown.classes.find(key); found != shown.classes.end()) {
        return found->second;
    }
    const std::uint64_t pixels = copyPixelCount(build, theme, k);
    if (pixels > shown.pixelsLeft) {
        cause = kOverBudget;
        ++shown.overBudget;
        return "";
    }
    ByteBuffer png;
    if (!copyPng(build, theme, k, shown.colourKey, png, cause)) {
        return "";
    }
    shown.pixelsLeft -= pixels;
    std::string name(1, 'i');
    name += std::to_string(shown.classCount++);
    row.style += "." + name + " { background-image: url(\"data:image/png;base64,";
    appendBase64(png.view(), row.style);
    row.style += "\"); }\n";
    shown.classes.emplace(key, name);
    return name;
}

std::string copyCell(const ScannedBuild& build, int theme, std::size_t k,
                     const std::string& shownAs, const std::string& label, bool keyed) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    const Box box = displayBox(copy.header.width, copy.header.height);
    std::string picture =
        "<div class=\"px " + shownAs + "\" style=\"width:" + std::to_string(box.width) +
        "px;height:" + std::to_string(box.height) + "px\" role=\"img\" aria-label=\"" + label +
        ", theme " + std::to_string(theme) + "\"></div>";
    if (keyed) {
        picture = "<div class=\"checks\">" + picture + "</div>";
    }
    std::string cell = "<td class=\"copy\">" + picture + "<div class=\"meta\">" +
                       groupedNumber(copy.encodedSize) + " B &middot; " + dimensions(copy, kTimes) +
                       "</div>";
    const CopyMark mark = copyMark(build, theme, k);
    if (mark == CopyMark::kSameAsBase) {
        cell += "<span class=\"badge same\">= theme 0</span>";
    } else if (mark == CopyMark::kOtherDimensions) {
        cell += "<span class=\"badge other\">other size than theme 0 (" +
                dimensions(build.themes[0].copies[k], kTimes) + ")</span>";
    }
    return cell + "</td>";
}

std::string failedCell(const std::string& cause) {
    return cause == kOverBudget
               ? "<td class=\"copy bad\">" + htmlText(cause) + "</td>"
               : "<td class=\"copy bad\">cannot be shown:<br>" + htmlText(cause) + "</td>";
}

ImageRow imageRow(const ScannedBuild& build, const std::vector<int>& themes, std::size_t k,
                  ShownCopies& shown, std::vector<std::string>& failures) {
    const IndexImage& image = build.check.layout.images[k];
    const std::string name = displayName(image.name);
    const std::string label = htmlText(name);
    ImageRow row;
    row.html = "<tr><th>" + label + "<div class=\"meta\">slot at " +
               groupedNumber(image.slotStart) + ", " + groupedNumber(image.slotSize) +
               " B</div></th>";
    std::string baseClass;
    for (const int theme : themes) {
        std::string cause;
        const std::string shownAs =
            copyMark(build, theme, k) == CopyMark::kSameAsBase && !baseClass.empty()
                ? baseClass
                : imageClass(build, theme, k, shown, row, cause);
        if (theme == 0) {
            baseClass = shownAs;
        }
        if (shownAs.empty()) {
            if (cause != kOverBudget) {
                failures.push_back(name + ", theme " + std::to_string(theme) + ": " + cause);
            }
            row.html += failedCell(cause);
        } else {
            row.html += copyCell(build, theme, k, shownAs, label, shown.colourKey.has_value());
        }
    }
    row.html += "</tr>\n";
    return row;
}

std::string summary(const ScannedBuild& build, const std::vector<int>& themes) {
    std::string out = "<div class=\"wrap\"><table>\n<tr><th>theme</th><th>file</th>"
                      "<th class=\"num\">images</th><th class=\"num\">RGB565</th>"
                      "<th class=\"num\">encoded</th><th class=\"num\">bin</th>"
                      "<th class=\"num\">compressed</th></tr>\n";
    for (const int theme : themes) {
        const ThemeScan& scan = build.themes[theme];
        const ThemeTotals totals = themeTotals(scan);
        out += "<tr><td>" + std::to_string(theme) + "</td><td>" + htmlText(scan.file.path) +
               "</td><td class=\"num\">" + groupedNumber(totals.images) +
               "</td><td class=\"num\">" + groupedNumber(totals.rgb565Bytes) +
               " B</td><td class=\"num\">" + groupedNumber(totals.encodedBytes) + " B (" +
               percent(totals.encodedBytes, totals.rgb565Bytes) + ")</td><td class=\"num\">" +
               groupedNumber(scan.length) + " B</td><td class=\"num\">" +
               (scan.file.compressed ? groupedNumber(scan.file.storedSize) + " B (" +
                                           percent(scan.file.storedSize, scan.length) + ")"
                                     : std::string("-")) +
               "</td></tr>\n";
    }
    return out + "</table></div>\n";
}

std::string pageHead(const ScannedBuild& build, const std::string& title,
                     const std::vector<int>& themes, ColourKey key) {
    std::string out = kPageStart + htmlText("Themes of " + title) + kStyle;
    out += "<h1>Themes of " + htmlText(title) + "</h1>\n<p class=\"meta\">" + indexCounts(build) +
           ", " + countOf(themes.size(), "theme") +
           ". <span class=\"badge same\">= theme 0</span> the same bytes as theme 0's "
           "copy; <span class=\"badge other\">other size than theme 0</span> an override of "
           "other dimensions.";
    if (key) {
        char value[8];
        std::snprintf(value, sizeof value, "0x%04X", *key);
        out += std::string(" Pixels of the colour key ") + value +
               " are transparent: the checkerboard shows through them.";
    }
    return out + "</p>\n" + (key ? kCheckerStyle : "") + summary(build, themes);
}

bool writeText(PendingOutput& page, const std::string& text, std::string& cause) {
    return writeOutput(page, text.data(), text.size(), cause);
}

// Each row is written as it is made, after the CSS of the images it brings (a style element in
// a table applies as one in the head does), so that the page is never held in memory.
bool writeGroups(const ScannedBuild& build, const std::vector<int>& themes, ColourKey key,
                 PendingOutput& page, std::string& cause, const Progress& progress,
                 std::vector<std::string>& failures) {
    const IndexLayout& layout = build.check.layout;
    ShownCopies shown;
    shown.colourKey = key;
    for (const IndexGroup& group : layout.groups) {
        std::string head =
            "<h2>group " + htmlText(displayName(group.name)) + " <span class=\"meta\">" +
            countOf(group.imageCount, "image") +
            "</span></h2>\n<div class=\"wrap\"><table class=\"images\">\n<tr><th>image</th>";
        for (const int theme : themes) {
            head += "<th>theme " + std::to_string(theme) + "</th>";
        }
        if (!writeText(page, head + "</tr>\n", cause)) {
            return false;
        }
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            reportProgress(progress, "previewing", k, layout.images.size());
            const ImageRow row = imageRow(build, themes, k, shown, failures);
            if ((!row.style.empty() &&
                 !writeText(page, "<style>\n" + row.style + "</style>\n", cause)) ||
                !writeText(page, row.html, cause)) {
                return false;
            }
        }
        if (!writeText(page, "</table></div>\n", cause)) {
            return false;
        }
    }
    if (shown.overBudget != 0) {
        failures.push_back(std::to_string(shown.overBudget) +
                           (shown.overBudget == 1 ? " copy" : " copies") +
                           " not shown: over the page's budget of " + groupedNumber(kPixelBudget) +
                           " pixels decoded");
    }
    return writeText(page, "</body>\n</html>\n", cause);
}

} // namespace

bool writePreview(const ScannedBuild& build, const std::string& title, const std::string& outFile,
                  ColourKey key, const Progress& progress, std::vector<std::string>& failures,
                  std::string& error) {
    const std::vector<int> themes = readThemes(build);
    PendingOutput page;
    std::string cause;
    const bool written = beginOutput(outFile, page, cause) &&
                         writeText(page, pageHead(build, title, themes, key), cause) &&
                         writeGroups(build, themes, key, page, cause, progress, failures) &&
                         commitOutput(page, cause);
    if (!written) {
        abandonOutput(page);
        error = outFile + ": cannot write: " + cause;
    }
    return written;
}
