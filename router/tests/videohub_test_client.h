// A plain POSIX socket Videohub client for tests, on 127.0.0.1. Every wait is
// bounded (kWait); a wait that times out returns what it has, so callers
// ASSERT on sizes before indexing.
#ifndef VESK_ROUTER_TESTS_VIDEOHUB_TEST_CLIENT_H
#define VESK_ROUTER_TESTS_VIDEOHUB_TEST_CLIENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "router_process.h"
#include "videohub_parser.h"

namespace router_test {

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
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

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
    // The next ACK or NAK (and the blocks before it).
    std::vector<VideohubBlock> readAnswer() {
        return readUntil([](const VideohubBlock& b) { return b.kind == BlockKind::Ack || b.kind == BlockKind::Nak; });
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

// "HEADER HEADER ..." of `blocks`, for comparisons and messages.
inline std::string kinds(const std::vector<VideohubBlock>& blocks) {
    std::string out;
    for (const VideohubBlock& b : blocks) out += (b.header.empty() ? "?" : b.header) + " ";
    return out;
}

// A client connected and past the dump (`dump` is empty when it never came).
struct Connected {
    explicit Connected(int port) : client(port) {
        if (client.connected()) dump = client.readUntilKind(BlockKind::EndPrelude);
    }
    Client client;
    std::vector<VideohubBlock> dump;
};

}  // namespace router_test

#endif  // VESK_ROUTER_TESTS_VIDEOHUB_TEST_CLIENT_H
