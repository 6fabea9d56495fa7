// The protocols' codecs without sockets: what each makes of a router's bytes,
// as the live-router core would see it through a recording link.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "swp08/swp08_codec.h"
#include "swp08/swp08_frame.h"
#include "swp08/swp08_message.h"
#include "videohub_codec.h"

namespace {

// Records what a codec does; requests are taken in order, each in flight
// until answered.
struct RecordingLink : CodecLink {
    std::vector<std::string> requests;  // what, in the order queued
    std::vector<int> tags;
    size_t answeredCount = 0;
    int resends = 0;
    std::vector<int> sizes;
    std::vector<std::string> problems;
    std::string dropped;
    bool isReady = false;
    std::set<int> changedOutputs;  // all the codec gave since the last clear

    void write(std::string) override {}
    bool request(std::string, std::string what, int tag) override {
        requests.push_back(what);
        tags.push_back(tag);
        return true;
    }
    std::optional<InFlight> inFlight() const override {
        if (answeredCount >= requests.size()) return std::nullopt;
        return InFlight{tags[answeredCount], requests[answeredCount]};
    }
    void answered(bool) override { answeredCount = std::min(answeredCount + 1, requests.size()); }
    void resend() override { ++resends; }
    void drop(const std::string& why) override { dropped = why; }
    void problem(const std::string& text) override { problems.push_back(text); }
    void changed(const std::set<int>& outputs) override { changedOutputs.insert(outputs.begin(), outputs.end()); }
    void sized(int outputs) override { sizes.push_back(outputs); }
    void ready() override { isReady = true; }
    std::string quote(const std::string& text) const override { return "\"" + text + "\""; }
};

std::string frame(const swp08::Message& m) {
    const swp08::Bytes data = *swp08::encodeMessage(m);
    const swp08::Bytes framed = swp08::encodeFrame(data);
    return std::string(framed.begin(), framed.end());
}

swp08::Message names(swp08::MessageKind kind, int first, std::vector<std::string> list) {
    swp08::Message m;
    m.kind = kind;
    m.first = first;
    m.nameLength = swp08::NameLength::Chars16;
    m.names = std::move(list);
    return m;
}

swp08::Message dump(int first, std::vector<int> sources) {
    swp08::Message m;
    m.kind = swp08::MessageKind::TallyDumpWord;
    m.first = first;
    m.sources = std::move(sources);
    return m;
}

std::string sizesText(const std::vector<int>& sizes) {
    std::string out;
    for (int size : sizes) out += std::to_string(size) + ";";
    return out;
}

TEST(Swp08Codec, TheSizeIsGivenOnceTheNamesOrTheDumpAreComplete) {
    using K = swp08::MessageKind;
    const struct {
        const char* name;
        std::vector<swp08::Message> messages;
        const char* sizes;
    } cases[] = {
        {"one destination name a message, then the dump",
         {names(K::DestinationNames, 0, {"D1"}), names(K::DestinationNames, 1, {"D2"}),
          names(K::DestinationNames, 2, {"D3"}), dump(0, {0, 1, 2})},
         "3;"},
        {"names short of a full message, then the dump", {names(K::DestinationNames, 0, {"A", "B"}), dump(0, {1, 1})},
         "2;"},
        {"no names: the dump's extent once a message ends it", {dump(0, {0, 1}), dump(2, {0, 0, 0}), dump(5, {1})},
         ""},
        {"no names, a tally after the dump", {dump(0, {0, 1, 1, 0}), [] {
             swp08::Message t;
             t.kind = K::Tally;
             t.destination = 1;
             t.source = 0;
             return t;
         }()},
         "4;"},
        {"a dump reaching past the names grows the size", {names(K::DestinationNames, 0, {"A"}), dump(0, {0, 0})},
         "1;2;"},
    };
    for (const auto& c : cases) {
        swp08::Codec codec({});
        RecordingLink link;
        codec.connected(link);
        for (const swp08::Message& m : c.messages) codec.received(frame(m), link);
        EXPECT_EQ(sizesText(link.sizes), c.sizes) << c.name;
    }
}

// One connection to a router of `size` destinations: one name a message, then the dump.
void connectTo(swp08::Codec& codec, RecordingLink& link, int size) {
    codec.connected(link);
    for (int d = 0; d < size; ++d)
        codec.received(frame(names(swp08::MessageKind::DestinationNames, d, {"D" + std::to_string(d + 1)})), link);
    codec.received(frame(dump(0, std::vector<int>(static_cast<size_t>(size), 0))), link);
}

TEST(Swp08Codec, ARouterSmallerOnAnotherConnectionShrinksTheModel) {
    swp08::Codec codec({});
    RecordingLink link;
    connectTo(codec, link, 20);
    codec.disconnected();
    link.changedOutputs.clear();
    connectTo(codec, link, 10);
    EXPECT_EQ(sizesText(link.sizes), "20;10;");
    EXPECT_EQ(codec.model().outputs(), 10);
    ASSERT_FALSE(link.changedOutputs.empty());
    EXPECT_EQ(*link.changedOutputs.rbegin(), 9) << "a destination the router no longer has was given as changed";
}

TEST(Swp08Codec, EachNameWithControlBytesIsNoted) {
    swp08::Codec codec({});
    RecordingLink link;
    codec.connected(link);
    codec.received(frame(names(swp08::MessageKind::SourceNames, 0,
                               {"Cam\x01", "fine", std::string("NUL\0in", 6), "tab\there"})),
                   link);
    ASSERT_EQ(link.problems.size(), 3u);
    EXPECT_EQ(link.problems[0], "named source 1 \"Cam\x01\", with control bytes: kept as sent");
    EXPECT_EQ(link.problems[1].find("named source 3"), 0u) << link.problems[1];
    EXPECT_NE(link.problems[1].find("zero byte"), std::string::npos) << link.problems[1];
    EXPECT_EQ(link.problems[2].find("named source 4"), 0u) << link.problems[2];
}

TEST(Swp08Codec, RepliesAnswerTheirRequestAndANakAsksItAgain) {
    swp08::Codec codec({});
    RecordingLink link;
    codec.connected(link);
    ASSERT_EQ(link.requests.size(), 3u);
    codec.received(frame(names(swp08::MessageKind::SourceNames, 0, {"S1"})), link);
    EXPECT_EQ(link.answeredCount, 1u) << "the names reply answers the names request";
    codec.received("\x10\x06", link);
    EXPECT_EQ(link.answeredCount, 1u) << "the ACK after the reply is the same answer";
    codec.received("\x10\x15", link);
    EXPECT_EQ(link.resends, 1) << "a NAK asks the request in flight again";
    codec.received("\x10\x06", link);
    EXPECT_EQ(link.answeredCount, 2u);
}

// A flood of whole frames split across reads is no unfinished frame; one
// frame longer than the limit is.
TEST(Swp08Codec, OnlyAFrameLeftOpenPastTheLimitDropsTheConnection) {
    swp08::Message connected;
    connected.kind = swp08::MessageKind::Connected;
    connected.source = 1;
    std::string flood;
    while (flood.size() < 3 * swp08::Codec::kMaxUnfinishedFrame) flood += frame(connected);
    const struct {
        const char* name;
        std::string bytes;
        bool drops;
    } cases[] = {
        {"whole frames split across reads", flood, false},
        {"one frame that never ends", "\x10\x02" + std::string(swp08::Codec::kMaxUnfinishedFrame + 10, 'x'), true},
    };
    for (const auto& c : cases) {
        swp08::Codec codec({});
        RecordingLink link;
        codec.connected(link);
        for (size_t at = 0; at < c.bytes.size(); at += 16383) codec.received(c.bytes.substr(at, 16383), link);
        EXPECT_EQ(!link.dropped.empty(), c.drops) << c.name << ": " << link.dropped;
    }
}

TEST(VideohubCodec, TheDeviceBlockGivesTheSizeAndAcksAnswer) {
    VideohubCodec codec;
    RecordingLink link;
    link.request("", "the route", 0);
    codec.connected(link);
    codec.received("PROTOCOL PREAMBLE:\nVersion: 2.8\n\nVIDEOHUB DEVICE:\nDevice present: true\nVideo inputs: 4\n"
                   "Video outputs: 3\n\nVIDEO OUTPUT ROUTING:\n0 1\n1 2\n2 3\n\nEND PRELUDE:\n\nACK\n\n",
                   link);
    EXPECT_EQ(sizesText(link.sizes), "3;");
    EXPECT_TRUE(codec.unknown().empty()) << codec.unknown();
    EXPECT_TRUE(link.isReady);
    EXPECT_EQ(link.answeredCount, 1u);
    EXPECT_EQ(codec.model().route(2), 3);
    codec.disconnected();
    EXPECT_EQ(codec.unknown(), "has not sent its routing yet");
    EXPECT_EQ(codec.model().route(2), 3) << "the model stays for state";
}

}  // namespace
