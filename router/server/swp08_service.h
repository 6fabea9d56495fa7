// The SW-P-08 router protocol served from a SharedRouter: a TcpProtocol for
// a TcpServer of its own, beside (or instead of) the Videohub service. The
// TCP stream carries the serial bytes unchanged (see swp08/swp08_frame.h).
//
// Link: every good frame from a client is answered DLE ACK at once, every
// dropped one (bad checksum, count, escape, a restart, an oversize frame)
// DLE NAK. Our own messages go one at a time per client (Swp08Outbox): the
// next after the client's ACK; the one in flight again after its NAK or
// Limits::outbox.ackTimeout without an answer, given up after maxResends
// re-sends. A client whose queue would pass maxQueuedBytes (it never
// acknowledges) is dropped.
//
// Requests are answered as swp08_answers.h says (replies after the ACK). A
// connect is checked against the locks as a Videohub client's route is (an
// output locked by another client gets 99), applied through the SharedRouter
// and, like every route change told by it (from this service, another one
// or the console), sent as CONNECTED (04) to every client; the client whose
// extended connect it was gets it in the extended form. A label change, by
// anyone, schedules NAMES UPDATED (30) to every client Limits::namesDelay
// later; changes meanwhile share it. While the device is not present no
// CONNECTED goes out and requests get 99; when it is back, 30 follows.
//
// At most Limits::maxClients clients: another connection is closed at once.
// Log lines (client bytes never appear raw): "swp08 client N connected from
// PEER", "swp08 client N disconnected: WHY", "swp08 connection from PEER
// refused: ...", "swp08 client N NAK: WHAT", "swp08 client N invalid: WHY"
// (a 99 sent), "swp08 client N gave up on a message after K re-sends",
// "swp08 client N skipped K bytes outside frames". Changes are logged by
// change_log.h with the origin "swp08 client N".
#ifndef VESK_ROUTER_SERVER_SWP08_SERVICE_H
#define VESK_ROUTER_SERVER_SWP08_SERVICE_H

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "shared_router.h"
#include "swp08_answers.h"
#include "swp08_outbox.h"
#include "swp08/swp08_frame.h"
#include "tcp_server.h"

class Swp08Service : public TcpProtocol {
public:
    struct Limits {
        size_t maxClients = 16;
        std::chrono::milliseconds namesDelay{2000};
        Swp08Outbox::Limits outbox;
    };
    struct Counters {
        uint64_t frames = 0;    // good frames received (each ACKed)
        uint64_t naksSent = 0;  // frames dropped (each NAKed)
        uint64_t invalid = 0;   // 99s sent
        uint64_t refused = 0;   // connections over maxClients
        uint64_t resends = 0;   // of our messages
        uint64_t givenUp = 0;   // our messages given up
    };

    // Serves `router` as `table`, with timers on `io`; `router`, `io` and
    // `log` must outlive this. Subscribes to the router's changes until
    // destroyed.
    Swp08Service(asio::io_context& io, SharedRouter& router, Swp08Table table, std::ostream& log, Limits limits);
    Swp08Service(asio::io_context& io, SharedRouter& router, Swp08Table table, std::ostream& log)
        : Swp08Service(io, router, table, log, Limits()) {}
    ~Swp08Service() override;
    Swp08Service(const Swp08Service&) = delete;
    Swp08Service& operator=(const Swp08Service&) = delete;

    void connected(TcpSession& session) override;
    void received(TcpSession& session, std::string_view bytes) override;
    void closed(TcpSession& session, const std::string& why) override;

    size_t clientCount() const { return clients_.size(); }
    const Counters& counters() const { return counters_; }

private:
    struct Client {
        Client(asio::io_context& io, TcpSession& s, int clientId, Swp08Outbox::Limits limits)
            : session(&s), id(clientId), outbox(limits), timer(io) {}
        TcpSession* session;
        int id;  // the SharedRouter's client id
        swp08::Framer framer;
        Swp08Outbox outbox;
        asio::steady_timer timer;  // the outbox's deadline
    };

    void onChange(const RouterChange& change, const Origin& origin);
    void onFrameEvent(Client& client, const swp08::FrameEvent& event);
    void onRequest(Client& client, const swp08::Bytes& data);
    void take(Client& client, uint8_t command, const Swp08Answer& answer);
    // Sends 99 about `command` and logs `why`.
    void refuse(Client& client, uint8_t command, const std::string& why);
    // Queues `message` for `client` and sends what is due.
    void send(Client& client, const swp08::Message& message);
    void sendToAll(const swp08::Message& message);
    // Writes what the outbox says is due and re-arms the client's timer.
    void pump(Client& client);
    void armTimer(Client& client);
    void scheduleNamesUpdated();
    std::string name(const Client& client) const;

    asio::io_context& io_;
    SharedRouter& router_;
    const Swp08Table table_;
    std::ostream& log_;
    const Limits limits_;
    // Expires with this: timer handlers that outlive it do nothing.
    std::shared_ptr<int> alive_;
    int token_;
    Counters counters_;
    std::map<uint64_t, std::unique_ptr<Client>> clients_;  // by TcpSession::id()
    asio::steady_timer namesTimer_;
    bool namesDue_ = false;   // namesTimer_ is armed
    // While a client's connect is applied: that client, and whether its
    // CONNECTED goes back in the extended form.
    int takingClient_ = 0;
    bool takingExtended_ = false;
};

#endif  // VESK_ROUTER_SERVER_SWP08_SERVICE_H
