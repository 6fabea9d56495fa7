// vesk-router as a program: started on 127.0.0.1 with a free port, driven on
// its standard input and spoken to by plain POSIX socket clients. Every wait
// is bounded (kWait); the router is stopped by "quit" or a signal.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "router_process.h"
#include "videohub_format.h"
#include "videohub_parser.h"

namespace {

using namespace router_test;

class Client {
public:
    explicit Client(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { close(fd_); }
    bool connected() const { return connected_; }
    void send(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    // Blocks up to and including the first one `done` accepts; all of them
    // when none comes within kWait.
    std::vector<VideohubBlock> readUntil(const std::function<bool(const VideohubBlock&)>& done) {
        const auto deadline = Clock::now() + kWait;
        for (size_t at = 0;; ++at) {
            while (at == pending_.size()) {
                const std::string more = readSome(fd_, deadline);
                if (more.empty()) {
                    std::vector<VideohubBlock> all;
                    all.swap(pending_);
                    return all;
                }
                parser_.feed(more, pending_);
            }
            if (done(pending_[at])) {
                std::vector<VideohubBlock> got(pending_.begin(), pending_.begin() + static_cast<long>(at) + 1);
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(at) + 1);
                return got;
            }
        }
    }
    std::vector<VideohubBlock> readUntilKind(BlockKind kind) {
        return readUntil([kind](const VideohubBlock& b) { return b.kind == kind; });
    }
    // True when the server closes the connection within kWait.
    bool closedByServer() {
        const auto deadline = Clock::now() + kWait;
        char buffer[4096];
        for (pollfd p{fd_, POLLIN, 0}; poll(&p, 1, msLeft(deadline)) > 0;)
            if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
        return false;
    }

private:
    int fd_;
    bool connected_ = false;
    VideohubParser parser_;
    std::vector<VideohubBlock> pending_;  // read, not yet returned
};

std::string kinds(const std::vector<VideohubBlock>& blocks) {
    std::string out;
    for (const VideohubBlock& b : blocks) out += (b.header.empty() ? "?" : b.header) + " ";
    return out;
}

// A client connected and past the dump.
struct Connected {
    explicit Connected(int port) : client(port) { dump = client.readUntilKind(BlockKind::EndPrelude); }
    Client client;
    std::vector<VideohubBlock> dump;
};

TEST(VeskRouter, SendsTheWholeDumpOnConnect) {
    const std::string labels = testing::TempDir() + "vesk_router_labels.txt";
    std::ofstream(labels) << "INPUT LABELS:\n3 Cam four\n\nVIDEO OUTPUT ROUTING:\n5 3\n";
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "12", "--outputs", "8", "--labels", labels});
    ASSERT_NE(router.port(), 0);
    Connected c(router.port());
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

TEST(VeskRouter, PushesEveryChangeToEveryClient) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Connected a(router.port()), b(router.port());
    a.client.send("VIDEO OUTPUT ROUTING:\n2 7\n\n");
    std::vector<VideohubBlock> got = a.client.readUntilKind(BlockKind::Routing);
    ASSERT_EQ(kinds(got), "ACK VIDEO OUTPUT ROUTING: ");
    for (const auto& blocks : {got, b.client.readUntilKind(BlockKind::Routing)}) {
        ASSERT_EQ(blocks.back().routes.size(), 1u) << kinds(blocks);
        EXPECT_EQ(blocks.back().routes[0].output, 2);
        EXPECT_EQ(blocks.back().routes[0].input, 7);
    }
    router.command("label 7 New name");
    for (Client* client : {&a.client, &b.client}) {
        got = client->readUntilKind(BlockKind::InputLabels);
        ASSERT_EQ(got.back().labels.size(), 1u) << kinds(got);
        EXPECT_EQ(got.back().labels[0].index, 7);
        EXPECT_EQ(got.back().labels[0].text, "New name");
    }
    EXPECT_NE(router.waitForLine("route 2 7 by client 1"), "");
    EXPECT_NE(router.waitForLine("label 7 New name"), "");
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
    for (const AnswerCase& k : cases) {
        c.client.send(k.sent);
        std::vector<VideohubBlock> got = c.client.readUntil(
            [](const VideohubBlock& b) { return b.kind == BlockKind::Ack || b.kind == BlockKind::Nak; });
        if (!got.empty() && got.back().kind == BlockKind::Ack && std::string(k.answers) != "ACK ") {
            const std::vector<VideohubBlock> block = c.client.readUntil([](const VideohubBlock&) { return true; });
            got.insert(got.end(), block.begin(), block.end());
            EXPECT_EQ(got.back().labels.size() + got.back().locks.size(), 16u) << "sent: " << k.sent;
        }
        EXPECT_EQ(kinds(got), k.answers) << "sent: " << k.sent;
    }
}

TEST(VeskRouter, LocksBelongToOneClient) {
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "4", "--outputs", "4"});
    auto a = std::make_unique<Connected>(router.port());
    Connected b(router.port());
    a->client.send("VIDEO OUTPUT LOCKS:\n1 O\n\n");
    EXPECT_EQ(a->client.readUntilKind(BlockKind::Locks).back().locks[0].state, 'O');
    EXPECT_EQ(b.client.readUntilKind(BlockKind::Locks).back().locks[0].state, 'L');
    b.client.send("VIDEO OUTPUT ROUTING:\n1 3\n\n");
    EXPECT_EQ(kinds(b.client.readUntilKind(BlockKind::Nak)), "NAK ");
    a.reset();  // its locks end with its connection
    const std::vector<VideohubBlock> got = b.client.readUntilKind(BlockKind::Locks);
    ASSERT_EQ(got.back().locks.size(), 1u) << kinds(got);
    EXPECT_EQ(got.back().locks[0].state, 'U');
}

TEST(VeskRouter, DropsAClientWhoseLineNeverEnds) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Connected c(router.port());
    c.client.send("INPUT LABELS:\n1 " + std::string(kMaxVideohubLine, 'x'));
    EXPECT_TRUE(c.client.closedByServer());
    EXPECT_NE(router.waitForLine("client 1 disconnected: a line over 65536 bytes"), "");
    Connected again(router.port());
    EXPECT_EQ(again.dump.size(), 7u) << "still serving";
}

TEST(VeskRouter, DeviceGoesAndComesBack) {
    RouterProcess router({"--listen", "127.0.0.1:0", "--inputs", "2", "--outputs", "2"});
    Connected c(router.port());
    router.command("present false");
    EXPECT_EQ(c.client.readUntilKind(BlockKind::Device).back().device.presence, Presence::Absent);
    c.client.send("VIDEO OUTPUT ROUTING:\n1 1\n\n");
    EXPECT_EQ(kinds(c.client.readUntilKind(BlockKind::Nak)), "NAK ");
    router.command("present true");
    EXPECT_EQ(kinds(c.client.readUntilKind(BlockKind::EndPrelude)),
              "VIDEOHUB DEVICE: INPUT LABELS: OUTPUT LABELS: VIDEO OUTPUT LOCKS: VIDEO OUTPUT ROUTING: END PRELUDE: ");
}

TEST(VeskRouter, StopsOnSignal) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    ASSERT_NE(router.port(), 0);
    router.signal(SIGTERM);
    EXPECT_EQ(router.waitExit(), 0);
}

}  // namespace
