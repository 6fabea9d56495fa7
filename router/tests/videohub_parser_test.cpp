#include "videohub_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A 12x12 router's whole dump as such a device sends it, with blocks and keys
// this code does not use.
const char kDump12[] =
    "PROTOCOL PREAMBLE:\n"
    "Version: 2.7\n"
    "\n"
    "VIDEOHUB DEVICE:\n"
    "Device present: true\n"
    "Model name: Smart Videohub 12x12\n"
    "Friendly name: Studio B\n"
    "Unique ID: 7C2E0D0A1B2C\n"
    "Video inputs: 12\n"
    "Video processing units: 0\n"
    "Video outputs: 12\n"
    "Video monitoring outputs: 0\n"
    "Serial ports: 0\n"
    "\n"
    "INPUT LABELS:\n"
    "0 CAM 1\n1 CAM 2\n2 CAM 3\n3 CAM 4\n4 VT A\n5 VT B\n6 GFX fill\n7 GFX key\n8 Remote: Paris\n9 Black\n"
    "10 Bars\n11 \n"
    "\n"
    "OUTPUT LABELS:\n"
    "0 PGM\n1 PVW\n2 MV\n3 Rec 1\n4 Rec 2\n5 Out 6\n6 Out 7\n7 Out 8\n8 Out 9\n9 Out 10\n10 Out 11\n11 Out 12\n"
    "\n"
    "VIDEO OUTPUT LOCKS:\n"
    "0 U\n1 L\n2 O\n3 U\n4 U\n5 U\n6 U\n7 U\n8 U\n9 U\n10 U\n11 U\n"
    "\n"
    "VIDEO OUTPUT ROUTING:\n"
    "0 4\n1 0\n2 11\n3 3\n4 8\n5 5\n6 6\n7 7\n8 8\n9 9\n10 10\n11 2\n"
    "\n"
    "CONFIGURATION:\n"
    "Take Mode: false\n"
    "\n"
    "END PRELUDE:\n"
    "\n";

// A 40x40 router's dump, with monitoring and serial blocks.
std::string dump40() {
    std::string out = "PROTOCOL PREAMBLE:\nVersion: 2.4\n\nVIDEOHUB DEVICE:\nDevice present: true\n"
                      "Model name: Videohub 40x40\nVideo inputs: 40\nVideo processing units: 0\n"
                      "Video outputs: 40\nVideo monitoring outputs: 2\nSerial ports: 40\n\n";
    for (const char* header : {"INPUT LABELS:", "OUTPUT LABELS:", "MONITORING OUTPUT LABELS:"}) {
        out += std::string(header) + "\n";
        for (int i = 0; i < 40; ++i) out += std::to_string(i) + " " + header[0] + " label " + std::to_string(i) + "\n";
        out += "\n";
    }
    out += "VIDEO OUTPUT LOCKS:\n";
    for (int i = 0; i < 40; ++i) out += std::to_string(i) + " U\n";
    out += "\nVIDEO OUTPUT ROUTING:\n";
    for (int i = 0; i < 40; ++i) out += std::to_string(i) + " " + std::to_string(39 - i) + "\n";
    return out + "\nSERIAL PORT DIRECTIONS:\n0 control\n1 slave\n\n";
}

// Everything a list of blocks holds, one line per block, for comparisons.
std::string describe(const std::vector<VideohubBlock>& blocks) {
    std::string out;
    for (const VideohubBlock& b : blocks) {
        out += "[" + b.header + "] lines=" + std::to_string(b.lines) + " v=" + b.version;
        if (b.device.presence) out += " present=" + std::to_string(static_cast<int>(*b.device.presence));
        out += " io=" + std::to_string(b.device.inputs) + "x" + std::to_string(b.device.outputs) + " " +
               b.device.modelName;
        for (const LabelLine& l : b.labels) out += " " + std::to_string(l.index) + "=" + l.text + (l.cut ? "(cut)" : "");
        for (const RouteLine& r : b.routes) out += " " + std::to_string(r.output) + "<" + std::to_string(r.input);
        for (const LockLine& l : b.locks) out += " " + std::to_string(l.output) + l.state;
        for (const SkippedLine& s : b.skipped) out += " skip{" + s.text + ": " + s.reason + "}";
        out += " skipped=" + std::to_string(b.skippedCount) + "\n";
    }
    return out;
}

std::vector<VideohubBlock> parseAll(const std::string& bytes) {
    VideohubParser parser;
    std::vector<VideohubBlock> blocks;
    EXPECT_TRUE(parser.feed(bytes, blocks)) << bytes.substr(0, 80);
    EXPECT_FALSE(parser.midBlock()) << bytes.substr(0, 80);
    return blocks;
}

std::string withLineEnds(std::string text, const std::string& end) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += end;
        else
            out += c;
    }
    return out;
}

TEST(VideohubParser, ReadsWholeDump) {
    const std::vector<VideohubBlock> blocks = parseAll(kDump12);
    ASSERT_EQ(blocks.size(), 8u) << describe(blocks);
    const BlockKind kinds[] = {BlockKind::Preamble, BlockKind::Device,  BlockKind::InputLabels, BlockKind::OutputLabels,
                               BlockKind::Locks,    BlockKind::Routing, BlockKind::Unknown,     BlockKind::EndPrelude};
    for (size_t i = 0; i < blocks.size(); ++i) EXPECT_EQ(blocks[i].kind, kinds[i]) << "block " << i;
    EXPECT_EQ(blocks[0].version, "2.7");
    EXPECT_EQ(blocks[1].device.presence, Presence::Present);
    EXPECT_EQ(blocks[1].device.inputs, 12);
    EXPECT_EQ(blocks[1].device.outputs, 12);
    EXPECT_EQ(blocks[1].device.modelName, "Smart Videohub 12x12");
    ASSERT_EQ(blocks[2].labels.size(), 12u);
    EXPECT_EQ(blocks[2].labels[8].text, "Remote: Paris");
    EXPECT_EQ(blocks[2].labels[11].text, "");
    EXPECT_EQ(blocks[4].locks[1].state, 'L');
    ASSERT_EQ(blocks[5].routes.size(), 12u);
    EXPECT_EQ(blocks[5].routes[2].input, 11);
    EXPECT_EQ(blocks[6].header, "CONFIGURATION:");
    for (const VideohubBlock& b : blocks) EXPECT_EQ(b.skippedCount, 0u) << describe({b});
}

TEST(VideohubParser, SameBlocksWhateverTheSplitsAndLineEnds) {
    for (const std::string& dump : {std::string(kDump12), dump40()}) {
        const std::string whole = describe(parseAll(dump));
        for (const char* end : {"\r\n", "\r"})
            EXPECT_EQ(describe(parseAll(withLineEnds(dump, end))), whole) << "line end " << (end[1] ? "CRLF" : "CR");
        for (const std::string& bytes : {dump, withLineEnds(dump, "\r\n")}) {
            for (size_t at = 0; at <= bytes.size(); ++at) {
                VideohubParser parser;
                std::vector<VideohubBlock> blocks;
                parser.feed(bytes.substr(0, at), blocks);
                parser.feed(bytes.substr(at), blocks);
                ASSERT_EQ(describe(blocks), whole) << "split at byte " << at << " of " << bytes.substr(0, 40);
            }
        }
    }
}

TEST(VideohubParser, AnswersRequestsAndPing) {
    const std::vector<VideohubBlock> blocks = parseAll("ACK\n\nNAK\n\nPING:\n\nVIDEO OUTPUT ROUTING:\n\n");
    ASSERT_EQ(blocks.size(), 4u) << describe(blocks);
    EXPECT_EQ(blocks[0].kind, BlockKind::Ack);
    EXPECT_EQ(blocks[1].kind, BlockKind::Nak);
    EXPECT_EQ(blocks[2].kind, BlockKind::Ping);
    EXPECT_EQ(blocks[3].kind, BlockKind::Routing);
    EXPECT_TRUE(blocks[3].request());

    VideohubParser parser;
    std::vector<VideohubBlock> none;
    parser.feed("VIDEO OUTPUT ROUTING:\n1 2\n", none);
    EXPECT_TRUE(parser.midBlock()) << "a close now cuts a block";
}

struct BadLineCase {
    const char* block;
    const char* reason;
};

TEST(VideohubParser, SkipsBadLinesWithReason) {
    const BadLineCase cases[] = {
        {"INPUT LABELS:\n-1 Cam\n\n", "negative number"},
        {"INPUT LABELS:\nx Cam\n\n", "not a number"},
        {"INPUT LABELS:\n4096 Cam\n\n", "number above 4095"},
        {"INPUT LABELS:\n99999999999999999999 Cam\n\n", "number above 4095"},
        {"INPUT LABELS:\n7\n\n", "no blank after the index"},
        {"OUTPUT LABELS:\n 7 Cam\n\n", "missing number"},
        {"VIDEO OUTPUT ROUTING:\n3 -1\n\n", "input: negative number"},
        {"VIDEO OUTPUT ROUTING:\n3 4 5\n\n", "input: not a number"},
        {"VIDEO OUTPUT ROUTING:\n3\n\n", "no blank after the index"},
        {"VIDEO OUTPUT LOCKS:\n3 X\n\n", "lock state is not U, O, L or F"},
        {"VIDEOHUB DEVICE:\nDevice present: maybe\n\n", "unknown presence"},
        {"VIDEOHUB DEVICE:\nVideo outputs: -12\n\n", "negative number"},
        {"VIDEOHUB DEVICE:\nVideo inputs: 5000\n\n", "number above 4096"},
        {"VIDEOHUB DEVICE:\nnonsense\n\n", "no \"key: value\""},
        {"INPUT LABELS:\n1 a\x01z\n\n", "control byte in line"},
        {"PING:\nhello\n\n", "no lines expected"},
        {"garbage\n\n", "outside any block"},
        {"lower case header:\n\n", "outside any block"},
    };
    for (const BadLineCase& c : cases) {
        const std::vector<VideohubBlock> blocks = parseAll(c.block);
        ASSERT_EQ(blocks.size(), 1u) << "input: " << c.block << describe(blocks);
        const VideohubBlock& b = blocks[0];
        EXPECT_EQ(b.labels.size() + b.routes.size() + b.locks.size(), 0u) << "input: " << c.block;
        ASSERT_EQ(b.skipped.size(), 1u) << "input: " << c.block;
        EXPECT_EQ(b.skipped[0].reason, c.reason) << "input: " << c.block;
    }
}

TEST(VideohubParser, StrayLinesEndAtTheNextHeader) {
    const std::vector<VideohubBlock> blocks = parseAll(std::string("\x80\xff junk\nmore\nPING:\n\n"));
    ASSERT_EQ(blocks.size(), 2u) << describe(blocks);
    EXPECT_EQ(blocks[0].kind, BlockKind::Stray);
    EXPECT_EQ(blocks[0].skippedCount, 2u);
    EXPECT_EQ(blocks[1].kind, BlockKind::Ping);
}

TEST(VideohubParser, LineLimit) {
    VideohubParser parser;
    std::vector<VideohubBlock> blocks;
    // A label of exactly the longest line is kept, cut.
    const std::string longest = "INPUT LABELS:\n1 " + std::string(kMaxVideohubLine - 2, 'x') + "\n\n";
    ASSERT_TRUE(parser.feed(longest, blocks));
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(blocks[0].labels.size(), 1u);
    EXPECT_EQ(blocks[0].labels[0].text.size(), kMaxLabelBytes);
    EXPECT_TRUE(blocks[0].labels[0].cut);

    // A label of 100 000 bytes is a line over the limit: the stream is out of step.
    const std::string huge = "INPUT LABELS:\n1 " + std::string(100000, 'y');
    EXPECT_FALSE(parser.feed(huge, blocks));
    EXPECT_TRUE(parser.failed());
    EXPECT_FALSE(parser.feed("\n\nPING:\n\n", blocks));
    EXPECT_EQ(blocks.size(), 1u);
    parser.reset();
    EXPECT_TRUE(parser.feed("PING:\n\n", blocks));
    EXPECT_EQ(blocks.size(), 2u);
}

TEST(VideohubParser, BlockEntriesAreBounded) {
    std::string block = "VIDEO OUTPUT ROUTING:\n";
    for (size_t i = 0; i < kMaxBlockEntries + 100; ++i) block += std::to_string(i % 4096) + " 1\n";
    const std::vector<VideohubBlock> blocks = parseAll(block + "\n");
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].routes.size(), kMaxBlockEntries);
    EXPECT_EQ(blocks[0].skippedCount, 100u);
    EXPECT_EQ(blocks[0].skipped.size(), kMaxSkippedRecords);
}

}  // namespace
