// Swp08Service in-process on 127.0.0.1 with its limits shortened: a
// connection that says nothing at all is closed, one that sent an ACK stays.
// The io_context runs on the test's thread, in bounded slices.
#include "swp08_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "swp08/swp08_frame.h"

namespace {

using namespace std::chrono_literals;

int connectTo(unsigned short port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

// Runs `io` in short slices until `done` or `limit`.
bool runUntil(asio::io_context& io, const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        io.restart();
        io.run_for(10ms);
    }
    return done();
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Swp08Service, ClosesAConnectionThatSaysNothing) {
    RouterModel model(4, 4);
    SharedRouter router(model);
    std::ostringstream log;
    asio::io_context io;
    Swp08Service::Limits limits;
    limits.silenceLimit = 300ms;
    Swp08Service service(io, router, Swp08Table{}, log, limits);
    TcpServer server(io, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0), service.factory(), log);
    const int silent = connectTo(server.endpoint().port()), acking = connectTo(server.endpoint().port());
    ASSERT_TRUE(runUntil(io, [&] { return service.clientCount() == 2; }));
    const swp08::Bytes& ack = swp08::ackBytes();
    ASSERT_EQ(send(acking, ack.data(), ack.size(), MSG_NOSIGNAL), 2);
    ASSERT_TRUE(runUntil(io, [&] { return service.counters().silentDrops == 1; })) << log.str();
    runUntil(io, [] { return false; }, 400ms);  // past the limit again: the other stays
    EXPECT_EQ(service.clientCount(), 1u) << log.str();
    EXPECT_EQ(count(log.str(), " disconnected: it sent nothing within 0.3 s"), 1u) << log.str();
    char byte;
    EXPECT_EQ(recv(silent, &byte, 1, 0), 0) << "closed by the router";
    close(silent);
    close(acking);
}

}  // namespace
