// The page is written group by group: a group's images are encoded into one <style> block of
// CSS classes, followed by its table, so memory holds one group's PNG data at a time.
#include "readback/preview.h"

#include <algorithm>
#include <cstdio>

#include "readback/copy_png.h"
#include "readback/listing.h"
#include "readback/text_forms.h"
#include "vox_zip/output_file.h"

namespace {

// Images are shown in a box of this many CSS pixels: small ones enlarged by a whole factor (up
// to 4), large ones reduced to fit.
constexpr std::int64_t kBox = 128;
constexpr std::int64_t kMaxEnlargement = 4;

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

std::string dimensions(const SlotCopy& copy) {
    return std::to_string(copy.header.width) + "&times;" + std::to_string(copy.header.height);
}

// What one group adds to the page: its CSS classes and its table.
struct GroupPage {
    std::string style;
    std::string table;
};

// The class that shows copy k of theme, made from its pixels; "" when it cannot be shown.
std::string imageClass(const ScannedBuild& build, int theme, std::size_t k, int& classCount,
                       GroupPage& page, std::string& cause) {
    ByteBuffer png;
    if (!copyPng(build, theme, k, png, cause)) {
        return "";
    }
    std::string name(1, 'i');
    name += std::to_string(classCount++);
    page.style += "." + name + " { background-image: url(\"data:image/png;base64,";
    appendBase64(png.view(), page.style);
    page.style += "\"); }\n";
    return name;
}

std::string copyCell(const ScannedBuild& build, int theme, std::size_t k,
                     const std::string& shownAs, const std::string& label) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    const SlotCopy& base = build.themes[0].copies[k];
    const Box box = displayBox(copy.header.width, copy.header.height);
    std::string cell =
        "<td class=\"copy\"><div class=\"px " + shownAs +
        "\" style=\"width:" + std::to_string(box.width) +
        "px;height:" + std::to_string(box.height) + "px\" role=\"img\" aria-label=\"" + label +
        ", theme " + std::to_string(theme) + "\"></div><div class=\"meta\">" +
        groupedNumber(copy.encodedSize) + " B &middot; " + dimensions(copy) + "</div>";
    if (theme != 0 && build.themes[theme].sameAsBase[k]) {
        cell += "<span class=\"badge same\">= theme 0</span>";
    } else if (theme != 0 && base.state == CopyState::kValid &&
               (base.header.width != copy.header.width ||
                base.header.height != copy.header.height)) {
        cell +=
            "<span class=\"badge other\">other size than theme 0 (" + dimensions(base) + ")</span>";
    }
    return cell + "</td>";
}

std::string failedCell(const std::string& cause) {
    return "<td class=\"copy bad\">cannot be shown:<br>" + htmlText(cause) + "</td>";
}

void addImageRow(const ScannedBuild& build, const std::vector<int>& themes, std::size_t k,
                 int& classCount, GroupPage& page, std::vector<std::string>& failures) {
    const IndexImage& image = build.check.layout.images[k];
    const std::string name = displayName(imageName(build.index.bytes.view(), image));
    const std::string label = htmlText(name);
    page.table += "<tr><th>" + label + "<div class=\"meta\">slot at " +
                  groupedNumber(image.slotStart) + ", " + groupedNumber(image.slotSize) +
                  " B</div></th>";
    std::string baseClass;
    for (const int theme : themes) {
        std::string cause;
        const std::string shownAs =
            theme != 0 && build.themes[theme].sameAsBase[k] && !baseClass.empty()
                ? baseClass
                : imageClass(build, theme, k, classCount, page, cause);
        if (theme == 0) {
            baseClass = shownAs;
        }
        if (shownAs.empty()) {
            failures.push_back(name + ", theme " + std::to_string(theme) + ": " + cause);
            page.table += failedCell(cause);
        } else {
            page.table += copyCell(build, theme, k, shownAs, label);
        }
    }
    page.table += "</tr>\n";
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
                     const std::vector<int>& themes) {
    const IndexLayout& layout = build.check.layout;
    std::string out = kPageStart + htmlText("Themes of " + title) + kStyle;
    out += "<h1>Themes of " + htmlText(title) + "</h1>\n<p class=\"meta\">" +
           countOf(layout.groups.size(), "group") + ", " + countOf(layout.images.size(), "image") +
           ", " + countOf(themes.size(), "theme") +
           ". <span class=\"badge same\">= theme 0</span> the same bytes as theme 0's "
           "copy; <span class=\"badge other\">other size than theme 0</span> an override of "
           "other dimensions.</p>\n";
    return out + summary(build, themes);
}

bool writeText(std::FILE* file, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

bool writeGroups(const ScannedBuild& build, const std::vector<int>& themes, std::FILE* file,
                 const Progress& progress, std::vector<std::string>& failures) {
    const IndexLayout& layout = build.check.layout;
    int classCount = 0;
    for (const IndexGroup& group : layout.groups) {
        GroupPage page;
        page.table = "<div class=\"wrap\"><table class=\"images\">\n<tr><th>image</th>";
        for (const int theme : themes) {
            page.table += "<th>theme " + std::to_string(theme) + "</th>";
        }
        page.table += "</tr>\n";
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            reportProgress(progress, "previewing", k, layout.images.size());
            addImageRow(build, themes, k, classCount, page, failures);
        }
        const std::string heading =
            "<h2>group " + htmlText(displayName(groupName(build.index.bytes.view(), group))) +
            " <span class=\"meta\">" + countOf(group.imageCount, "image") + "</span></h2>\n";
        if (!writeText(file, heading + "<style>\n" + page.style + "</style>\n" + page.table +
                                 "</table></div>\n")) {
            return false;
        }
    }
    return writeText(file, "</body>\n</html>\n");
}

} // namespace

bool writePreview(const ScannedBuild& build, const std::string& title, const std::string& outFile,
                  const Progress& progress, std::vector<std::string>& failures,
                  std::string& error) {
    std::vector<int> themes;
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        if (build.themes[theme].read) {
            themes.push_back(theme);
        }
    }
    PendingOutput output;
    std::string cause;
    if (!beginOutput(outFile, output, cause)) {
        error = outFile + ": " + cause;
        return false;
    }
    if (!writeText(output.file, pageHead(build, title, themes)) ||
        !writeGroups(build, themes, output.file, progress, failures)) {
        abandonOutput(output);
        error = outFile + ": cannot write it";
        return false;
    }
    if (!commitOutput(output, cause)) {
        error = outFile + ": " + cause;
        return false;
    }
    return true;
}
