// Tests for the string library: vesk_string, vesk_stringlist and
// vesk_stringlistIterator, including the inline/heap boundary and the failed
// state after an allocation is refused.

#include "vesk_string.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "vesk_platform.h"

namespace {

// A text of `n` characters that differ from their neighbours, so that a
// shifted or truncated copy shows.
std::string Pattern(size_t n, char first = 'a') {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>(first + i % 26);
    return text;
}

std::vector<std::string> Items(vesk_stringlist& list) {
    std::vector<std::string> items;
    for (vesk_stringlistIterator it = list.begin(); it != list.end(); ++it) items.push_back(Str(*it));
    return items;
}

// A failed text whose failure came from a refused allocation.
vesk_string FailedText() {
    AllocGate gate(1);
    vesk_string text(Pattern(vesk_string::kInlineCapacity + 1).c_str());
    return text;
}

const size_t kInline = vesk_string::kInlineCapacity;

// ---- vesk_string construction, length and text view ----

TEST(VeskString, DefaultIsEmptyAndGood) {
    vesk_string text;
    EXPECT_EQ(text.length(), 0u);
    ASSERT_NE(text.c_str(), nullptr);
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_TRUE(text.ok());
}

TEST(VeskString, FromTextCopiesAtEverySize) {
    for (size_t n : {size_t{0}, size_t{1}, kInline - 1, kInline, kInline + 1, kInline * 2, size_t{5000}}) {
        std::string source = Pattern(n);
        vesk_string text(source.c_str());
        EXPECT_EQ(text.length(), n) << "input: " << Printable(source);
        EXPECT_EQ(Str(text), source) << "input: " << Printable(source);
        const char* view = text;
        EXPECT_EQ(std::string(view), source) << "input: " << Printable(source);
        EXPECT_EQ(view[n], '\0') << "input: " << Printable(source);
        EXPECT_NE(view, source.c_str()) << "input: " << Printable(source);
        EXPECT_TRUE(text.ok()) << "input: " << Printable(source);
    }
}

TEST(VeskString, FromTextKeepsHighBytes) {
    const char source[] = "\x80\xff caf\xe9";
    vesk_string text(source);
    EXPECT_EQ(Str(text), std::string(source)) << "input: " << Printable(source);
}

TEST(VeskString, NullTextReadsEmpty) {
    const char* none = nullptr;
    vesk_string constructed(none);
    EXPECT_EQ(constructed.length(), 0u);
    EXPECT_STREQ(constructed.c_str(), "");
    EXPECT_TRUE(constructed.ok());

    vesk_string assigned("was here");
    assigned = none;
    EXPECT_EQ(assigned.length(), 0u);
    EXPECT_STREQ(assigned.c_str(), "");
    EXPECT_TRUE(assigned.ok());

    vesk_string appended("x");
    appended += none;
    EXPECT_EQ(Str(appended), "x");

    EXPECT_EQ(Str(vesk_string("a") + none), "a");
    EXPECT_EQ(Str(none + vesk_string("b")), "b");
    EXPECT_TRUE(vesk_string() == none);
    EXPECT_FALSE(vesk_string("a") == none);
}

TEST(VeskString, TextsUpToInlineCapacityAllocateNothing) {
    for (size_t n : {size_t{0}, size_t{1}, kInline}) {
        std::string source = Pattern(n);
        AllocGate gate;
        {
            vesk_string text(source.c_str());
            vesk_string copy(text);
            vesk_string assigned;
            assigned = text;
            vesk_string joined = vesk_string("") + text;
        }
        EXPECT_EQ(gate.calls, 0) << "input: " << Printable(source);
    }
}

TEST(VeskString, TextBeyondInlineCapacityUsesTheHeap) {
    std::string source = Pattern(kInline + 1);
    AllocGate gate;
    vesk_string text(source.c_str());
    EXPECT_GE(gate.calls, 1) << "input: " << Printable(source);
    EXPECT_EQ(Str(text), source);
}

TEST(VeskString, CopyIsIndependent) {
    for (size_t n : {size_t{3}, kInline, kInline + 50}) {
        std::string source = Pattern(n);
        vesk_string original(source.c_str());
        vesk_string copy(original);
        EXPECT_NE(copy.c_str(), original.c_str()) << "input: " << Printable(source);
        original += "tail";
        original = "changed";
        EXPECT_EQ(Str(copy), source) << "input: " << Printable(source);

        vesk_string assigned;
        assigned = copy;
        copy = "";
        EXPECT_EQ(Str(assigned), source) << "input: " << Printable(source);
    }
}

TEST(VeskString, ValueLivesPastTheSourceText) {
    std::string source = Pattern(kInline + 50);
    vesk_string text(source.c_str());
    source.assign(source.size(), '#');
    EXPECT_EQ(Str(text), Pattern(kInline + 50));
}

// ---- From a number ----

TEST(VeskString, FromNumberPlainDecimal) {
    struct Case {
        int value;
        const char* expected;
    };
    const Case cases[] = {
        {4, "4"},         {0, "0"},        {-12, "-12"},           {10000, "10000"},
        {2147483647, "2147483647"},        {INT_MIN, "-2147483648"}, {-1, "-1"},
    };
    for (const Case& c : cases) {
        vesk_string text(c.value, 0, 0, 10);
        EXPECT_EQ(Str(text), c.expected) << "input: " << c.value;
        EXPECT_EQ(text.length(), std::string(c.expected).size()) << "input: " << c.value;
    }
}

TEST(VeskString, FromNumberFillWidthAndBase) {
    struct Case {
        int value;
        char fill;
        int width;
        int base;
        const char* expected;
    };
    const Case cases[] = {
        {42, '0', 5, 10, "00042"}, {42, '*', -5, 10, "42***"}, {42, 0, 4, 10, "  42"},
        {42, 0, -4, 10, "42  "},   {12345, '0', 3, 10, "12345"}, {255, 0, 0, 16, "ff"},
        {5, 0, 0, 2, "101"},       {35, 0, 0, 36, "z"},        {-255, 0, 0, 16, "-ff"},
        {42, 0, 0, 1, "42"},       {42, 0, 0, 37, "42"},       {42, 0, 0, 0, "42"},
        {42, 0, 0, -16, "42"},
    };
    for (const Case& c : cases) {
        vesk_string text(c.value, c.fill, c.width, c.base);
        EXPECT_EQ(Str(text), c.expected) << "input: value " << c.value << " fill " << int(c.fill) << " width "
                                         << c.width << " base " << c.base;
    }
}

// ---- Assignment and appending ----

TEST(VeskString, AssignReplacesAcrossTheBoundary) {
    const std::vector<size_t> sizes = {0, 5, kInline, kInline + 1, kInline * 3, 7};
    for (size_t from : sizes) {
        for (size_t to : sizes) {
            vesk_string text(Pattern(from, 'a').c_str());
            std::string wanted = Pattern(to, 'k');
            text = vesk_string(wanted.c_str());
            EXPECT_EQ(Str(text), wanted) << "input: " << from << " chars replaced by " << to;
            text = Pattern(from, 'c').c_str();
            EXPECT_EQ(Str(text), Pattern(from, 'c')) << "input: " << to << " chars replaced by " << from;
        }
    }
}

TEST(VeskString, SelfAssignmentKeepsText) {
    for (size_t n : {size_t{0}, size_t{6}, kInline, kInline + 100}) {
        std::string source = Pattern(n);
        vesk_string text(source.c_str());
        vesk_string& same = text;
        text = same;
        EXPECT_EQ(Str(text), source) << "input: " << Printable(source);
        text = text.c_str();
        EXPECT_EQ(Str(text), source) << "input: " << Printable(source);
        EXPECT_TRUE(text.ok()) << "input: " << Printable(source);
    }
}

TEST(VeskString, AssignFromPointerIntoOwnText) {
    for (size_t n : {size_t{10}, kInline, kInline + 100}) {
        std::string source = Pattern(n);
        vesk_string text(source.c_str());
        text = text.c_str() + 3;
        EXPECT_EQ(Str(text), source.substr(3)) << "input: " << Printable(source);
    }
}

TEST(VeskString, AppendBuildsLongText) {
    vesk_string text;
    std::string expected;
    for (size_t i = 0; i < kInline * 3 + 10; ++i) {
        std::string piece(1, static_cast<char>('a' + i % 26));
        if (i % 3 == 0) {
            text += vesk_string(piece.c_str());
        } else {
            text += piece.c_str();
        }
        expected += piece;
        ASSERT_EQ(Str(text), expected) << "input: " << i + 1 << " appends";
    }
    EXPECT_TRUE(text.ok());
}

TEST(VeskString, AppendEmptyChangesNothing) {
    vesk_string text("abc");
    text += vesk_string();
    text += "";
    EXPECT_EQ(Str(text), "abc");
}

TEST(VeskString, AppendToItself) {
    for (size_t n : {size_t{0}, size_t{2}, kInline / 2, kInline / 2 + 10, kInline, kInline + 50}) {
        std::string source = Pattern(n);
        vesk_string text(source.c_str());
        const vesk_string& same = text;
        text += same;
        EXPECT_EQ(Str(text), source + source) << "input: " << Printable(source);

        vesk_string viaPointer(source.c_str());
        viaPointer += viaPointer.c_str();
        EXPECT_EQ(Str(viaPointer), source + source) << "input: " << Printable(source);

        if (n > 1) {
            vesk_string tail(source.c_str());
            tail += tail.c_str() + 1;
            EXPECT_EQ(Str(tail), source + source.substr(1)) << "input: " << Printable(source);
        }
    }
}

TEST(VeskString, PlusJoinsLeftThenRight) {
    const std::vector<std::string> texts = {"", "ab", Pattern(kInline), Pattern(kInline + 35, 'f')};
    for (const std::string& left : texts) {
        for (const std::string& right : texts) {
            vesk_string l(left.c_str());
            vesk_string r(right.c_str());
            std::string shown = "input: " + Printable(left) + " + " + Printable(right);
            EXPECT_EQ(Str(l + right.c_str()), left + right) << shown;
            EXPECT_EQ(Str(left.c_str() + r), left + right) << shown;
            EXPECT_EQ(Str(l + r), left + right) << shown;
            EXPECT_EQ(Str(l), left) << shown;
            EXPECT_EQ(Str(r), right) << shown;
        }
    }
}

TEST(VeskString, PlusWithItself) {
    vesk_string text(Pattern(kInline / 2 + 20).c_str());
    EXPECT_EQ(Str(text + text), Pattern(kInline / 2 + 20) + Pattern(kInline / 2 + 20));
}

// ---- Equality ----

TEST(VeskString, EqualityIsExactAndCaseSensitive) {
    struct Case {
        const char* left;
        const char* right;
        bool equal;
    };
    const Case cases[] = {
        {"abc", "abc", true}, {"", "", true},       {"abc", "ABC", false}, {"Value", "value", false},
        {"ab", "abc", false}, {"abc", "ab", false}, {"abc ", "abc", false}, {"", "a", false},
        {"\xe9", "\xc9", false},
    };
    for (const Case& c : cases) {
        vesk_string left(c.left);
        EXPECT_EQ(left == c.right, c.equal) << "input: " << Printable(c.left) << " == " << Printable(c.right);
        EXPECT_EQ(left != c.right, !c.equal) << "input: " << Printable(c.left) << " != " << Printable(c.right);
    }
    std::string longText = Pattern(kInline + 5);
    EXPECT_TRUE(vesk_string(longText.c_str()) == longText.c_str());
    std::string other = longText;
    other[kInline + 4] = '#';
    EXPECT_FALSE(vesk_string(longText.c_str()) == other.c_str());
}

// ---- toInt ----

TEST(VeskString, ToIntReadsLeadingNumber) {
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"42", 42},
        {"0", 0},
        {"007", 7},
        {"-5", -5},
        {"+5", 5},
        {"  42", 42},
        {" \t\n\v\f\r7", 7},
        {"42 word", 42},
        {"12abc", 12},
        {"1e3", 1},
        {"0x10", 0},
        {"", 0},
        {"abc", 0},
        {"-", 0},
        {"+", 0},
        {"- 5", 0},
        {"--5", 0},
        {"+-5", 0},
        {"x42", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"4294967338", INT_MAX},
        {"-4294967338", INT_MIN},
        {"99999999999999999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"00000000000000000000012", 12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vesk_string(c.text).toInt(), c.value) << "input: " << Printable(c.text);
        EXPECT_EQ(vesk_text_to_int(c.text), c.value) << "input: " << Printable(c.text);
    }
    EXPECT_EQ(vesk_text_to_int(nullptr), 0);
}

// ---- arg ----

TEST(VeskString, ArgFillsLowestMarker) {
    struct Case {
        const char* text;
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"%1 %2", "a", "a %2"},
        {"%2 %1", "x", "%2 x"},
        {"%3 and %5", "x", "x and %5"},
        {"%1%1", "y", "yy"},
        {"no markers", "x", "no markers"},
        {"", "x", ""},
        {"%", "x", "%"},
        {"100%", "x", "100%"},
        {"%0 %1", "x", "%0 x"},
        {"%%1", "x", "%x"},
        {"%10", "x", "x0"},
        {"%9", "nine", "nine"},
        {"%1", "", ""},
        {"a%1b", "", "ab"},
        {"XI '%1' '%2'", "1", "XI '1' '%2'"},
    };
    for (const Case& c : cases) {
        vesk_string text(c.text);
        vesk_string filled = text.arg(vesk_string(c.value));
        EXPECT_EQ(Str(filled), c.expected) << "input: " << Printable(c.text) << " arg " << Printable(c.value);
        EXPECT_EQ(Str(text), c.text) << "input: " << Printable(c.text) << " changed by arg";
    }
}

TEST(VeskString, ArgCallsFillMarkersInTurn) {
    vesk_string format("%1-%2-%3-%4-%5-%6-%7-%8-%9");
    vesk_string filled = format;
    const char* values[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};
    for (const char* value : values) filled = filled.arg(vesk_string(value));
    EXPECT_EQ(Str(filled), "a-b-c-d-e-f-g-h-i");
    EXPECT_EQ(Str(filled.arg(vesk_string("z"))), "a-b-c-d-e-f-g-h-i");

    vesk_string twice = vesk_string("XI '%1' '%2'").arg(vesk_string("1")).arg(vesk_string("alm_"));
    EXPECT_EQ(Str(twice), "XI '1' 'alm_'");
}

TEST(VeskString, MarkerInValueIsSeenByNextCall) {
    vesk_string once = vesk_string("%1 %2").arg(vesk_string("%1"));
    EXPECT_EQ(Str(once), "%1 %2");
    EXPECT_EQ(Str(once.arg(vesk_string("z"))), "z %2");

    vesk_string literal = vesk_string("[%1]").arg(vesk_string("50%"));
    EXPECT_EQ(Str(literal), "[50%]");
}

TEST(VeskString, ArgAcrossTheBoundary) {
    std::string head = Pattern(kInline - 2);
    vesk_string text((head + "%1").c_str());
    std::string value = Pattern(kInline + 25, 'm');
    EXPECT_EQ(Str(text.arg(vesk_string(value.c_str()))), head + value);
}

// ---- split ----

TEST(VeskString, SplitAtFirstSeparator) {
    struct Case {
        const char* text;
        const char* first;
        const char* second;
        int position;
    };
    const Case cases[] = {
        {"value=3", "value", "3", 5},
        {"a=b=c", "a", "b=c", 1},
        {"=x", "", "x", 0},
        {"x=", "x", "", 1},
        {"=", "", "", 0},
        {"abc", "abc", "", -1},
        {"", "", "", -1},
        {" a = b ", " a ", " b ", 3},
    };
    for (const Case& c : cases) {
        vesk_string text(c.text);
        vesk_string first("old first");
        vesk_string second("old second");
        int position = text.split('=', first, second);
        EXPECT_EQ(Str(first), c.first) << "input: " << Printable(c.text);
        EXPECT_EQ(Str(second), c.second) << "input: " << Printable(c.text);
        EXPECT_EQ(position, c.position) << "input: " << Printable(c.text);
        EXPECT_EQ(Str(text), c.text) << "input: " << Printable(c.text);
    }
}

TEST(VeskString, SplitIntoItself) {
    vesk_string text("name=value");
    vesk_string other;
    text.split('=', text, other);
    EXPECT_EQ(Str(text), "name");
    EXPECT_EQ(Str(other), "value");

    vesk_string again("name=value");
    vesk_string before;
    again.split('=', before, again);
    EXPECT_EQ(Str(before), "name");
    EXPECT_EQ(Str(again), "value");
}

TEST(VeskString, SplitLongText) {
    std::string left = Pattern(kInline + 5);
    std::string right = Pattern(kInline + 25, 'e');
    vesk_string text((left + "=" + right).c_str());
    vesk_string first;
    vesk_string second;
    text.split('=', first, second);
    EXPECT_EQ(Str(first), left);
    EXPECT_EQ(Str(second), right);
}

// ---- Failed state ----

TEST(VeskStringFailure, RefusedAllocationGivesEmptyFailedText) {
    std::string source = Pattern(kInline + 1);
    AllocGate gate(1);
    vesk_string text(source.c_str());
    EXPECT_FALSE(text.ok()) << "input: " << Printable(source);
    EXPECT_EQ(text.length(), 0u);
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(text.toInt(), 0);
}

TEST(VeskStringFailure, RefusedGrowthFailsTheText) {
    vesk_string text(Pattern(kInline).c_str());
    AllocGate gate(1);
    text += "x";
    EXPECT_FALSE(text.ok());
    EXPECT_EQ(text.length(), 0u);
    EXPECT_STREQ(text.c_str(), "");
}

TEST(VeskStringFailure, RefusedAssignmentFailsTheText) {
    vesk_string text("short");
    std::string source = Pattern(kInline + 10);
    AllocGate gate(1);
    text = source.c_str();
    EXPECT_FALSE(text.ok());
    EXPECT_EQ(text.length(), 0u);
}

TEST(VeskStringFailure, InlineTextsNeedNoMemory) {
    AllocGate gate(1);
    vesk_string text(Pattern(kInline).c_str());
    vesk_string number(INT_MIN, 0, 0, 10);
    EXPECT_TRUE(text.ok());
    EXPECT_TRUE(number.ok());
    EXPECT_EQ(Str(text), Pattern(kInline));
}

TEST(VeskStringFailure, FailureIsStickyThroughAppend) {
    vesk_string text = FailedText();
    ASSERT_FALSE(text.ok());
    text += "abc";
    EXPECT_FALSE(text.ok());
    EXPECT_EQ(text.length(), 0u);
    text += vesk_string("def");
    EXPECT_FALSE(text.ok());
    EXPECT_EQ(text.length(), 0u);
}

TEST(VeskStringFailure, AppendingFailedTextFails) {
    vesk_string text("abc");
    text += FailedText();
    EXPECT_FALSE(text.ok());
    EXPECT_EQ(text.length(), 0u);
}

TEST(VeskStringFailure, FailureIsStickyThroughPlusAndCopies) {
    vesk_string failed = FailedText();
    vesk_string good("abc");
    const vesk_string results[] = {failed + "x", "x" + failed, failed + good, good + failed, vesk_string(failed)};
    for (size_t i = 0; i < sizeof results / sizeof results[0]; ++i) {
        EXPECT_FALSE(results[i].ok()) << "input: result " << i;
        EXPECT_EQ(results[i].length(), 0u) << "input: result " << i;
    }
    vesk_string assigned("x");
    assigned = failed;
    EXPECT_FALSE(assigned.ok());
    EXPECT_EQ(assigned.length(), 0u);
}

TEST(VeskStringFailure, ArgAndSplitKeepFailure) {
    vesk_string failed = FailedText();
    vesk_string format("%1");
    EXPECT_FALSE(format.arg(failed).ok());
    EXPECT_FALSE(failed.arg(vesk_string("x")).ok());

    vesk_string first("f");
    vesk_string second("s");
    failed.split('=', first, second);
    EXPECT_FALSE(first.ok());
    EXPECT_EQ(first.length(), 0u);
    EXPECT_EQ(second.length(), 0u);
}

TEST(VeskStringFailure, AssigningGoodValueClearsFailure) {
    vesk_string text = FailedText();
    text = "back";
    EXPECT_TRUE(text.ok());
    EXPECT_EQ(Str(text), "back");

    vesk_string other = FailedText();
    other = vesk_string(Pattern(kInline + 10).c_str());
    EXPECT_TRUE(other.ok());
    EXPECT_EQ(Str(other), Pattern(kInline + 10));
    other += "!";
    EXPECT_EQ(Str(other), Pattern(kInline + 10) + "!");
}

TEST(VeskStringFailure, FailsAtEveryAllocationOfAGrowingText) {
    // Refusing the n-th allocation of a growing text at any point leaves it
    // failed and empty, never half-built.
    const size_t target = kInline * 4;
    int needed = 0;
    {
        AllocGate counter;
        vesk_string text;
        while (text.length() < target) text += "0123456789";
        ASSERT_TRUE(text.ok());
        needed = counter.calls;
    }
    ASSERT_GE(needed, 1);
    for (int failAt = 1; failAt <= needed; ++failAt) {
        AllocGate gate(failAt);
        vesk_string text;
        for (size_t i = 0; i < target / 10 + 1; ++i) text += "0123456789";
        EXPECT_FALSE(text.ok()) << "input: allocation " << failAt << " of " << needed << " refused";
        EXPECT_EQ(text.length(), 0u) << "input: allocation " << failAt << " of " << needed << " refused";
    }
}

// ---- vesk_stringlist ----

TEST(VeskStringList, DefaultIsEmpty) {
    vesk_stringlist list;
    EXPECT_EQ(list.count(), 0u);
    EXPECT_FALSE(list.begin() != list.end());
    EXPECT_TRUE(list.ok());
    EXPECT_EQ(Str(list.toString('\n')), "");
}

TEST(VeskStringList, FromTextSplitsAtEverySeparator) {
    struct Case {
        const char* text;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"alm_1,alm_2", {"alm_1", "alm_2"}},
        {"a", {"a"}},
        {"", {}},
        {"a,", {"a", ""}},
        {",a", {"", "a"}},
        {",", {"", ""}},
        {"a,,b", {"a", "", "b"}},
        {"a,b,c,d,e", {"a", "b", "c", "d", "e"}},
        {" a , b ", {" a ", " b "}},
        {"a;b", {"a;b"}},
    };
    for (const Case& c : cases) {
        vesk_stringlist list(vesk_string(c.text), ',');
        std::vector<std::string> items = Items(list);
        EXPECT_EQ(items, c.items) << "input: " << Printable(c.text) << " gave " << Joined(items);
        EXPECT_EQ(list.count(), c.items.size()) << "input: " << Printable(c.text);
        EXPECT_TRUE(list.ok()) << "input: " << Printable(c.text);
    }
}

TEST(VeskStringList, FromLongText) {
    std::string text;
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i) {
        std::string item = Pattern(static_cast<size_t>(i * 37) % (kInline + 60), static_cast<char>('a' + i % 20));
        expected.push_back(item);
        text += (i ? "," : "") + item;
    }
    vesk_stringlist list(vesk_string(text.c_str()), ',');
    EXPECT_EQ(Items(list), expected);
}

TEST(VeskStringList, AppendKeepsOrderPastInlineItems) {
    vesk_stringlist list;
    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i) {
        std::string item = i % 4 == 3 ? Pattern(kInline + 10, 'b') : "item" + std::to_string(i);
        vesk_stringlist& result = list << vesk_string(item.c_str());
        EXPECT_EQ(&result, &list);
        expected.push_back(item);
        ASSERT_EQ(Items(list), expected) << "input: " << i + 1 << " items";
    }
    EXPECT_EQ(list.count(), 20u);
    EXPECT_EQ(Str(list.at(19)), expected[19]);
}

TEST(VeskStringList, AppendCopiesTheItem) {
    vesk_stringlist list;
    vesk_string item("first");
    list << item;
    item = "changed";
    EXPECT_EQ(Items(list), std::vector<std::string>{"first"});
}

TEST(VeskStringList, ShortListsAllocateNothing) {
    AllocGate gate;
    {
        vesk_stringlist list;
        for (unsigned i = 0; i < vesk_stringlist::kInlineItems; ++i) list << vesk_string("x");
        vesk_stringlist copy(list);
        vesk_stringlist parsed(vesk_string("a,b"), ',');
    }
    EXPECT_EQ(gate.calls, 0);
}

// Appends item `pick` of a list of `size` long texts to that list and exits 0
// when the result is right; run in a child, since reading moved storage may
// crash.
void AppendOwnItemAndExit(unsigned size, unsigned pick) {
    vesk_stringlist list;
    std::vector<std::string> wanted;
    for (unsigned i = 0; i < size; ++i) {
        wanted.push_back(Pattern(kInline + 25, static_cast<char>('a' + i)));
        list << vesk_string(wanted.back().c_str());
    }
    wanted.push_back(wanted[pick]);
    list << list.at(pick);
    std::vector<std::string> items = Items(list);
    if (items != wanted) {
        fprintf(stderr, "gave %s\n", Joined(items).c_str());
        exit(1);
    }
    exit(0);
}

TEST(VeskStringList, AppendOwnItemWhileGrowing) {
    // The item is read after the storage it lives in has moved to make room.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (unsigned size : {2u, 4u, 8u}) {
        for (unsigned pick : {0u, size - 1}) {
            EXPECT_EXIT(AppendOwnItemAndExit(size, pick), ::testing::ExitedWithCode(0), "")
                << "input: list of " << size << " long texts appends its own item " << pick;
        }
    }
}

TEST(VeskStringList, CopyIsIndependent) {
    for (int size : {0, 1, 2, 3, 9}) {
        vesk_stringlist list;
        std::vector<std::string> expected;
        for (int i = 0; i < size; ++i) {
            expected.push_back(Pattern(20 + kInline / 2 * static_cast<size_t>(i)));
            list << vesk_string(expected.back().c_str());
        }
        vesk_stringlist copy(list);
        vesk_stringlist assigned;
        assigned << vesk_string("old");
        assigned = list;
        list << vesk_string("more");
        if (size > 0) *list.begin() = "changed";
        EXPECT_EQ(Items(copy), expected) << "input: list of " << size;
        EXPECT_EQ(Items(assigned), expected) << "input: list of " << size;
    }
}

TEST(VeskStringList, AssignReplacesAcrossTheBoundary) {
    for (int from : {0, 2, 7}) {
        for (int to : {0, 1, 3, 12}) {
            vesk_stringlist list;
            for (int i = 0; i < from; ++i) list << vesk_string("old");
            vesk_stringlist other;
            std::vector<std::string> expected;
            for (int i = 0; i < to; ++i) {
                expected.push_back("new" + std::to_string(i));
                other << vesk_string(expected.back().c_str());
            }
            list = other;
            EXPECT_EQ(Items(list), expected) << "input: " << from << " items replaced by " << to;
        }
    }
}

TEST(VeskStringList, SelfAssignmentKeepsItems) {
    for (int size : {0, 2, 5}) {
        vesk_stringlist list;
        std::vector<std::string> expected;
        for (int i = 0; i < size; ++i) {
            expected.push_back("v" + std::to_string(i));
            list << vesk_string(expected.back().c_str());
        }
        vesk_stringlist& same = list;
        list = same;
        EXPECT_EQ(Items(list), expected) << "input: list of " << size;
    }
}

TEST(VeskStringList, ToStringJoinsWithSeparator) {
    struct Case {
        std::vector<std::string> items;
        char separator;
        std::string expected;
    };
    const Case cases[] = {
        {{"CAM 3"}, '\n', "CAM 3"},
        {{""}, '\n', ""},
        {{}, '\n', ""},
        {{"a", "b", "c"}, '\n', "a\nb\nc"},
        {{"a", "", "b"}, ',', "a,,b"},
        {{Pattern(100), Pattern(100, 'c')}, ';', Pattern(100) + ";" + Pattern(100, 'c')},
    };
    for (const Case& c : cases) {
        vesk_stringlist list;
        for (const std::string& item : c.items) list << vesk_string(item.c_str());
        vesk_string joined = list.toString(c.separator);
        EXPECT_EQ(Str(joined), c.expected) << "input: " << Joined(c.items);
        EXPECT_TRUE(joined.ok()) << "input: " << Joined(c.items);
        EXPECT_EQ(Items(list), c.items) << "input: " << Joined(c.items) << " changed by toString";
    }
}

TEST(VeskStringList, SplitThenJoinGivesText) {
    for (const char* text : {"a,b", "x,,y,", "one", ",", "p,q,r,s,t,u"}) {
        vesk_stringlist list(vesk_string(text), ',');
        EXPECT_EQ(Str(list.toString(',')), text) << "input: " << Printable(text);
    }
}

// ---- vesk_stringlistIterator ----

TEST(VeskStringListIterator, WalksEveryItemOnce) {
    vesk_stringlist list(vesk_string("a,b,c"), ',');
    vesk_stringlistIterator it = list.begin();
    ASSERT_TRUE(it != list.end());
    EXPECT_EQ(Str(*it), "a");
    vesk_stringlistIterator next = ++it;
    EXPECT_FALSE(next != it);
    EXPECT_EQ(Str(*it), "b");
    EXPECT_EQ(Str(*next), "b");
    ++it;
    EXPECT_EQ(Str(*it), "c");
    EXPECT_TRUE(it != list.end());
    ++it;
    EXPECT_FALSE(it != list.end());
}

TEST(VeskStringListIterator, DereferenceGivesTheElement) {
    vesk_stringlist list(vesk_string("a,b"), ',');
    *list.begin() = "changed";
    EXPECT_EQ(Str(list.at(0)), "changed");
    EXPECT_EQ(&*list.begin(), &list.at(0));
}

TEST(VeskStringListIterator, PositionsOfDifferentListsDiffer) {
    vesk_stringlist first(vesk_string("a"), ',');
    vesk_stringlist second(vesk_string("a"), ',');
    EXPECT_TRUE(first.begin() != second.begin());
    EXPECT_TRUE(first.begin() != first.end());
    EXPECT_FALSE(first.begin() != first.begin());
}

// ---- Failed lists ----

TEST(VeskStringListFailure, FailedTextGivesFailedEmptyList) {
    vesk_stringlist list(FailedText(), ',');
    EXPECT_FALSE(list.ok());
    EXPECT_EQ(list.count(), 0u);
    EXPECT_FALSE(list.toString('\n').ok());
}

TEST(VeskStringListFailure, RefusedGrowthFailsTheList) {
    vesk_stringlist list;
    list << vesk_string("a") << vesk_string("b");
    {
        AllocGate gate(1);
        list << vesk_string("c");
    }
    EXPECT_FALSE(list.ok());
    EXPECT_EQ(list.count(), 2u);
    EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b"}));
    vesk_string joined = list.toString(',');
    EXPECT_FALSE(joined.ok());
    EXPECT_EQ(joined.length(), 0u);
}

TEST(VeskStringListFailure, RefusedSplitFailsTheList) {
    AllocGate gate(1);
    vesk_stringlist list(vesk_string("a,b,c,d"), ',');
    EXPECT_FALSE(list.ok());
}

TEST(VeskStringListFailure, AppendingFailedTextFailsTheList) {
    vesk_stringlist list;
    list << FailedText();
    EXPECT_FALSE(list.ok());
    EXPECT_FALSE(list.toString('\n').ok());
}

TEST(VeskStringListFailure, CopyKeepsFailure) {
    vesk_stringlist list(FailedText(), ',');
    vesk_stringlist copy(list);
    EXPECT_FALSE(copy.ok());
    vesk_stringlist assigned;
    assigned = list;
    EXPECT_FALSE(assigned.ok());
}

}  // namespace
