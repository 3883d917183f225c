// The built-in texts, byte for byte, against an independent code page 932 encoding of their
// wording.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>

#include "Unit2.h"
#include "texts.h"

namespace haltix {
namespace {

std::string ReadTestFile(const std::string& name) {
    std::ifstream file(std::string(HALTIX_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// Encodes UTF-8 text in code page 932 with the C library's converter.
std::string ToCodePage932(const std::string& utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    // NOLINTNEXTLINE(performance-no-int-to-ptr): iconv_open's documented failure value
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    std::string input = utf8;
    std::string output(input.size() * 2 + 16, '\0');
    char* in = input.data();
    char* out = output.data();
    std::size_t inLeft = input.size();
    std::size_t outLeft = output.size();
    EXPECT_NE(iconv(converter, &in, &inLeft, &out, &outLeft), static_cast<std::size_t>(-1));
    iconv_close(converter);
    output.resize(output.size() - outLeft);
    return output;
}

std::string WithCrLf(const std::string& text) {
    std::string result;
    for (const char c : text) {
        if (c == '\n') result += '\r';
        result += c;
    }
    return result;
}

TEST(TextsTest, UsageTextIsTheWordingInCodePage932WithCrLfAfterEachOf34Lines) {
    const std::string expected = WithCrLf(ToCodePage932(ReadTestFile("usage_text.utf8.txt")));
    EXPECT_EQ(std::string(UsageText), expected);
    EXPECT_EQ(std::count(UsageText.begin(), UsageText.end(), '\n'), 34);
    EXPECT_TRUE(UsageText.ends_with("\r\n"));
    EXPECT_TRUE(UsageText.starts_with("haltix version 0.2 for Windows NT4.0/2000\r\n"));
    // Continuation lines: four blanks, a tab, the text; line 22 ends with a blank.
    EXPECT_NE(UsageText.find("\r\n    \t"), std::string_view::npos);
    EXPECT_NE(UsageText.find("0 \r\n    \t"), std::string_view::npos);
    EXPECT_TRUE(UsageText.ends_with(
        "\r\n  (ex)  haltix /p /f /t:60 /u \"/m:This system will shut down in 60 seconds.\"\r\n"));
}

TEST(TextsTest, DefaultNoticeTextIsTheWordingInCodePage932) {
    EXPECT_EQ(std::string(DefaultNoticeText),
              ToCodePage932(ReadTestFile("default_notice_text.utf8.txt")));
}

TEST(TextsTest, FixedEnglishTexts) {
    EXPECT_EQ(Caption, "haltix");
    EXPECT_EQ(RefusalText, "This program runs under Windows NT/2000 only.");
}

TEST(TextsTest, CountdownLabelIsRemainingCountSeconds) {
    const std::string remaining = "\x8E\x63\x82\xE8\x20";
    const std::string seconds = "\x20\x95\x62";
    EXPECT_EQ(remaining + seconds, ToCodePage932("残り  秒"));
    for (const auto& [count, digits] :
         {std::pair{3, "3"}, std::pair{0, "0"}, std::pair{-5, "-5"},
          std::pair{INT_MAX, "2147483647"}, std::pair{INT_MIN, "-2147483648"}}) {
        EXPECT_EQ(CountdownLabel(count), std::string(remaining).append(digits).append(seconds))
            << count;
    }
}

}  // namespace
}  // namespace haltix
