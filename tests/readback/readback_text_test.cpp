// Names from a build's raw name fields, as file names and as text for the console and JSON: any
// byte can be in them.
#include <gtest/gtest.h>

#include "readback/safe_names.h"
#include "readback/text_forms.h"

namespace {

struct NameCase {
    std::string raw;
    std::string safe;
    std::string shown;
    std::string json;
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << c.safe;
}

class NameFormTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(NameFormTest, SafeFileNameDisplayAndJson) {
    const NameCase& c = GetParam();
    EXPECT_EQ(safeFileName(c.raw), c.safe);
    EXPECT_EQ(displayName(c.raw), c.shown);
    EXPECT_EQ(jsonString(c.raw), c.json);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameFormTest,
    ::testing::Values(NameCase{"logo", "logo", "logo", "\"logo\""}, NameCase{"", "_", "", "\"\""},
                      NameCase{".", "_", ".", "\".\""}, NameCase{"..", "__", "..", "\"..\""},
                      NameCase{"a/../b", "a_.._b", "a/../b", "\"a/../b\""},
                      NameCase{"a\\b:c", "a_b_c", "a\\\\b:c", "\"a\\\\b:c\""},
                      NameCase{"q\"<>|*?", "q______", "q\"<>|*?", "\"q\\\"<>|*?\""},
                      NameCase{"tab\tnl\n", "tab_nl_", "tab\\x09nl\\x0a",
                               "\"tab\\u0009nl\\u000a\""},
                      NameCase{"end. ", "end__", "end. ", "\"end. \""},
                      NameCase{"nul.txt", "_nul.txt", "nul.txt", "\"nul.txt\""},
                      NameCase{"COM7", "_COM7", "COM7", "\"COM7\""},
                      NameCase{"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9", "\"caf\xC3\xA9\""},
                      // A cut sequence, an overlong form and a lone continuation byte.
                      NameCase{"x\xC3", "x_", "x\\xc3", "\"x\\ufffd\""},
                      NameCase{"\xC0\xAF", "__", "\\xc0\\xaf", "\"\\ufffd\\ufffd\""},
                      NameCase{"\x80z", "_z", "\\x80z", "\"\\ufffdz\""},
                      // A C1 control (U+009B, CSI) and a right-to-left override act on a terminal
                      // as C0 controls do.
                      NameCase{"a\xC2\x9B"
                               "b\xE2\x80\xAEgpj.exe",
                               "a_b_gpj.exe", "a\\xc2\\x9bb\\xe2\\x80\\xaegpj.exe",
                               "\"a\xC2\x9B"
                               "b\xE2\x80\xAEgpj.exe\""},
                      NameCase{"com0", "_com0", "com0", "\"com0\""},
                      NameCase{"LPT0.x", "_LPT0.x", "LPT0.x", "\"LPT0.x\""},
                      NameCase{"COM\xC2\xB9", "_COM\xC2\xB9", "COM\xC2\xB9", "\"COM\xC2\xB9\""},
                      NameCase{"lpt\xC2\xB3", "_lpt\xC2\xB3", "lpt\xC2\xB3", "\"lpt\xC2\xB3\""}));

TEST(PngPathTest, DropsBmpAndKeepsEveryPathApartAsACaseInsensitiveSystemWould) {
    const std::vector<PngPath> paths = pngPaths({{"menu", "bg.bmp"},
                                                 {"menu", "BG.bmp"},
                                                 {"Menu", "bg.bmp"},
                                                 {"menu", "bg~2.bmp"},
                                                 {"a/b", ".bmp"},
                                                 {"0", "x.BMP"}});
    const std::vector<std::string> expected = {"menu/bg.png",     "menu/BG~2.png", "Menu/bg~3.png",
                                               "menu/bg~2~2.png", "a_b/.bmp.png",  "0/x.BMP.png"};
    ASSERT_EQ(paths.size(), expected.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(paths[i].path, expected[i]);
        EXPECT_EQ(paths[i].renamed, i != 0 && i != 5) << expected[i];
    }
}

TEST(TextFormTest, HtmlBase64AndNumbers) {
    EXPECT_EQ(htmlText("<a href=\"x\">&'</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;");
    for (const auto& [bytes, text] :
         std::vector<std::pair<std::string, std::string>>{{"", ""},
                                                          {"f", "Zg=="},
                                                          {"fo", "Zm8="},
                                                          {"foo", "Zm9v"},
                                                          {"\xFF\xFE\xFD\xFC", "//79/A=="}}) {
        std::string out;
        appendBase64({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, out);
        EXPECT_EQ(out, text) << bytes;
    }
    EXPECT_EQ(groupedNumber(0), "0");
    EXPECT_EQ(groupedNumber(999), "999");
    EXPECT_EQ(groupedNumber(1234567), "1,234,567");
}

} // namespace
