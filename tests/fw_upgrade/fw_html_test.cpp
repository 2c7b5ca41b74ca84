// Escaping the request's text for the answer page, up to the buffer's end.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fw_html.h"

namespace {

std::string escaped(const std::string& text, size_t n) {
    std::string out(n + 8, '#');  // bytes past n must stay untouched
    size_t len = html_escape(text.c_str(), &out[0], n);
    EXPECT_EQ(out.substr(n), std::string(8, '#'));
    EXPECT_EQ(strlen(out.c_str()), len);
    return out.c_str();
}

TEST(HtmlEscape, MarkupCharactersBecomeEntities) {
    EXPECT_EQ(escaped("firmware", 64), "firmware");
    EXPECT_EQ(escaped("", 64), "");
    EXPECT_EQ(escaped("a&b<c>d\"e'f", 64), "a&amp;b&lt;c&gt;d&quot;e&#39;f");
    EXPECT_EQ(escaped("&amp;", 64), "&amp;amp;");  // text, even when it looks escaped
}

TEST(HtmlEscape, CutOnlyBetweenWholeCharacters) {
    EXPECT_EQ(escaped("ab<cd", 1), "");
    EXPECT_EQ(escaped("ab<cd", 3), "ab");
    EXPECT_EQ(escaped("ab<cd", 6), "ab");  // "&lt;" needs 4 bytes and the zero
    EXPECT_EQ(escaped("ab<cd", 7), "ab&lt;");
    EXPECT_EQ(escaped("ab<cd", 8), "ab&lt;c");
    // The longest name, every character an entity, fits the answer's buffer.
    std::string quotes(FW_NAME_MAX, '"');
    std::string want;
    for (size_t i = 0; i < FW_NAME_MAX; ++i) want += "&quot;";
    EXPECT_EQ(escaped(quotes, FW_NAME_HTML_SIZE), want);
}

}  // namespace
