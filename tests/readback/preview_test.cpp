// The preview page as a browser shows it: headless Chromium screenshots the keyed page of a
// build, and a known picture must appear with its exact colours, its key colour as a hole over
// the checkerboard. Skipped where Chromium is not installed (scripts/install-deps --browser
// installs it).
#include <gtest/gtest.h>

#include "readback/readback_run.h"

namespace {

// Four quadrants of colours that nothing else on the page has.
constexpr std::uint32_t kQuadrants[] = {0x1A6B3C, 0xB3187E, 0x2F45D0, 0xE8C21D};
constexpr int kSide = 64;
// The page enlarges a 64x64 picture twice into its 128-pixel box.
constexpr int kShown = 2 * kSide;
// The keyed page's checkerboard: squares of 8 pixels.
constexpr std::uint32_t kChecks[] = {0xFFFFFF, 0xCCCCCC};

std::vector<std::uint8_t> quadrantBmp() {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            pixels.push_back(kQuadrants[(y < kSide / 2 ? 0 : 2) + (x < kSide / 2 ? 0 : 1)]);
        }
    }
    return makeBmp(BmpForm{.width = kSide, .height = kSide}, pixels);
}

// The top-left corner of the picture in the screenshot: where a shown quadrant starts.
bool findPicture(const RgbPicture& shot, int& left, int& top) {
    const std::uint32_t first = packedColour(kQuadrants[0]);
    for (top = 0; top + kShown <= shot.height; ++top) {
        for (left = 0; left + kShown <= shot.width; ++left) {
            if (shot.at(left, top) == first && shot.at(left + kShown / 2 - 1, top) == first &&
                shot.at(left, top + kShown / 2 - 1) == first) {
                return true;
            }
        }
    }
    return false;
}

TEST(PreviewTest, MarksCopiesAndChromiumShowsAKnownPictureWithItsExactColours) {
    TempFolder root;
    root.writeBytes("0/pic.bmp", quadrantBmp());
    root.writeBytes("0/menu/bg.bmp", makeUiLikeBmp(40, 30, 5));
    root.writeBytes("2/menu/bg.bmp", makeUiLikeBmp(20, 30, 6));
    LonePackager("").run(root);
    const ProgramResult preview = runInspect(root, "preview --out preview.html");
    ASSERT_EQ(preview.exitStatus, 0) << preview.err;
    // Theme 2's copy of pic.bmp is theme 0's; its bg.bmp is an override of other dimensions.
    const auto page = root.readBytes("preview.html");
    const std::string html(page.begin(), page.end());
    EXPECT_NE(html.find("<span class=\"badge same\">= theme 0</span></td></tr>"),
              std::string::npos);
    EXPECT_NE(html.find("other size than theme 0 (40&times;30)</span>"), std::string::npos);
    // A page that cannot be written whole says why, and nothing of it is left.
    if (!kWindows) { // Windows has no file-size limit
        const auto before = snapshot(root);
        const ProgramResult cut =
            runProgram(root.path(), {programPath("theme-inspect"), "preview", "--out", "cut.html"},
                       {.fileSize = 1024});
        EXPECT_EQ(cut.exitStatus, 1);
        EXPECT_EQ(cut.err, "theme-inspect: cut.html: cannot write: File too large\n");
        EXPECT_EQ(snapshot(root), before);
    }

    TempFolder browser;
    std::vector<std::string> chromium =
        words("chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
              "--disable-background-networking --disable-component-update --disable-sync "
              "--hide-scrollbars --force-device-scale-factor=1 --force-color-profile=srgb "
              "--window-size=1000,800");
    chromium.push_back("--user-data-dir=" + browser.path("profile"));
    chromium.push_back("--screenshot=" + browser.path("shot.png"));
    // The last quadrant's colour is the key: the checkerboard shows through it.
    ASSERT_EQ(runInspect(root, "preview --key=#E8C21D --out keyed.html").exitStatus, 0);
    chromium.push_back("file://" + root.path("keyed.html"));
    const ProgramResult shot = runProgram(root.path(), chromium);
    if (shot.exitStatus == -1) {
        GTEST_SKIP() << "chromium is not installed: scripts/install-deps --browser installs it";
    }
    const RgbPicture picture = readPng(browser.path("shot.png"));
    ASSERT_EQ(picture.width, 1000) << shot.err;
    int left = 0;
    int top = 0;
    ASSERT_TRUE(findPicture(picture, left, top));
    for (int q = 0; q < 4; ++q) {
        const int x = left + (q % 2) * kShown / 2;
        const int y = top + (q / 2) * kShown / 2;
        for (const auto& [dx, dy] : {std::pair{0, 0}, {kShown / 2 - 1, kShown / 2 - 1}, {17, 40}}) {
            // Squares of 8 from the picture's corner: (dx / 8 + dy / 8) % 2 picks the colour.
            EXPECT_EQ(picture.at(x + dx, y + dy),
                      q < 3 ? packedColour(kQuadrants[q]) : kChecks[(dx / 8 + dy / 8) % 2])
                << "quadrant " << q << " at " << x + dx << "," << y + dy;
        }
    }
    EXPECT_NE(picture.at(left + kShown, top + kShown / 2), packedColour(kQuadrants[1]))
        << "the picture is shown wider than twice its size";
}

} // namespace
