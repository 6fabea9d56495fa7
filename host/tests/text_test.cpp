#include "base/text.h"

#include <gtest/gtest.h>

namespace {

TEST(ParseInt32, AcceptsOnlyPlainDecimalsInRange) {
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } cases[] = {
        {"0", 0},
        {"12", 12},
        {"-1", -1},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+5", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"5x", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(parseInt32(c.text), c.value) << "input: " << quoteText(c.text);
}

TEST(SplitCommandArguments, QuotedAndPlainArguments) {
    const struct {
        const char* rest;
        std::optional<std::vector<std::string>> args;  // quoted ones in ''
    } cases[] = {
        {"", std::vector<std::string>{}},
        {" 5 12 12", std::vector<std::string>{"5", "12", "12"}},
        {" 'text=CAM 3' '1' 'LevelMimic'", std::vector<std::string>{"'text=CAM 3'", "'1'", "'LevelMimic'"}},
        {" 5 12 12 'ADD'", std::vector<std::string>{"5", "12", "12", "'ADD'"}},
        {" 'text=O'Brien' '1'", std::vector<std::string>{"'text=O'Brien'", "'1'"}},
        {" ''", std::vector<std::string>{"''"}},
        {" 'a", std::nullopt},
        {" 'a'b", std::nullopt},
        {"5", std::nullopt},
        {" 5 ", std::nullopt},
        {" ", std::nullopt},
    };
    for (const auto& c : cases) {
        std::optional<std::vector<CommandArg>> got = splitCommandArguments(c.rest);
        ASSERT_EQ(got.has_value(), c.args.has_value()) << "input: " << quoteText(c.rest);
        if (!got) continue;
        std::vector<std::string> shown;
        for (const CommandArg& a : *got) shown.push_back(a.quoted ? "'" + a.text + "'" : a.text);
        EXPECT_EQ(shown, *c.args) << "input: " << quoteText(c.rest);
    }
}

TEST(Quoting, EscapesQuotesBackslashesAndControlBytes) {
    EXPECT_EQ(quoteText("a\"b\\c\n\x01\xC3"), "\"a\\\"b\\\\c\\n\\x01\\xC3\"");
    EXPECT_EQ(escapeBytes("TP 'text=CAM 3'"), "TP 'text=CAM 3'");
    EXPECT_EQ(escapeControl("send \"a\\nb\"\t\x7F"), "send \"a\\nb\"\\t\\x7F");
}

TEST(Quoting, ValidUtf8StaysInvalidBytesAndControlsAreEscaped) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"caf\xC3\xA9", "caf\xC3\xA9"},                // é
        {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},          // euro sign
        {"\xF0\x9F\x8E\xA5", "\xF0\x9F\x8E\xA5"},      // four bytes
        {"caf\xE9", "caf\\xE9"},                      // Latin-1 é
        {"\xC3", "\\xC3"},                            // cut short
        {"\xC0\xAF", "\\xC0\\xAF"},                    // overlong '/'
        {"\xED\xA0\x80", "\\xED\\xA0\\x80"},            // surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},    // above U+10FFFF
        {"\xC2\x9B[2J", "\\xC2\\x9B[2J"},              // C1 control (CSI)
        {"\x1B[2J", "\\x1B[2J"},
        {"RTL \xE2\x80\xAE live", "RTL \\xE2\\x80\\xAE live"},  // right-to-left override
        {"\xE2\x81\xA7x\xE2\x81\xA9", "\\xE2\\x81\\xA7x\\xE2\\x81\\xA9"},  // isolate, its end
        {"\xE2\x80\x8F \xE2\x80\xAF", "\xE2\x80\x8F \xE2\x80\xAF"},  // a mark, a blank: no controls
    };
    for (const auto& c : cases) EXPECT_EQ(escapeBytes(c.text), c.shown) << "input: " << quoteText(c.text);
    EXPECT_EQ(validUtf8("caf\xC3\xA9 caf\xE9"), "caf\xC3\xA9 caf\xEF\xBF\xBD");
    EXPECT_EQ(validUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(textWidth("caf\xC3\xA9"), 4u);
}

TEST(SplitQuotedArguments, TheFreeArgumentTakesQuotesAndBlanks) {
    const struct {
        const char* rest;
        size_t count;
        bool freeFirst;
        std::optional<std::vector<std::string>> args;
    } cases[] = {
        {" 'text=CAM 3' '1' 'LevelMimic'", 3, true, std::vector<std::string>{"text=CAM 3", "1", "LevelMimic"}},
        {" 'statesheet=a' 'b' '1' 'LevelMimic'", 3, true, std::vector<std::string>{"statesheet=a' 'b", "1", "LevelMimic"}},
        {" 'text=It's live' '1' 'LevelMimic'", 3, true, std::vector<std::string>{"text=It's live", "1", "LevelMimic"}},
        {" 'text=' '' '1' 'L'", 3, true, std::vector<std::string>{"text=' '", "1", "L"}},
        {" '1' 'LevelMimic' 'a' 'b'", 3, false, std::vector<std::string>{"1", "LevelMimic", "a' 'b"}},
        {" '1' 'alm' '", 2, false, std::vector<std::string>{"1", "alm' "}},
        {" '1' ''", 2, false, std::vector<std::string>{"1", ""}},
        {" 'text=a' '1'", 3, true, std::nullopt},
        {" 'a' 'b' 'c", 3, true, std::nullopt},
        {" a' 'b' 'c'", 3, true, std::nullopt},
        {"", 2, false, std::nullopt},
    };
    for (const auto& c : cases) {
        std::optional<std::vector<CommandArg>> got = splitQuotedArguments(c.rest, c.count, c.freeFirst);
        ASSERT_EQ(got.has_value(), c.args.has_value()) << "input: " << quoteText(c.rest);
        if (!got) continue;
        std::vector<std::string> texts;
        for (const CommandArg& a : *got) texts.push_back(a.text);
        EXPECT_EQ(texts, *c.args) << "input: " << quoteText(c.rest);
    }
}

}  // namespace
