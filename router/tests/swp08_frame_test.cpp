#include "swp08/swp08_frame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using swp08::Bytes;
using swp08::FrameEvent;
using swp08::FrameEventKind;
using swp08::Framer;

Bytes hex(const std::string& text) {
    Bytes out;
    for (size_t at = 0; at < text.size(); at += 3)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(at, 2), nullptr, 16)));
    return out;
}

std::string hexOf(const Bytes& bytes) {
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", b);
        out += buf;
    }
    return out;
}

// Events as text, one per line: "frame 04 00 00 00 0A", "garbage 4"...
std::string describe(const std::vector<FrameEvent>& events) {
    std::string out;
    for (const FrameEvent& e : events) {
        out += std::string(swp08::frameEventName(e.kind));
        if (e.kind == FrameEventKind::Frame) out += " " + hexOf(e.data);
        else if (e.count) out += " " + std::to_string(e.count);
        out += "\n";
    }
    return out;
}

std::string feedWhole(const Bytes& bytes, size_t cap = swp08::kMaxFrameData) {
    Framer framer(cap);
    std::vector<FrameEvent> events;
    framer.feed(bytes, events);
    return describe(events);
}

std::string feedByteByByte(const Bytes& bytes, size_t cap = swp08::kMaxFrameData) {
    Framer framer(cap);
    std::vector<FrameEvent> events;
    for (uint8_t b : bytes) framer.feed(&b, 1, events);
    return describe(events);
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Frames with their DATA: captured from routers, and the stuffing cases.
struct WorkedFrame {
    const char* what;
    const char* data;
    const char* wire;
};
const WorkedFrame kWorkedFrames[] = {
    {"connected dest 0 src 10", "04 00 00 00 0A", "10 02 04 00 00 00 0A 05 ED 10 03"},
    {"connect dest 1 src 10", "02 00 00 01 0A", "10 02 02 00 00 01 0A 05 EE 10 03"},
    {"connected dest 6 src 16: DLE in DATA", "04 00 00 06 10", "10 02 04 00 00 06 10 10 05 E1 10 03"},
    {"connected dest 131 src 5: stuffed DLE before 03", "04 00 10 03 05", "10 02 04 00 10 10 03 05 05 DF 10 03"},
    {"connect dest 127 src 106: CHK is 0x10", "02 00 00 7F 6A", "10 02 02 00 00 7F 6A 05 10 10 10 03"},
    {"16 bytes of DATA: BTC is 0x10", "16 00 0C 00 01 02 03 04 05 06 07 08 09 0A 0B 0C",
     "10 02 16 00 0C 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 10 10 80 10 03"},
};

TEST(Swp08Frame, EncodesWorkedFrames) {
    for (const WorkedFrame& w : kWorkedFrames) EXPECT_EQ(hexOf(swp08::encodeFrame(hex(w.data))), w.wire) << w.what;
}

TEST(Swp08Frame, ReadsWorkedFramesWholeAndByteByByte) {
    for (const WorkedFrame& w : kWorkedFrames) {
        const std::string want = "frame " + std::string(w.data) + "\n";
        EXPECT_EQ(feedWhole(hex(w.wire)), want) << w.what;
        EXPECT_EQ(feedByteByByte(hex(w.wire)), want) << w.what;
    }
}

TEST(Swp08Frame, EncoderRefusesWhatNoFrameCarries) {
    EXPECT_TRUE(swp08::encodeFrame({}).empty());
    EXPECT_TRUE(swp08::encodeFrame(Bytes(256, 1)).empty());
    EXPECT_FALSE(swp08::encodeFrame(Bytes(255, 0x10)).empty());
}

TEST(Swp08Frame, EveryDataRoundTrips) {
    // All byte values, every length around the DLE count.
    for (size_t size : {1u, 2u, 15u, 16u, 17u, 255u}) {
        Bytes data(size);
        for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 37 + size);
        data[0] = 0x10;
        EXPECT_EQ(feedWhole(swp08::encodeFrame(data)), "frame " + hexOf(data) + "\n") << "size " << size;
    }
}

// A stream and the events it gives; every case is also fed byte by byte.
struct StreamCase {
    const char* what;
    Bytes wire;
    std::string events;
    size_t cap = swp08::kMaxFrameData;
};

std::vector<StreamCase> streamCases() {
    const Bytes good = hex("10 02 04 00 10 10 03 05 05 DF 10 03");
    const std::string goodEvent = "frame 04 00 10 03 05\n";
    return {
        {"ack and nak between frames", hex("10 06") + good + hex("10 15"), "ack\n" + goodEvent + "nak\n"},
        {"ack and nak inside a frame", hex("10 02 04 00 10 10 10 06 03 05 10 15 05 DF 10 03"),
         "ack\nnak\n" + goodEvent},
        {"garbage before a frame", hex("FF 00 03 10 41") + good, "garbage 5\n" + goodEvent},
        {"DLE DLE outside a frame, then a frame", hex("10 10 02 04 00 10 10 03 05 05 DF 10 03"),
         "garbage 1\n" + goodEvent},
        {"garbage before an ack", hex("41 42 10 06"), "garbage 2\nack\n"},
        {"new frame inside an unfinished one", hex("10 02 01 02") + good, "frame restarted 2\n" + goodEvent},
        {"lone DLE inside a frame", hex("10 02 01 10 41 05") + good, "bad escape 2\ngarbage 1\n" + goodEvent},
        {"bad checksum", hex("10 02 04 00 10 10 03 05 05 DE 10 03") + good, "bad checksum 7\n" + goodEvent},
        {"BTC not the DATA length", hex("10 02 04 00 00 00 0A 04 EE 10 03") + good, "bad count 7\n" + goodEvent},
        {"empty frame", hex("10 02 10 03") + good, "bad count\n" + goodEvent},
        {"frame of BTC and CHK only", hex("10 02 00 00 10 03") + good, "bad count 2\n" + goodEvent},
        {"frame over the cap", hex("10 02 01 02 03 04 05 06 07 08 09 09 D3 10 03") + good, "oversize frame 11\n" + goodEvent,
         8},
        {"frame at the cap", hex("10 02 01 02 03 04 05 06 07 08 08 D4 10 03"), "frame 01 02 03 04 05 06 07 08\n", 8},
    };
}

TEST(Swp08Frame, ReportsEachEventInOrder) {
    for (const StreamCase& c : streamCases()) {
        EXPECT_EQ(feedWhole(c.wire, c.cap), c.events) << c.what;
        EXPECT_EQ(feedByteByByte(c.wire, c.cap), c.events) << c.what << " (byte by byte)";
    }
}

TEST(Swp08Frame, EventsDoNotDependOnSplits) {
    Bytes all;
    for (const StreamCase& c : streamCases())
        if (c.cap == swp08::kMaxFrameData) all = all + c.wire;
    const std::string whole = feedWhole(all);
    for (size_t piece : {2u, 3u, 5u, 7u, 64u}) {
        Framer framer;
        std::vector<FrameEvent> events;
        for (size_t at = 0; at < all.size(); at += piece) framer.feed(all.data() + at, std::min(piece, all.size() - at), events);
        EXPECT_EQ(describe(events), whole) << "pieces of " << piece;
    }
}

TEST(Swp08Frame, EndlessFrameKeepsBoundedMemoryAndIsDroppedAtItsEnd) {
    Framer framer(16);
    std::vector<FrameEvent> events;
    const Bytes junk(1 << 20, 0x41);
    framer.feed(hex("10 02"), events);
    framer.feed(junk, events);
    EXPECT_TRUE(framer.midFrame());
    EXPECT_TRUE(events.empty());
    framer.feed(hex("10 03"), events);
    EXPECT_EQ(describe(events), "oversize frame " + std::to_string(junk.size()) + "\n");
    EXPECT_FALSE(framer.midFrame());
}

TEST(Swp08Frame, EndlessGarbageIsReportedInSteps) {
    Framer framer;
    std::vector<FrameEvent> events;
    framer.feed(Bytes(2 * swp08::kGarbageReportBytes + 3, 0x41), events);
    const std::string step = "garbage " + std::to_string(swp08::kGarbageReportBytes) + "\n";
    EXPECT_EQ(describe(events), step + step);
    EXPECT_EQ(framer.pendingGarbage(), 3u);
}

TEST(Swp08Frame, ResetForgetsAnUnfinishedFrame) {
    Framer framer;
    std::vector<FrameEvent> events;
    framer.feed(hex("10 02 04 00 10"), events);
    EXPECT_TRUE(framer.midFrame());
    framer.reset();
    framer.feed(hex("10 02 04 00 10 10 03 05 05 DF 10 03"), events);
    EXPECT_EQ(describe(events), "frame 04 00 10 03 05\n");
}

TEST(Swp08Frame, OnlyDroppedFramesAreNaked) {
    EXPECT_FALSE(swp08::needsNak(FrameEventKind::Frame));
    EXPECT_FALSE(swp08::needsNak(FrameEventKind::Ack));
    EXPECT_FALSE(swp08::needsNak(FrameEventKind::Garbage));
    for (FrameEventKind k : {FrameEventKind::Restarted, FrameEventKind::BadEscape, FrameEventKind::Oversize,
                             FrameEventKind::BadChecksum, FrameEventKind::BadCount})
        EXPECT_TRUE(swp08::needsNak(k)) << swp08::frameEventName(k);
    EXPECT_EQ(hexOf(swp08::ackBytes()), "10 06");
    EXPECT_EQ(hexOf(swp08::nakBytes()), "10 15");
}

}  // namespace
