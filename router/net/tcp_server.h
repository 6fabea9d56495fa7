// A TCP server on an Asio io_context that knows nothing of any protocol: it
// accepts connections, reads bytes, queues writes, and hands everything to a
// TcpProtocol. vesk-router runs one per protocol it serves.
//
// Threading: everything, including every TcpProtocol call, happens on the
// thread running the io_context.
//
// Invariants:
//   - a session's bytes reach the socket in the order they were sent;
//   - a session's bytes are sent at once (TCP_NODELAY), not held back for
//     the client's acknowledge of the last segment;
//   - a session whose unsent bytes exceed Limits::maxPendingBytes is closed
//     ("it reads too slowly"), so one stalled reader never holds more memory;
//   - TcpProtocol::closed is called exactly once per connected session, and
//     never from inside a call into the server (send, close, broadcast): it is
//     posted (or, for sessions still waiting for it, made by the destructor),
//     so a protocol may send while walking its own clients;
//   - after a failed accept (out of descriptors, say) the next is tried after
//     Limits::acceptRetry, not at once.
#ifndef VESK_ROUTER_NET_TCP_SERVER_H
#define VESK_ROUTER_NET_TCP_SERVER_H

#include <asio.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

class TcpSession;

// What a protocol does with connections. A session reference stays valid from
// connected() until closed() returns.
class TcpProtocol {
public:
    virtual ~TcpProtocol() = default;
    // A new connection, before any of its bytes.
    virtual void connected(TcpSession& session) = 0;
    // Bytes as they came (any split); not called once the session is closed.
    virtual void received(TcpSession& session, std::string_view bytes) = 0;
    // The connection ended: `why` is "closed" (by the peer), a socket error,
    // "it reads too slowly", the reason given to TcpSession::close, or
    // "server closed".
    virtual void closed(TcpSession& session, const std::string& why) = 0;
};

class TcpSession {
public:
    virtual ~TcpSession() = default;
    // Unique within its server, from 1.
    virtual uint64_t id() const = 0;
    // "ADDR:PORT" of the peer ("?" when unknown).
    virtual const std::string& peer() const = 0;
    virtual bool open() const = 0;
    // Queues `bytes`; nothing once closed. Closes the session when more than
    // maxPendingBytes would wait.
    virtual void send(std::string bytes) = 0;
    // Closes the connection now (unsent bytes are dropped); closed(`why`)
    // follows later. Nothing when already closed.
    virtual void close(const std::string& why) = 0;
};

class TcpServer {
public:
    struct Limits {
        size_t maxPendingBytes = 4 * 1024 * 1024;
        std::chrono::milliseconds acceptRetry{200};
    };
    // Counts for tests and logs.
    struct Counters {
        uint64_t accepted = 0;
        uint64_t acceptFailures = 0;
        uint64_t slowReaderDrops = 0;
    };

    // Listens on `endpoint` (port 0: a free one) for `protocol`, which must
    // outlive the server; "accept failed: ..." lines go to `log`. Throws
    // asio::system_error when it cannot listen.
    TcpServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpProtocol& protocol, std::ostream& log,
              Limits limits);
    TcpServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpProtocol& protocol, std::ostream& log)
        : TcpServer(io, endpoint, protocol, log, Limits()) {}
    // Closes everything and calls closed() for every session still waiting
    // for it; no protocol call happens after it.
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    asio::ip::tcp::endpoint endpoint() const;
    // Sends `bytes` to every open session.
    void broadcast(const std::string& bytes);
    size_t sessionCount() const;
    const Counters& counters() const;
    // Stops accepting and closes every session (each gets closed("server
    // closed")); the io_context then runs out.
    void close();

    struct Core;  // shared with the sessions' handlers

private:
    void accept();

    std::shared_ptr<Core> core_;
};

#endif  // VESK_ROUTER_NET_TCP_SERVER_H
