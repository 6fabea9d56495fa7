// A TCP server on an Asio io_context that knows nothing of any protocol. For
// each connection it accepts, a factory makes the session object that owns
// that connection's protocol state (its parser or framer, its queues, its
// timers), as Asio's own server examples are shaped; the server feeds it the
// bytes read and writes what it sends. vesk-router runs one per service.
//
// Threading: everything, every session call included, happens on the thread
// running the io_context.
//
// Invariants:
//   - a connection's bytes reach the socket in the order they were sent, and
//     at once (TCP_NODELAY), not held back for the peer's acknowledge of the
//     last segment;
//   - unsent bytes are bounded. A connection whose unsent bytes would pass
//     Limits::maxUnsentBytes is closed ("it reads too slowly"); when the
//     unsent bytes of all the server's connections together pass
//     Limits::maxTotalUnsentBytes, the connection holding the most of them is
//     closed ("it reads too slowly: ... all clients together"), until they
//     are within it again. Unsent bytes are kept in blocks of up to
//     kSendBlock bytes (small sends share a block), so the memory they take
//     is about what is counted, and goes back when they are written or the
//     connection ends;
//   - TcpSession::closed is called exactly once per session, and never from
//     inside a call into the server or a connection (send, close,
//     broadcast): it is posted (or, for sessions still waiting for it, made
//     by the server's destructor). The session is destroyed right after it
//     returns, so a session may send to others while walking them;
//   - after a failed accept (out of descriptors, say) the next is tried
//     after Limits::acceptRetry, not at once.
#ifndef VESK_ROUTER_NET_TCP_SERVER_H
#define VESK_ROUTER_NET_TCP_SERVER_H

#include <asio.hpp>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

// One accepted connection, as its session sees it. Valid from the factory
// call until the session's closed() returns.
class TcpConnection {
public:
    virtual ~TcpConnection() = default;
    // Unique within its server, from 1.
    virtual uint64_t id() const = 0;
    // "ADDR:PORT" of the peer ("?" when unknown).
    virtual const std::string& peer() const = 0;
    virtual bool open() const = 0;
    // Queues `bytes`; nothing once closed. May close this connection or,
    // over the total budget, another one (see the invariants).
    virtual void send(std::string bytes) = 0;
    // Closes the connection now (unsent bytes are dropped); closed(`why`)
    // follows later. Nothing when already closed.
    virtual void close(const std::string& why) = 0;
    // Bytes sent and not yet written to the socket.
    virtual size_t unsentBytes() const = 0;
};

// One connection's protocol: made by the server's factory when the
// connection is accepted, destroyed after closed().
class TcpSession {
public:
    virtual ~TcpSession() = default;
    // Bytes as they came (any split); not called once the connection is closed.
    virtual void received(std::string_view bytes) = 0;
    // The connection ended: `why` is "closed" (by the peer), a socket error,
    // "it reads too slowly ...", the reason given to close, or "server
    // closed". The last call.
    virtual void closed(const std::string& why) = 0;
};

// Makes the session of a new connection, before any of its bytes; null
// refuses it (the server closes it at once; the factory says why in its own
// log). A session may send from the factory call on.
using TcpSessionFactory = std::function<std::unique_ptr<TcpSession>(TcpConnection& connection)>;

class TcpServer {
public:
    // Small sends share blocks of up to this many bytes.
    static constexpr size_t kSendBlock = 16 * 1024;

    struct Limits {
        size_t maxUnsentBytes = 4 * 1024 * 1024;        // one connection
        size_t maxTotalUnsentBytes = 16 * 1024 * 1024;  // all the server's connections
        std::chrono::milliseconds acceptRetry{200};
    };
    // Counts for tests and logs.
    struct Counters {
        uint64_t accepted = 0;
        uint64_t refused = 0;  // by the factory
        uint64_t acceptFailures = 0;
        uint64_t slowReaderDrops = 0;  // over maxUnsentBytes
        uint64_t budgetDrops = 0;      // over maxTotalUnsentBytes
    };

    // Listens on `endpoint` (port 0: a free one) and makes each connection's
    // session with `factory`; "accept failed: ..." lines go to `log`. Throws
    // asio::system_error when it cannot listen.
    TcpServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpSessionFactory factory,
              std::ostream& log, Limits limits);
    TcpServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpSessionFactory factory,
              std::ostream& log)
        : TcpServer(io, endpoint, std::move(factory), log, Limits()) {}
    // Closes everything and calls closed() for every session still waiting
    // for it; no session call happens after it.
    ~TcpServer();
    TcpServer(const TcpServer&) = delete;
    TcpServer& operator=(const TcpServer&) = delete;

    asio::ip::tcp::endpoint endpoint() const;
    // Sends `bytes` to every open connection.
    void broadcast(const std::string& bytes);
    size_t sessionCount() const;
    // Unsent bytes of all connections together.
    size_t unsentBytes() const;
    const Counters& counters() const;
    // Stops accepting and closes every connection (each session gets
    // closed("server closed")); the io_context then runs out.
    void close();

    struct Core;  // shared with the connections' handlers

private:
    void accept();

    std::shared_ptr<Core> core_;
};

// "16 MiB", "512 KiB", "300 bytes": sizes in the log.
std::string bytesText(size_t bytes);

#endif  // VESK_ROUTER_NET_TCP_SERVER_H
