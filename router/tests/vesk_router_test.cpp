// vesk-router as a program, serving Videohub clients: started on 127.0.0.1
// with a free port, driven on its standard input and spoken to by plain POSIX
// socket clients. Every wait is bounded (kWait); the router is stopped by
// "quit" or a signal.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "router_process.h"
#include "videohub_test_client.h"

namespace {

using namespace router_test;

// The last block of `blocks`, which must be there (callers ASSERT on it).
const VideohubBlock* lastOf(const std::vector<VideohubBlock>& blocks) { return blocks.empty() ? nullptr : &blocks.back(); }

TEST(VeskRouter, SendsTheWholeDumpOnConnect) {
    const std::string labels = testing::TempDir() + "vesk_router_labels.txt";
    std::ofstream(labels) << "INPUT LABELS:\n3 Cam four\n\nVIDEO OUTPUT ROUTING:\n5 3\n";
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "12", "--outputs", "8", "--labels", labels});
    ASSERT_NE(router.port(), 0);
    Connected c(router.port());
    ASSERT_TRUE(c.client.connected());
    ASSERT_EQ(kinds(c.dump),
              "PROTOCOL PREAMBLE: VIDEOHUB DEVICE: INPUT LABELS: OUTPUT LABELS: VIDEO OUTPUT LOCKS: "
              "VIDEO OUTPUT ROUTING: END PRELUDE: ");
    RouterModel model(0, 0);
    for (const VideohubBlock& b : c.dump) EXPECT_EQ(applyBlock(model, b).rejectedCount, 0u) << b.header;
    EXPECT_EQ(model.inputs(), 12);
    EXPECT_EQ(model.outputs(), 8);
    EXPECT_EQ(model.inputLabel(3), "Cam four");
    EXPECT_EQ(model.inputLabel(4), "Input 5");
    EXPECT_EQ(model.route(5), 3);
    EXPECT_EQ(model.route(7), 7) << "output n starts on input n";
    EXPECT_NE(router.waitForLine("client 1 connected"), "");
}

TEST(VeskRouter, OutputsBeyondTheInputsStartWithNoRoute) {
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "2", "--outputs", "4"});
    Connected c(router.port());
    ASSERT_FALSE(c.dump.empty());
    RouterModel model(0, 0);
    for (const VideohubBlock& b : c.dump) applyBlock(model, b);
    ASSERT_EQ(model.outputs(), 4);
    EXPECT_EQ(model.route(1), 1);
    EXPECT_EQ(model.route(2), kNoInput);
    EXPECT_EQ(model.route(3), kNoInput);
}

TEST(VeskRouter, PushesEveryChangeToEveryClientWithItsOrigin) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Connected a(router.port()), b(router.port());
    a.client.send("VIDEO OUTPUT ROUTING:\n2 7\n\n");
    std::vector<VideohubBlock> got = a.client.readUntilKind(BlockKind::Routing);
    ASSERT_EQ(kinds(got), "ACK VIDEO OUTPUT ROUTING: ");
    for (const auto& blocks : {got, b.client.readUntilKind(BlockKind::Routing)}) {
        ASSERT_EQ(blocks.size() > 0 ? blocks.back().routes.size() : 0u, 1u) << kinds(blocks);
        EXPECT_EQ(blocks.back().routes[0].output, 2);
        EXPECT_EQ(blocks.back().routes[0].input, 7);
    }
    router.command("label 7 New name");
    for (Client* client : {&a.client, &b.client}) {
        got = client->readUntilKind(BlockKind::InputLabels);
        ASSERT_TRUE(lastOf(got) && got.back().labels.size() == 1u) << kinds(got);
        EXPECT_EQ(got.back().labels[0].index, 7);
        EXPECT_EQ(got.back().labels[0].text, "New name");
    }
    EXPECT_NE(router.waitForLine("route 2 7 by client 1"), "");
    EXPECT_NE(router.waitForLine("label 7 New name by the console"), "");
}

struct AnswerCase {
    const char* sent;
    const char* answers;  // the block headers up to the ACK/NAK and the block that follows a request
};

TEST(VeskRouter, AnswersAckOrNak) {
    const AnswerCase cases[] = {
        {"PING:\n\n", "ACK "},
        {"VIDEO OUTPUT ROUTING:\n16 1\n\n", "NAK "},
        {"VIDEO OUTPUT ROUTING:\n1 16\n\n", "NAK "},
        {"VIDEO OUTPUT ROUTING:\n-1 1\n\n", "NAK "},
        {"INPUT LABELS:\nx Cam\n\n", "NAK "},
        {"VIDEOHUB DEVICE:\nVideo inputs: 3\n\n", "NAK "},
        {"SOMETHING ELSE:\n1 2\n\n", "NAK "},
        {"junk\r\n\r\n", "NAK "},
        {"OUTPUT LABELS:\n\n", "ACK OUTPUT LABELS: "},
        {"VIDEO OUTPUT LOCKS:\r\r", "ACK VIDEO OUTPUT LOCKS: "},
    };
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Connected c(router.port());
    ASSERT_FALSE(c.dump.empty());
    for (const AnswerCase& k : cases) {
        c.client.send(k.sent);
        std::vector<VideohubBlock> got = c.client.readAnswer();
        if (!got.empty() && got.back().kind == BlockKind::Ack && std::string(k.answers) != "ACK ") {
            const std::vector<VideohubBlock> block = c.client.readUntil([](const VideohubBlock&) { return true; });
            got.insert(got.end(), block.begin(), block.end());
            EXPECT_EQ(got.back().labels.size() + got.back().locks.size(), 16u) << "sent: " << k.sent;
        }
        EXPECT_EQ(kinds(got), k.answers) << "sent: " << k.sent;
    }
}

// A change block with one bad line changes nothing: NAK, and the good lines
// are not applied either.
TEST(VeskRouter, ARequestWithOneBadLineChangesNothing) {
    const AnswerCase cases[] = {
        {"VIDEO OUTPUT ROUTING:\n0 3\n1 99\n\n", "NAK "},
        {"VIDEO OUTPUT ROUTING:\n0 3\n1 x\n\n", "NAK "},
        {"INPUT LABELS:\n0 Changed\n1\x1b[2J\n\n", "NAK "},
        {"INPUT LABELS:\n0 Changed\n99 Beyond\n\n", "NAK "},
    };
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "4", "--outputs", "4"});
    Connected c(router.port());
    ASSERT_FALSE(c.dump.empty());
    for (const AnswerCase& k : cases) {
        c.client.send(k.sent);
        EXPECT_EQ(kinds(c.client.readAnswer()), k.answers) << "sent: " << k.sent;
    }
    c.client.send("INPUT LABELS:\n\nVIDEO OUTPUT ROUTING:\n\n");
    const std::vector<VideohubBlock> now = c.client.readUntilKind(BlockKind::Routing);
    RouterModel model(4, 4);
    for (const VideohubBlock& b : now) applyBlock(model, b);
    EXPECT_EQ(model.route(0), 0) << kinds(now);
    EXPECT_EQ(model.inputLabel(0), "Input 1") << kinds(now);
}

// The lock of output 1 as `client` next sees it pushed ('?' when none came).
char nextLockPush(Client& client) {
    const std::vector<VideohubBlock> got = client.readUntilKind(BlockKind::Locks);
    return !got.empty() && got.back().locks.size() == 1 ? got.back().locks[0].state : '?';
}

TEST(VeskRouter, LocksBelongToOneClient) {
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "4", "--outputs", "4"});
    auto a = std::make_unique<Connected>(router.port());
    Connected b(router.port());
    ASSERT_FALSE(a->dump.empty());
    ASSERT_FALSE(b.dump.empty());
    a->client.send("VIDEO OUTPUT LOCKS:\n1 O\n\n");
    EXPECT_EQ(nextLockPush(a->client), 'O');
    EXPECT_EQ(nextLockPush(b.client), 'L');
    // Another client's lock: no route, no take, no unlock; L is the server's.
    for (const char* refused : {"VIDEO OUTPUT ROUTING:\n1 3\n\n", "VIDEO OUTPUT LOCKS:\n1 O\n\n",
                                "VIDEO OUTPUT LOCKS:\n1 U\n\n", "VIDEO OUTPUT LOCKS:\n2 L\n\n"}) {
        b.client.send(refused);
        EXPECT_EQ(kinds(b.client.readAnswer()), "NAK ") << "sent: " << refused;
    }
    a.reset();  // its locks end with its connection
    EXPECT_EQ(nextLockPush(b.client), 'U');
}

TEST(VeskRouter, AForcedUnlockFreesAnotherClientsLock) {
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "4", "--outputs", "4"});
    Connected a(router.port()), b(router.port());
    ASSERT_FALSE(a.dump.empty());
    ASSERT_FALSE(b.dump.empty());
    a.client.send("VIDEO OUTPUT LOCKS:\n1 O\n\n");
    ASSERT_EQ(nextLockPush(b.client), 'L');
    b.client.send("VIDEO OUTPUT LOCKS:\n1 F\n\n");
    EXPECT_EQ(kinds(b.client.readAnswer()), "ACK ");
    EXPECT_EQ(nextLockPush(b.client), 'U');
    EXPECT_EQ(nextLockPush(a.client), 'O') << "its own take first";
    EXPECT_EQ(nextLockPush(a.client), 'U');
    b.client.send("VIDEO OUTPUT ROUTING:\n1 3\n\n");
    EXPECT_EQ(kinds(b.client.readAnswer()), "ACK ") << "output 1 is free again";
}

TEST(VeskRouter, DropsAClientWhoseLineNeverEnds) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Connected c(router.port());
    ASSERT_FALSE(c.dump.empty());
    c.client.send("INPUT LABELS:\n1 " + std::string(kMaxVideohubLine, 'x'));
    EXPECT_TRUE(c.client.closedByServer());
    EXPECT_NE(router.waitForLine("client 1 disconnected: a line over 65536 bytes"), "");
    Connected again(router.port());
    EXPECT_EQ(again.dump.size(), 7u) << "still serving";
}

TEST(VeskRouter, RefusesTheThirtyThirdClient) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    std::vector<std::unique_ptr<Connected>> clients;
    for (int i = 0; i < 32; ++i) clients.push_back(std::make_unique<Connected>(router.port()));
    ASSERT_NE(router.waitForLine("client 32 connected"), "");
    Client extra(router.port());
    EXPECT_TRUE(extra.closedByServer());
    EXPECT_NE(router.waitForLine("refused: 32 clients already"), "");
    clients.pop_back();
    ASSERT_NE(router.waitForLine("client 32 disconnected"), "");
    Connected again(router.port());
    EXPECT_EQ(again.dump.size(), 7u) << "a place is free again";
}

TEST(VeskRouter, DeviceGoesAndComesBack) {
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "2", "--outputs", "2"});
    Connected c(router.port());
    ASSERT_FALSE(c.dump.empty());
    router.command("present false");
    const std::vector<VideohubBlock> gone = c.client.readUntilKind(BlockKind::Device);
    ASSERT_FALSE(gone.empty());
    EXPECT_EQ(gone.back().device.presence, Presence::Absent);
    c.client.send("VIDEO OUTPUT ROUTING:\n1 1\n\n");
    EXPECT_EQ(kinds(c.client.readUntilKind(BlockKind::Nak)), "NAK ");
    router.command("present true");
    EXPECT_EQ(kinds(c.client.readUntilKind(BlockKind::EndPrelude)),
              "VIDEOHUB DEVICE: INPUT LABELS: OUTPUT LABELS: VIDEO OUTPUT LOCKS: VIDEO OUTPUT ROUTING: END PRELUDE: ");
}

// Bytes from clients reach the log escaped: a terminal reading it is never
// steered (title, screen clear) by a client.
TEST(VeskRouter, TheLogEscapesWhatClientsSent) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Connected c(router.port());
    ASSERT_FALSE(c.dump.empty());
    c.client.send("INPUT LABELS:\n1 \x1b]0;owned\x07\x1b[2J\n\n");
    ASSERT_EQ(kinds(c.client.readAnswer()), "NAK ");
    const std::string line = router.waitForLine(" NAK: ");
    EXPECT_NE(line.find("1 \\x1B]0;owned\\x07\\x1B[2J"), std::string::npos) << line;
    EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
}

// The console's labels follow the clients' rule: no control bytes.
TEST(VeskRouter, TheConsoleRefusesALabelAClientCouldNotSend) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Connected c(router.port());
    ASSERT_FALSE(c.dump.empty());
    router.command("label 2 a\x1b[2Jb");
    router.command("label 3 fine");
    const std::vector<VideohubBlock> got = c.client.readUntilKind(BlockKind::InputLabels);
    ASSERT_TRUE(lastOf(got) && got.back().labels.size() == 1u) << kinds(got);
    EXPECT_EQ(got.back().labels[0].index, 3) << "label 2 was not refused";
}

TEST(VeskRouter, StopsOnSignal) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    ASSERT_NE(router.port(), 0);
    router.signal(SIGTERM);
    EXPECT_EQ(router.waitExit(), 0);
}

}  // namespace
