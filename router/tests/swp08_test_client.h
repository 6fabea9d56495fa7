// A plain POSIX socket SW-P-08 client for tests, on 127.0.0.1: frames out,
// framer events in. It answers nothing by itself; the test ACKs (or NAKs)
// each frame it reads. Every wait is bounded (kWait, or less when given);
// a wait that times out returns nothing.
#ifndef VESK_ROUTER_TESTS_SWP08_TEST_CLIENT_H
#define VESK_ROUTER_TESTS_SWP08_TEST_CLIENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "router_process.h"
#include "swp08/swp08_frame.h"
#include "swp08/swp08_message.h"

namespace router_test {

// The frame carrying `message`.
inline swp08::Bytes frameOf(const swp08::Message& message) {
    const std::optional<swp08::Bytes> data = swp08::encodeMessage(message);
    return data ? swp08::encodeFrame(*data) : swp08::Bytes{};
}

class Swp08Client {
public:
    explicit Swp08Client(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Swp08Client() { close(fd_); }
    Swp08Client(const Swp08Client&) = delete;
    Swp08Client& operator=(const Swp08Client&) = delete;

    bool connected() const { return connected_; }
    void sendRaw(const swp08::Bytes& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void send(const swp08::Message& message) { sendRaw(frameOf(message)); }
    void ack() { sendRaw(swp08::ackBytes()); }
    void nak() { sendRaw(swp08::nakBytes()); }

    // The next framer event; null when none comes within `wait`, or the
    // connection ends.
    std::optional<swp08::FrameEvent> next(std::chrono::milliseconds wait = kWaitMs) {
        const auto deadline = Clock::now() + wait;
        while (events_.empty()) {
            const std::string more = readSome(fd_, deadline);
            if (more.empty()) return std::nullopt;
            std::vector<swp08::FrameEvent> got;
            framer_.feed(more, got);
            events_.insert(events_.end(), got.begin(), got.end());
        }
        swp08::FrameEvent event = std::move(events_.front());
        events_.pop_front();
        return event;
    }
    // The DATA of the next frame, ACKed; DLE ACK and NAK before it are
    // skipped. Empty when none comes within `wait`.
    swp08::Bytes nextFrame(std::chrono::milliseconds wait = kWaitMs) {
        for (std::optional<swp08::FrameEvent> e; (e = next(wait));) {
            if (e->kind != swp08::FrameEventKind::Frame) continue;
            ack();
            return e->data;
        }
        return {};
    }
    // The next `count` messages, each ACKed (fewer when they stop coming).
    std::vector<swp08::Message> messages(size_t count) {
        std::vector<swp08::Message> out;
        for (swp08::Bytes data; out.size() < count && !(data = nextFrame()).empty();)
            out.push_back(swp08::decodeMessage(data).message);
        return out;
    }
    // True when the server closes the connection within kWait.
    bool closedByServer() {
        const auto deadline = Clock::now() + kWait;
        char buffer[4096];
        for (pollfd p{fd_, POLLIN, 0}; poll(&p, 1, msLeft(deadline)) > 0;)
            if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return true;
        return false;
    }

    static constexpr std::chrono::milliseconds kWaitMs{std::chrono::duration_cast<std::chrono::milliseconds>(kWait)};

private:
    int fd_;
    bool connected_ = false;
    swp08::Framer framer_;
    std::deque<swp08::FrameEvent> events_;  // read, not yet returned
};

}  // namespace router_test

#endif  // VESK_ROUTER_TESTS_SWP08_TEST_CLIENT_H
