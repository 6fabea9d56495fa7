// Tests for the command-path parser and the three notification wrappers over
// hand-built host records.

#include "vesk_parsed_command.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "vesk_platform.h"

namespace {

struct Expected {
    std::string command;
    std::vector<std::string> subs;
    std::string value;
    bool hasValue;
};

std::vector<std::string> Subs(const ParsedCommand& parsed) {
    std::vector<std::string> subs;
    for (int i = 0; i < parsed.count && i < ParsedCommand::kMaxSubs; ++i) subs.push_back(parsed.subs[i]);
    return subs;
}

// Checks the parse of `text` and the pointer invariants: every piece lies in
// the record's own copy, every unused pointer is the one shared empty text.
void ExpectParse(const std::string& text, const Expected& expected) {
    ParsedCommand parsed(text.c_str());
    const std::string input = "input: " + Printable(text);
    ASSERT_NE(parsed.command, nullptr) << input;
    ASSERT_NE(parsed.value, nullptr) << input;
    EXPECT_EQ(std::string(parsed.command), expected.command) << input;
    EXPECT_EQ(parsed.count, static_cast<int32_t>(expected.subs.size())) << input;
    EXPECT_EQ(Subs(parsed), expected.subs) << input << " gave " << Joined(Subs(parsed));
    EXPECT_EQ(std::string(parsed.value), expected.value) << input;
    EXPECT_EQ(parsed.hasValue, expected.hasValue) << input;

    ASSERT_NE(parsed.buffer, nullptr) << input;
    EXPECT_NE(static_cast<const void*>(parsed.buffer), static_cast<const void*>(text.c_str())) << input;
    const char* begin = parsed.buffer;
    const char* end = parsed.buffer + text.size();
    auto inside = [&](const char* p) { return p >= begin && p <= end; };
    EXPECT_EQ(parsed.command, parsed.buffer) << input << ": command is not the start of the copy";
    for (int i = 0; i < parsed.count; ++i) EXPECT_TRUE(inside(parsed.subs[i])) << input << " sub " << i;

    // Unused entries all point at one shared empty text, outside the copy.
    const char* shared = nullptr;
    auto expectShared = [&](const char* p, const std::string& what) {
        ASSERT_NE(p, nullptr) << input << " " << what;
        EXPECT_EQ(*p, '\0') << input << " " << what;
        EXPECT_FALSE(inside(p)) << input << " " << what << " points into the copy";
        if (!shared) shared = p;
        EXPECT_EQ(p, shared) << input << " " << what << " is not the shared empty text";
    };
    for (int i = parsed.count; i < ParsedCommand::kMaxSubs; ++i) expectShared(parsed.subs[i], "sub " + std::to_string(i));
    if (parsed.hasValue) {
        EXPECT_TRUE(inside(parsed.value)) << input << " value";
    } else {
        expectShared(parsed.value, "value");
    }
}

// "c.s0.s1...s{n-1}" followed by `tail`.
std::string WithSubs(int n, const std::string& tail) {
    std::string text = "c";
    for (int i = 0; i < n; ++i) text += ".s" + std::to_string(i);
    return text + tail;
}

std::vector<std::string> SubNames(int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i) names.push_back("s" + std::to_string(i));
    return names;
}

// ---- Parsing ----

TEST(ParsedCommand, SplitsCommandSubsAndValue) {
    struct Case {
        std::string text;
        Expected expected;
    };
    const Case cases[] = {
        {"driverid=12", {"driverid", {}, "12", true}},
        {"a.b.c", {"a", {"b", "c"}, "", false}},
        {"a.b=c.d", {"a", {"b"}, "c.d", true}},
        {"a=b=c", {"a", {}, "b=c", true}},
        {"=x", {"", {}, "x", true}},
        {".x", {"", {"x"}, "", false}},
        {"a..b", {"a", {"", "b"}, "", false}},
        {"a.", {"a", {""}, "", false}},
        {"a=", {"a", {}, "", true}},
        {"a", {"a", {}, "", false}},
        {"=", {"", {}, "", true}},
        {".", {"", {""}, "", false}},
        {"..", {"", {"", ""}, "", false}},
        {".=", {"", {""}, "", true}},
        {"a.=v", {"a", {""}, "v", true}},
        {"a.b.=", {"a", {"b", ""}, "", true}},
        {" a . b = c ", {" a ", {" b "}, " c ", true}},
        {"text=CAM 3", {"text", {}, "CAM 3", true}},
        {"q='x.y=z'", {"q", {}, "'x.y=z'", true}},
        {"\xe9.\xff=\x80", {"\xe9", {"\xff"}, "\x80", true}},
        {"_events", {"_events", {}, "", false}},
    };
    for (const Case& c : cases) ExpectParse(c.text, c.expected);
}

TEST(ParsedCommand, ValueTakenUpToThirtyOneSubs) {
    ExpectParse(WithSubs(31, "=v"), {"c", SubNames(31), "v", true});
    ExpectParse(WithSubs(31, ".last=v"), [] {
        Expected e{"c", SubNames(31), "", false};
        e.subs.push_back("last=v");
        return e;
    }());
}

TEST(ParsedCommand, ThirtySecondSubRunsToTheEnd) {
    std::vector<std::string> subs = SubNames(32);
    subs[31] = "s31=v";
    ExpectParse(WithSubs(32, "=v"), {"c", subs, "", false});

    subs[31] = "s31.x..y=v=w";
    ExpectParse(WithSubs(32, ".x..y=v=w"), {"c", subs, "", false});

    ExpectParse(WithSubs(32, ""), {"c", SubNames(32), "", false});

    subs[31] = "s31.";
    ExpectParse(WithSubs(32, "."), {"c", subs, "", false});
}

TEST(ParsedCommand, CallersTextIsNotChangedNorKept) {
    char text[] = "a.b=c";
    ParsedCommand parsed(text);
    EXPECT_STREQ(text, "a.b=c");
    memset(text, 'X', sizeof text - 1);
    EXPECT_STREQ(parsed.command, "a");
    EXPECT_STREQ(parsed.subs[0], "b");
    EXPECT_STREQ(parsed.value, "c");
}

TEST(ParsedCommand, NullAndEmptyTextGiveEmptyRecord) {
    const char* inputs[] = {nullptr, ""};
    for (const char* text : inputs) {
        const std::string input = "input: " + std::string(text ? Printable(text) : "null");
        AllocGate gate;
        {
            ParsedCommand parsed(text);
            EXPECT_EQ(parsed.buffer, nullptr) << input;
            ASSERT_NE(parsed.command, nullptr) << input;
            ASSERT_NE(parsed.value, nullptr) << input;
            EXPECT_STREQ(parsed.command, "") << input;
            EXPECT_STREQ(parsed.value, "") << input;
            EXPECT_EQ(parsed.count, 0) << input;
            EXPECT_FALSE(parsed.hasValue) << input;
            EXPECT_EQ(parsed.command, parsed.value) << input << ": not the shared empty text";
            for (int i = 0; i < ParsedCommand::kMaxSubs; ++i)
                EXPECT_EQ(parsed.subs[i], parsed.command) << input << " sub " << i;
        }
        EXPECT_TRUE(gate.sizes.empty()) << input << ": allocated " << gate.sizes.size() << " times";
    }
}

TEST(ParsedCommand, OneAllocationForTheCopy) {
    for (const std::string& text : {std::string("a"), std::string("driverid=12"), WithSubs(40, "=v")}) {
        AllocGate gate;
        { ParsedCommand parsed(text.c_str()); }
        ASSERT_EQ(gate.sizes.size(), 1u) << "input: " << Printable(text);
        EXPECT_EQ(gate.sizes[0], text.size() + 1) << "input: " << Printable(text);
    }
}

TEST(ParsedCommand, RefusedCopyGivesEmptyRecord) {
    AllocGate gate(1);
    ParsedCommand parsed("a.b=c");
    EXPECT_EQ(parsed.buffer, nullptr);
    EXPECT_STREQ(parsed.command, "");
    EXPECT_STREQ(parsed.value, "");
    EXPECT_EQ(parsed.count, 0);
    EXPECT_FALSE(parsed.hasValue);
    for (int i = 0; i < ParsedCommand::kMaxSubs; ++i) {
        ASSERT_NE(parsed.subs[i], nullptr) << "sub " << i;
        EXPECT_STREQ(parsed.subs[i], "") << "sub " << i;
    }
}

// ---- RevertiveNotify ----

// A host revertive record in raw bytes: words at 0, 4, 8 and 12, text from 16,
// with as much room after it as the host chooses.
class RawRevertive {
public:
    RawRevertive(int32_t device, int32_t reserved, int32_t index, int32_t info, const std::string& text)
        : words_((16 + text.size() + 1 + 64) / 4 + 1, 0) {
        char* bytes = reinterpret_cast<char*>(words_.data());
        memset(bytes, '#', words_.size() * 4);
        const int32_t head[] = {device, reserved, index, info};
        memcpy(bytes, head, sizeof head);
        memcpy(bytes + 16, text.c_str(), text.size() + 1);
    }
    const RevertiveRecord* record() const { return reinterpret_cast<const RevertiveRecord*>(words_.data()); }

private:
    std::vector<int32_t> words_;
};

TEST(RevertiveNotify, ReadsWordsAndTextAtTheirOffsets) {
    struct Case {
        int32_t device, reserved, index, info;
        std::string text;
    };
    const Case cases[] = {
        {5, 77, 12, 3, "Camera 1"},
        {1, -1, 2, 0, ""},
        {-7, 0, -40, -3, "CAM 3"},
        {INT_MAX, INT_MIN, INT_MIN, INT_MAX, "a 'quoted' = text, with dots."},
        {999, 1, 1, 1, std::string(255, 'x')},
        {3, 0, 4, 5, std::string(700, 'y')},
    };
    for (const Case& c : cases) {
        RawRevertive raw(c.device, c.reserved, c.index, c.info, c.text);
        RevertiveNotify event(raw.record());
        const std::string input = "input: device " + std::to_string(c.device) + " index " +
                                  std::to_string(c.index) + " info " + std::to_string(c.info) + " text " +
                                  Printable(c.text.substr(0, 40));
        EXPECT_EQ(event.device(), c.device) << input;
        EXPECT_EQ(event.index(), c.index) << input;
        EXPECT_EQ(event.info(), c.info) << input;
        vesk_string text = event.text();
        EXPECT_EQ(std::string(text.c_str(), text.length()), c.text) << input;
    }
}

TEST(RevertiveNotify, TextIsACopy) {
    RawRevertive raw(5, 0, 12, 3, "CAM 3");
    RevertiveNotify event(raw.record());
    vesk_string first = event.text();
    first = "changed";
    EXPECT_EQ(std::string(event.text().c_str()), "CAM 3");
    EXPECT_STREQ(raw.record()->text, "CAM 3");
}

// ---- ButtonNotify ----

TEST(ButtonNotify, ReadsIdAndParsedCommand) {
    struct Case {
        const char* id;
        const char* commandText;
        const char* command;
        const char* value;
    };
    const Case cases[] = {
        {"ActionAll", "alarm=ack", "alarm", "ack"},
        {"AckAll", "press", "press", ""},
        {"alm_3", "value.x=4=5", "value", "4=5"},
        {"", "", "", ""},
        {"LevelMimic", nullptr, "", ""},
    };
    for (const Case& c : cases) {
        ParsedCommand parsed(c.commandText);
        ButtonRecord record{{1, 2, 3}, c.id, &parsed};
        ButtonNotify event(&record);
        const std::string input = "input: id " + Printable(c.id) + " command text " +
                                  (c.commandText ? Printable(c.commandText) : std::string("null"));
        EXPECT_EQ(std::string(event.id().c_str()), c.id) << input;
        EXPECT_EQ(std::string(event.command().c_str()), c.command) << input;
        EXPECT_EQ(std::string(event.value().c_str()), c.value) << input;
    }
}

TEST(ButtonNotify, NullIdReadsEmpty) {
    ParsedCommand parsed("alarm=ack");
    ButtonRecord record{{0, 0, 0}, nullptr, &parsed};
    ButtonNotify event(&record);
    EXPECT_EQ(event.id().length(), 0u);
    EXPECT_TRUE(event.id().ok());
    EXPECT_STREQ(event.command().c_str(), "alarm");
    EXPECT_STREQ(event.value().c_str(), "ack");
}

TEST(ButtonNotify, NullCommandRecordReadsEmpty) {
    ButtonRecord record{{0, 0, 0}, "ActionAll", nullptr};
    ButtonNotify event(&record);
    EXPECT_STREQ(event.id().c_str(), "ActionAll");
    EXPECT_EQ(event.command().length(), 0u);
    EXPECT_EQ(event.value().length(), 0u);
    EXPECT_TRUE(event.command().ok());
    EXPECT_TRUE(event.value().ok());
}

// ---- ParentNotify ----

TEST(ParentNotify, ReadsCommandAndValue) {
    struct Case {
        const char* text;
        const char* command;
        const char* value;
    };
    const Case cases[] = {
        {"driverid=12", "driverid", "12"},
        {"destid=", "destid", ""},
        {"statesheet.x=enum_ok", "statesheet", "enum_ok"},
        {"_events", "_events", ""},
        {"=v", "", "v"},
        {"", "", ""},
        {nullptr, "", ""},
    };
    for (const Case& c : cases) {
        ParsedCommand parsed(c.text);
        ParentNotify event(&parsed);
        const std::string input = "input: " + (c.text ? Printable(c.text) : std::string("null"));
        EXPECT_STREQ(event.command().c_str(), c.command) << input;
        EXPECT_STREQ(event.value().c_str(), c.value) << input;
    }
}

TEST(ParentNotify, ReadsAreCopies) {
    ParsedCommand parsed("driverid=12");
    ParentNotify event(&parsed);
    vesk_string command = event.command();
    command += "X";
    EXPECT_STREQ(parsed.command, "driverid");
    EXPECT_STREQ(event.command().c_str(), "driverid");
}

}  // namespace
