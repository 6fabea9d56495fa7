// One TCP connection to a router, kept for as long as the client lives, for
// any protocol: the protocol object turns bytes into meaning and says what to
// write; this class owns the socket and its timers.
//
// Connection rules:
//   - it connects when started, resolving a host name asynchronously (never
//     on the caller's thread); a refused connect, a connect unanswered after
//     `deadAfter`, a drop, or `deadAfter` of silence closes the connection
//     and connects again after a back-off doubling from `firstRetry` up to
//     `maxRetry`, for as long as it runs. A failed connect is noted once per
//     outage;
//   - a connection that ends within `stableAfter` of opening counts as a
//     failed attempt: the back-off keeps growing, and from the second such
//     close in a row on, the link changes are marked as repeats (a router
//     that accepts and closes at once is not reported three lines a time);
//     once such a connection lasts `stableAfter`, it is reported connected;
//   - after `pingAfter` of silence the protocol's keep-alive is sent, and
//     again after each further `pingAfter` of silence that follows an
//     answer; silence is what the router did not send while the loop ran:
//     data already waiting when the timer fires is no silence;
//   - requests go out one at a time (an AckQueue): the next is written only
//     after the protocol calls answered(). With a resend interval, one
//     unanswered that long is written again, `maxResends` times at most, then
//     the connection is dropped; resend() writes it again at once. Requests
//     still waiting when the connection ends are dropped with a note;
//   - raw writes (acknowledges) go out at once, ahead of nothing in flight;
//     writes waiting behind the one being written are joined into one
//     buffer; more than kMaxUnsentBytes waiting drops the connection (a
//     router that reads nothing of what it is sent);
//   - every write is sent at once (TCP_NODELAY): a protocol that waits for an
//     acknowledge before its next message (SW-P-08) would otherwise meet
//     Nagle's rule and the peer's delayed ACK, some 40 ms a message.
//
// Lifetime: every handler holds the client's state alive and does nothing
// once the client is stopped or destroyed, so destroying a client while its
// handlers are queued is safe (they run later and return). The protocol
// object is never called after stop() or destruction.
// Everything runs on the thread that runs the io_context.
#ifndef VESK_ROUTER_NET_TCP_CLIENT_H
#define VESK_ROUTER_NET_TCP_CLIENT_H

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct ClientTiming {
    std::chrono::milliseconds pingAfter{5000};
    std::chrono::milliseconds deadAfter{15000};
    std::chrono::milliseconds firstRetry{100};
    std::chrono::milliseconds maxRetry{2000};
    std::chrono::milliseconds stableAfter{1000};
    // Zero: a request waits for its answer as long as the connection lasts.
    std::chrono::milliseconds resendAfter{0};
    int maxResends = 0;
};

// A change of the connection's state, for the protocol to pass on.
struct LinkChange {
    enum class State { Connected, Lost, Refused };
    State state;
    // Lost / Refused: why ("the router closed it", "Connection refused").
    std::string why;
    // Refused: the longest wait between attempts.
    std::chrono::milliseconds retry{0};
    // Connected / Lost while the router closes each connection within
    // `stableAfter` of opening: how many repeats came before this one in the
    // current run (0: not a repeat, show it).
    unsigned repeats = 0;
    // Lost: requests still waiting that the close dropped.
    size_t dropped = 0;
};

// What the client tells its protocol. Calls come from inside the client's
// handlers; a protocol may call the client back (request, write, drop).
class ClientProtocol {
public:
    virtual ~ClientProtocol() = default;
    // A new connection: forget everything of the last one.
    virtual void connected() = 0;
    // Bytes as they arrived.
    virtual void received(std::string_view bytes) = 0;
    // Why the router's close reads as it does ("the router closed it", or a
    // more precise reason such as a close in the middle of a message).
    virtual std::string closedBecause() const { return "the router closed it"; }
    // The connection ended (dropped or refused), after linkChanged.
    virtual void disconnected() {}
    // The connection opened, closed or could not be made.
    virtual void linkChanged(const LinkChange& change) = 0;
    // After `pingAfter` of silence, with no request held: queue the
    // keep-alive with request() and say so (true), or send none (false).
    virtual bool keepAlive() = 0;
    // A line for the transcript (the client's own notes).
    virtual void note(const std::string& text) = 0;
};

class TcpClient {
public:
    // Requests waiting beyond this many are refused with a note: room for a
    // route to every destination of the largest router kept (a salvo from a
    // script), at a few dozen bytes each.
    static constexpr size_t kMaxWaitingRequests = 4096;
    static constexpr size_t kMaxUnsentBytes = 1 << 20;

    // `protocol` must outlive the client or its stop().
    TcpClient(asio::io_context& io, std::string host, uint16_t port, ClientTiming timing, ClientProtocol& protocol);
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    void start();
    // Closes and cancels everything; the protocol is not called again.
    void stop();

    bool connected() const;
    // The first connect has come to an end (connected, failed or dropped).
    bool triedOnce() const;
    // "host:port", brackets around an IPv6 host.
    std::string address() const;

    // Queues a request; `what` names it in notes ("the route of ..."), `tag`
    // is the protocol's own (inFlight()). False when not connected or too
    // many wait (a note says which).
    bool request(std::string bytes, std::string what, int tag = 0);
    // The router answered the request in flight (accepted or refused); an
    // answer to nothing is ignored. False when nothing was in flight.
    bool answered(bool accepted);
    // The router asked for the request in flight again (a negative
    // acknowledge): it is written again at once, counted as a re-send.
    void resend();
    // The request in flight: its tag and name.
    struct InFlight {
        int tag;
        std::string what;
    };
    std::optional<InFlight> inFlight() const;
    // Writes at once, outside the request queue.
    void write(std::string bytes);
    // Drops the connection with `why` and connects again after the back-off.
    void drop(const std::string& why);

    // Counters for tests and diagnostics.
    struct Counters {
        unsigned connects = 0;
        unsigned drops = 0;
        unsigned keepAlives = 0;
        unsigned resends = 0;
        unsigned requestsDropped = 0;
    };
    Counters counters() const;
    size_t waitingRequests() const;
    bool requestInFlight() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

// "1.5 s" for 1500 ms: the client's notes give times so.
std::string secondsText(std::chrono::milliseconds ms);

#endif  // VESK_ROUTER_NET_TCP_CLIENT_H
