#include "text.h"

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
    EXPECT_EQ(jsonString("a\"b\\c\n\x01\xC3"), "\"a\\\"b\\\\c\\n\\u0001\\u00C3\"");
    EXPECT_EQ(escapeBytes("TP 'text=CAM 3'"), "TP 'text=CAM 3'");
    EXPECT_EQ(escapeControl("send \"a\\nb\"\t\x7F"), "send \"a\\nb\"\\t\\x7F");
}

}  // namespace
