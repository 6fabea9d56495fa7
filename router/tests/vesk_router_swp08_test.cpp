// vesk-router serving SW-P-08 (--swp08), beside Videohub (--listen): started
// on 127.0.0.1 with free ports, spoken to by the test's own clients. Every
// wait is bounded; the router is stopped by "quit".
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "router_process.h"
#include "swp08_test_client.h"
#include "videohub_test_client.h"

namespace {

using namespace router_test;
using namespace std::chrono_literals;
using swp08::Bytes;
using swp08::Message;
using swp08::MessageKind;
using swp08::NameLength;

// vesk-router with both services; `swp08Port` read from its second line.
struct BothServices {
    explicit BothServices(std::vector<std::string> extra = {}) : router(withServices(std::move(extra))) {
        const std::string line = router.waitForLine("swp08 listening on ");
        const size_t colon = line.rfind(':');
        swp08Port = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
    }
    static std::vector<std::string> withServices(std::vector<std::string> extra) {
        extra.insert(extra.begin(), {"--listen", "127.0.0.1:0", "--swp08", "127.0.0.1:0"});
        return extra;
    }
    RouterProcess router;
    int swp08Port = 0;
};

Message request(MessageKind kind, int destination = 0, int source = 0, bool extended = false) {
    Message m;
    m.kind = kind;
    m.destination = destination;
    m.source = source;
    m.extended = extended;
    return m;
}

std::string hexOf(const Bytes& bytes) {
    std::string out;
    char buffer[4];
    for (uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%s%02X", out.empty() ? "" : " ", b);
        out += buffer;
    }
    return out;
}

// "03 dest 5 src 5", "99 01": a reply's command, then what it carries.
std::string describe(const Bytes& data) {
    const swp08::DecodeResult r = swp08::decodeMessage(data);
    if (!r.ok() || !r.message.detail.empty()) return hexOf(data);
    const Message& m = r.message;
    return std::to_string(data[0]) + " m" + std::to_string(m.matrix) + " dest " + std::to_string(m.destination) +
           " src " + std::to_string(m.source);
}

struct AnswerCase {
    const char* what;
    Bytes sent;  // a whole frame
    const char* reply;
};

TEST(VeskRouterSwp08, AnswersInKindOrWithInvalid) {
    Message otherMatrix = request(MessageKind::Interrogate, 1);
    otherMatrix.matrix = 1;
    const AnswerCase cases[] = {
        {"interrogate", frameOf(request(MessageKind::Interrogate, 5)), "3 m0 dest 5 src 5"},
        {"extended interrogate", frameOf(request(MessageKind::Interrogate, 5, 0, true)), "131 m0 dest 5 src 5"},
        {"beyond 1023", frameOf(request(MessageKind::Interrogate, 1500)), "131 m0 dest 1500 src 1500"},
        {"no route", frameOf(request(MessageKind::Interrogate, 2047)), "63 81"},
        {"beyond the model", frameOf(request(MessageKind::Interrogate, 3000)), "63 81"},
        {"another matrix", frameOf(otherMatrix), "63 01"},
        {"a router's message", frameOf(request(MessageKind::Tally, 1, 1)), "63 03"},
        {"unknown command", swp08::encodeFrame({77, 0}), "63 4D"},
        {"too short", swp08::encodeFrame({2, 0}), "63 02"},
        {"dual controller status", frameOf(request(MessageKind::DualStatusRequest)), "09 02 00"},
        {"implementation: 15 sent, 16 accepted", frameOf(request(MessageKind::ImplementationRequest)),
         "62 0F 10 03 04 09 16 17 1E 62 63 6A 6B 83 84 97 EA EB 01 02 08 15 61 64 65 66 67 81 82 95 E4 E5 E6 E7"},
        {"a 99 is never answered", swp08::encodeFrame({99, 1}), ""},
    };
    BothServices both({"--inputs", "2047", "--outputs", "2048"});
    Swp08Client client(both.swp08Port);
    ASSERT_TRUE(client.connected());
    for (const AnswerCase& c : cases) {
        client.sendRaw(c.sent);
        const std::optional<swp08::FrameEvent> first = client.next();
        EXPECT_TRUE(first && first->kind == swp08::FrameEventKind::Ack) << c.what << ": the frame is ACKed first";
        EXPECT_EQ(describe(client.nextFrame(std::chrono::milliseconds(500))), c.reply) << c.what;
    }
    EXPECT_NE(both.router.waitForLine("swp08 client 1 invalid: unknown command (command 77)"), "");
}

// The wire bytes of one answer, not through the project's codec.
TEST(VeskRouterSwp08, AnswersAnInterrogateWithTheseBytes) {
    BothServices both;
    Swp08Client client(both.swp08Port);
    client.sendRaw({0x10, 0x02, 0x01, 0x00, 0x00, 0x05, 0x04, 0xF6, 0x10, 0x03});
    std::string got;
    for (std::optional<swp08::FrameEvent> e; got.size() < 40 && (e = client.next(std::chrono::milliseconds(300)));) {
        got += e->kind == swp08::FrameEventKind::Frame ? "frame " + hexOf(e->data) + " " : "ack ";
        if (e->kind == swp08::FrameEventKind::Frame) client.ack();
    }
    EXPECT_EQ(got, "ack frame 03 00 00 05 05 ");
}

TEST(VeskRouterSwp08, ATakeReachesEveryClientOfBothServices) {
    BothServices both({"--inputs", "2048", "--outputs", "2048"});
    Connected hub(both.router.port());
    ASSERT_FALSE(hub.dump.empty());
    // One at a time, so that their ids are known: a SW-P-08 client is known
    // once it is logged.
    Swp08Client a(both.swp08Port);
    ASSERT_NE(both.router.waitForLine("swp08 client 2 connected"), "");
    Swp08Client b(both.swp08Port);
    ASSERT_NE(both.router.waitForLine("swp08 client 3 connected"), "");
    a.send(request(MessageKind::Connect, 2, 7));
    EXPECT_EQ(describe(a.nextFrame()), "4 m0 dest 2 src 7");
    EXPECT_EQ(describe(b.nextFrame()), "4 m0 dest 2 src 7");
    EXPECT_NE(both.router.waitForLine("route 2 7 by swp08 client 2"), "");
    std::vector<VideohubBlock> got = hub.client.readUntilKind(BlockKind::Routing);
    ASSERT_TRUE(!got.empty() && got.back().routes.size() == 1) << kinds(got);
    EXPECT_EQ(got.back().routes[0].input, 7);
    // In kind: the asker of an extended connect gets 132, the others 04.
    a.send(request(MessageKind::Connect, 3, 1, true));
    EXPECT_EQ(describe(a.nextFrame()), "132 m0 dest 3 src 1");
    EXPECT_EQ(describe(b.nextFrame()), "4 m0 dest 3 src 1");
    // Past 1023 everyone gets the extended form.
    a.send(request(MessageKind::Connect, 2000, 1500));
    EXPECT_EQ(describe(b.nextFrame()), "132 m0 dest 2000 src 1500");
    // From Videohub and from the console to SW-P-08.
    hub.client.send("VIDEO OUTPUT ROUTING:\n4 9\n\n");
    EXPECT_EQ(describe(b.nextFrame()), "4 m0 dest 4 src 9");
    both.router.command("route 5 6");
    EXPECT_EQ(describe(b.nextFrame()), "4 m0 dest 5 src 6");
}

TEST(VeskRouterSwp08, AConnectToAnotherClientsLockIsRefused) {
    BothServices both;
    Connected hub(both.router.port());
    hub.client.send("VIDEO OUTPUT LOCKS:\n1 O\n\n");
    ASSERT_EQ(kinds(hub.client.readAnswer()), "ACK ");
    Swp08Client client(both.swp08Port);
    client.send(request(MessageKind::Connect, 1, 3));
    EXPECT_EQ(describe(client.nextFrame()), "63 02");
    client.send(request(MessageKind::Interrogate, 1));
    EXPECT_EQ(describe(client.nextFrame()), "3 m0 dest 1 src 1") << "unchanged";
}

// "COMMAND@FIRST+COUNT ": one message of a dump or of names.
std::string chunk(uint8_t command, int first, size_t count) {
    return std::to_string(command) + "@" + std::to_string(first) + "+" + std::to_string(count) + " ";
}

struct DumpCase {
    const char* what;
    std::vector<std::string> args;
    bool extended;
    const char* messages;  // "COMMAND@FIRST+COUNT ..."
};

TEST(VeskRouterSwp08, TallyDumpsComeInChunks) {
    const DumpCase cases[] = {
        {"16 outputs", {}, false, "22@0+16 "},
        {"extended", {}, true, "151@0+16 "},
        {"300 outputs", {"--inputs", "300", "--outputs", "300"}, false,
         "23@0+64 23@64+64 23@128+64 23@192+64 23@256+44 "},
        {"192 outputs: numbers up to 191 in bytes", {"--inputs", "192", "--outputs", "192"}, false,
         "22@0+64 22@64+64 22@128+64 "},
        {"193 outputs: 192 needs words", {"--inputs", "193", "--outputs", "193"}, false,
         "23@0+64 23@64+64 23@128+64 23@192+1 "},
        {"extended: 63 a message", {"--inputs", "130", "--outputs", "130"}, true, "151@0+63 151@63+63 151@126+4 "},
        {"unrouted left out", {"--inputs", "70", "--outputs", "72"}, false, "22@0+64 22@64+6 "},
    };
    for (const DumpCase& c : cases) {
        BothServices both(c.args);
        Swp08Client client(both.swp08Port);
        Message dump = request(MessageKind::TallyDumpRequest, 0, 0, c.extended);
        client.send(dump);
        std::string got;
        for (Bytes data; !(data = client.nextFrame(std::chrono::milliseconds(500))).empty();) {
            const Message m = swp08::decodeMessage(data).message;
            got += chunk(data[0], m.first, m.sources.size());
            for (size_t i = 0; i < m.sources.size(); ++i)
                EXPECT_EQ(m.sources[i], m.first + static_cast<int>(i)) << c.what << ": straight routes";
        }
        EXPECT_EQ(got, c.messages) << c.what;
    }
}

struct NamesCase {
    MessageKind kind;
    NameLength length;
    int number;  // single requests
    bool extended;
    const char* replies;  // "COMMAND@FIRST+COUNT ..." and the first name
};

TEST(VeskRouterSwp08, NamesComeWithTheLengthAsked) {
    const NamesCase cases[] = {
        {MessageKind::AllSourceNames, NameLength::Chars4, 0, false, "106@0+16 Inpu"},
        {MessageKind::AllSourceNames, NameLength::Chars8, 0, false, "106@0+16 Input 1"},
        {MessageKind::AllSourceNames, NameLength::Chars12, 0, false, "106@0+10 106@10+6 Input 1"},
        {MessageKind::AllSourceNames, NameLength::Chars32, 0, true, "234@0+4 234@4+4 234@8+4 234@12+4 Input 1"},
        {MessageKind::AllDestinationNames, NameLength::Chars16, 0, false, "107@0+8 107@8+8 Output 1"},
        {MessageKind::AllDestinationNames, NameLength::Chars8, 0, true, "235@0+16 Output 1"},
        {MessageKind::SingleSourceName, NameLength::Chars8, 3, false, "106@3+1 Input 4"},
        {MessageKind::SingleSourceName, NameLength::Chars8, 3, true, "234@3+1 Input 4"},
        {MessageKind::SingleDestinationName, NameLength::Chars12, 15, true, "235@15+1 Output 16"},
    };
    BothServices both;
    Swp08Client client(both.swp08Port);
    for (const NamesCase& c : cases) {
        Message m = request(c.kind, c.number, c.number, c.extended);
        m.nameLength = c.length;
        client.send(m);
        std::string got, first;
        for (Bytes data; !(data = client.nextFrame(std::chrono::milliseconds(500))).empty();) {
            const Message reply = swp08::decodeMessage(data).message;
            got += chunk(data[0], reply.first, reply.names.size());
            if (first.empty() && !reply.names.empty()) first = reply.names[0];
            EXPECT_EQ(reply.nameLength, c.length) << got;
        }
        EXPECT_EQ(got + first, c.replies) << "request " << int(c.kind) << " code " << int(c.length);
    }
}

TEST(VeskRouterSwp08, NaksBadFramesAndKeepsServing) {
    BothServices both;
    Swp08Client client(both.swp08Port);
    Bytes bad = frameOf(request(MessageKind::Interrogate, 5));
    bad[bad.size() - 3] ^= 1;  // the checksum
    Bytes junk(10000, 0x55);
    junk.insert(junk.end(), {0x10, 0x02});
    junk.insert(junk.end(), 400, 0x01);  // a frame longer than any
    junk.insert(junk.end(), {0x10, 0x03});
    for (const Bytes& sent : {bad, junk}) {
        client.sendRaw(sent);
        std::optional<swp08::FrameEvent> e = client.next();
        EXPECT_TRUE(e && e->kind == swp08::FrameEventKind::Nak) << hexOf(Bytes(sent.begin(), sent.begin() + 8));
    }
    EXPECT_NE(both.router.waitForLine("swp08 client 1 NAK: bad checksum"), "");
    client.send(request(MessageKind::Interrogate, 5));
    EXPECT_EQ(describe(client.nextFrame()), "3 m0 dest 5 src 5");
}

TEST(VeskRouterSwp08, ReSendsOnNakAndWithoutAck) {
    BothServices both;
    Swp08Client client(both.swp08Port);
    client.send(request(MessageKind::Interrogate, 5));
    std::vector<Bytes> frames;
    // The second comes at once after the NAK (well before the 1 s timeout),
    // the third after 1 s without an answer.
    for (std::optional<swp08::FrameEvent> e;
         frames.size() < 3 && (e = client.next(frames.size() == 1 ? 600ms : 5s));) {
        if (e->kind != swp08::FrameEventKind::Frame) continue;
        frames.push_back(e->data);
        if (frames.size() == 1) client.nak();
    }
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[1], frames[0]);
    EXPECT_EQ(frames[2], frames[0]);
}

TEST(VeskRouterSwp08, DropsAClientThatNeverAcknowledges) {
    BothServices both({"--inputs", "4096"});
    Swp08Client client(both.swp08Port);
    Message names = request(MessageKind::AllSourceNames);
    names.nameLength = NameLength::Chars32;
    for (int i = 0; i < 10; ++i) client.send(names);  // 1024 replies each, never ACKed
    EXPECT_TRUE(client.closedByServer());
    EXPECT_NE(both.router.waitForLine("swp08 client 1 disconnected: it does not acknowledge"), "");
}

TEST(VeskRouterSwp08, RefusesTheSeventeenthClient) {
    RouterProcess router({"--swp08", "127.0.0.1:0"});
    ASSERT_NE(router.port(), 0) << "the SW-P-08 line is the first";
    std::vector<std::unique_ptr<Swp08Client>> clients;
    for (int i = 0; i < 16; ++i) clients.push_back(std::make_unique<Swp08Client>(router.port()));
    ASSERT_NE(router.waitForLine("swp08 client 16 connected"), "");
    Swp08Client extra(router.port());
    EXPECT_TRUE(extra.closedByServer());
    EXPECT_NE(router.waitForLine("refused: 16 clients already"), "");
    clients.pop_back();
    ASSERT_NE(router.waitForLine("swp08 client 16 disconnected"), "");
    Swp08Client again(router.port());
    again.send(request(MessageKind::Interrogate, 1));
    EXPECT_EQ(describe(again.nextFrame()), "3 m0 dest 1 src 1") << "a place is free again";
}

TEST(VeskRouterSwp08, TellsNamesUpdatedOnceAfterRenames) {
    BothServices both;
    Swp08Client client(both.swp08Port);
    ASSERT_NE(both.router.waitForLine("swp08 client 1 connected"), "");
    both.router.command("label 3 Cam four");
    both.router.command("output-label 2 PGM");
    EXPECT_EQ(hexOf(client.nextFrame()), "1E 00 01 00 00 00 01 00 00") << "matrix 0: source and destination names";
    client.send(request(MessageKind::Interrogate, 5));
    EXPECT_EQ(describe(client.nextFrame()), "3 m0 dest 5 src 5") << "one 30 for both renames";
}

}  // namespace
