#include "text_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct EscapeCase {
    std::string text;
    std::string shown;
};

TEST(TextBytes, EscapesEverythingButPrintableText) {
    const EscapeCase cases[] = {
        {"Cam 1", "Cam 1"},
        {"\x1b]0;title\x07\x1b[2J", "\\x1B]0;title\\x07\\x1B[2J"},
        {"a\nb\tc\rd\\e", "a\\nb\\tc\\rd\\\\e"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"\x7f", "\\x7F"},
        {"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa5", "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa5"},
        {"c1 \xc2\x9b" "2J", "c1 \\xC2\\x9B2J"},
        {"cut \xe2\x82", "cut \\xE2\\x82"},
        {"overlong \xc0\xaf", "overlong \\xC0\\xAF"},
        {"surrogate \xed\xa0\x80", "surrogate \\xED\\xA0\\x80"},
        {"binary \xff\xfe", "binary \\xFF\\xFE"},
        // Bidirectional controls, the ends of both ranges; the characters
        // beside them (a mark, a blank, a word joiner, a format control) stay.
        {"\xe2\x80\xaa" "a\xe2\x80\xae", "\\xE2\\x80\\xAAa\\xE2\\x80\\xAE"},
        {"\xe2\x81\xa6" "b\xe2\x81\xa9", "\\xE2\\x81\\xA6b\\xE2\\x81\\xA9"},
        {"\xe2\x80\x8f\xe2\x80\xaf\xe2\x81\xa0\xe2\x81\xaa", "\xe2\x80\x8f\xe2\x80\xaf\xe2\x81\xa0\xe2\x81\xaa"},
    };
    for (const EscapeCase& c : cases) EXPECT_EQ(escapeText(c.text), c.shown) << c.shown;
}

TEST(TextBytes, ControlBytesAreC0ButTabAndDel) {
    EXPECT_EQ(findControlByte("Cam\t1 \xc3\xa9"), std::string_view::npos);
    EXPECT_EQ(findControlByte("ab\x1b"), 2u);
    EXPECT_EQ(findControlByte("\x7f"), 0u);
    EXPECT_EQ(findControlByte(std::string_view("a\0", 2)), 1u);
}

}  // namespace
