// The SW-P-08 router protocol served from a SharedRouter: a RouterService
// for a TcpServer of its own, beside (or instead of) the Videohub service.
// The TCP stream carries the serial bytes unchanged (see swp08/swp08_frame.h).
//
// Link: every good frame from a client is answered DLE ACK at once, every
// dropped one (bad checksum, count, escape, a restart, an oversize frame)
// DLE NAK. Our own messages go one at a time per client (AckQueue): the
// next after the client's ACK; the one in flight again after its NAK or
// Limits::outbox.ackTimeout without an answer, given up after maxResends
// re-sends. A client whose queue would pass Limits::outbox.maxBytes (it never
// acknowledges) is dropped, and so is one that sent no frame, ACK or NAK
// within Limits::silenceLimit of connecting: a connection that says nothing
// would hold one of the Limits::maxClients places for ever.
//
// Requests are answered as swp08/swp08_answers.h says (replies after the
// ACK), on the levels of `table`. A connect on level 1 is checked against
// the locks as a Videohub client's route is (an output locked by another
// client gets 99); on any level it is applied through the SharedRouter and,
// like every route change told by it (from this service, another one or the
// console), sent as CONNECTED (04) with its level to every client; the
// client whose extended connect it was gets it in the extended form. A label
// change, by anyone, schedules NAMES UPDATED (30, with its data) to every
// client Limits::namesDelay later; changes meanwhile share it. While the
// device is not present no CONNECTED goes out and requests get 99; when it is
// back, 30 follows. A 99 from a client is never answered.
//
// At most Limits::maxClients clients: another connection is closed at once.
// Log lines (client bytes never appear raw): "swp08 client N connected from
// PEER", "swp08 client N disconnected: WHY", "swp08 connection from PEER
// refused: ...", "swp08 client N NAK: WHAT", "swp08 client N invalid: WHY"
// (a 99 sent), "swp08 client N sent WHAT: no answer" (a 99 received), "swp08
// client N gave up on LABEL after K re-sends", "swp08 client N skipped K
// bytes outside frames". Changes are logged by change_log.h with the origin
// "swp08 client N".
#ifndef VESK_ROUTER_SERVER_SWP08_SERVICE_H
#define VESK_ROUTER_SERVER_SWP08_SERVICE_H

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ack_queue.h"
#include "router_service.h"
#include "shared_router.h"
#include "swp08/swp08_answers.h"
#include "swp08/swp08_message.h"

class Swp08Service : public RouterService {
public:
    struct Limits {
        size_t maxClients = 16;
        std::chrono::milliseconds namesDelay{2000};
        std::chrono::milliseconds silenceLimit{10000};
        AckQueue::Limits outbox;
    };
    struct Counters {
        uint64_t frames = 0;       // good frames received (each ACKed)
        uint64_t naksSent = 0;     // frames dropped (each NAKed)
        uint64_t invalid = 0;      // 99s sent
        uint64_t refused = 0;      // connections over maxClients
        uint64_t resends = 0;      // of our messages
        uint64_t givenUp = 0;      // our messages given up
        uint64_t silentDrops = 0;  // connections that said nothing in time
    };

    // Serves `router` as `table` (its levels: table.levels of the router's,
    // at most router.levels()), with timers on `io`; `router`, `io` and `log`
    // must outlive this. Subscribes to the router's changes until destroyed.
    Swp08Service(asio::io_context& io, SharedRouter& router, Swp08Table table, std::ostream& log, Limits limits);
    Swp08Service(asio::io_context& io, SharedRouter& router, Swp08Table table, std::ostream& log)
        : Swp08Service(io, router, table, log, Limits()) {}
    ~Swp08Service() override;
    Swp08Service(const Swp08Service&) = delete;
    Swp08Service& operator=(const Swp08Service&) = delete;

    std::unique_ptr<TcpSession> open(TcpConnection& connection) override;
    size_t clientCount() const override { return clients_.size(); }
    const Counters& counters() const { return counters_; }

    class Client;  // one connection's session (swp08_service.cpp)

private:
    void onChange(const RouterChange& change);
    void sendToAll(const swp08::Message& message);
    void scheduleNamesUpdated();
    // Applies a client's connect: "" when done, else why not.
    std::string take(const Client& client, const Swp08Answer& answer);
    Swp08Router view() const;

    asio::io_context& io_;
    SharedRouter& router_;
    const Swp08Table table_;
    std::ostream& log_;
    const Limits limits_;
    // Expires with this: timer handlers that outlive it do nothing.
    std::shared_ptr<int> alive_;
    int token_;
    Counters counters_;
    std::vector<Client*> clients_;  // open sessions, in connection order
    asio::steady_timer namesTimer_;
    bool namesDue_ = false;  // namesTimer_ is armed
    // While a client's connect is applied: that client, and whether its
    // CONNECTED goes back in the extended form.
    const Client* taking_ = nullptr;
    bool takingExtended_ = false;
};

#endif  // VESK_ROUTER_SERVER_SWP08_SERVICE_H
