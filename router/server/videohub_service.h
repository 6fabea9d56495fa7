// The Videohub Ethernet protocol served from a SharedRouter: a TcpProtocol for
// a TcpServer. vesk-router's network side for Videohub clients.
//
// Each client gets the whole dump on connect (while the device is present;
// otherwise the preamble and the device block). Every change told by the
// SharedRouter, whoever made it (a client of this or another service, or the
// console), is pushed to every client as a block of the changed line (a route
// to the input already routed is echoed too, so a client always sees its
// request confirmed). Client blocks are answered as the protocol says:
//   - PING: and a header with no lines (for a block the server keeps) get ACK,
//     the latter then the whole block;
//   - labels, routes and locks are applied all or nothing: ACK, then the push;
//     a skipped line, an index beyond the model's size, a route, 'O' or 'U'
//     on an output locked by another client, an 'L', or a device not present
//     gets NAK;
//   - every other block gets NAK; ACK and NAK from clients are ignored.
// Locks: 'O' takes an output for the client, 'U' frees the client's own, 'F'
// frees anyone's; a client's locks end with its connection. Each client sees
// its own locks as 'O' and the others' as 'L'.
//
// A client is dropped when it sends a line over kMaxVideohubLine (or, by the
// TcpServer, reads too slowly). Every connect, drop and NAK is written to
// `log`, one line each, client bytes escaped (escapeText).
#ifndef VESK_ROUTER_SERVER_VIDEOHUB_SERVICE_H
#define VESK_ROUTER_SERVER_VIDEOHUB_SERVICE_H

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <string_view>

#include "shared_router.h"
#include "tcp_server.h"
#include "videohub_block.h"
#include "videohub_parser.h"

class VideohubService : public TcpProtocol {
public:
    struct Counters {
        uint64_t acks = 0;
        uint64_t naks = 0;
    };

    // Serves `router` (which must outlive this) as a device named
    // `modelName`; subscribes to its changes until destroyed.
    VideohubService(SharedRouter& router, std::string modelName, std::ostream& log);
    ~VideohubService() override;
    VideohubService(const VideohubService&) = delete;
    VideohubService& operator=(const VideohubService&) = delete;

    void connected(TcpSession& session) override;
    void received(TcpSession& session, std::string_view bytes) override;
    void closed(TcpSession& session, const std::string& why) override;

    size_t clientCount() const { return clients_.size(); }
    const Counters& counters() const { return counters_; }

private:
    struct Client {
        TcpSession* session;
        int id;  // the SharedRouter's client id
        VideohubParser parser;
    };

    void onChange(const RouterChange& change);
    void onBlock(Client& client, const VideohubBlock& block);
    void answerRequest(Client& client, const VideohubBlock& block);
    // Why `client`'s change block cannot be applied, or "" when it can.
    std::string refusal(const Client& client, const VideohubBlock& block) const;
    void apply(const Client& client, const VideohubBlock& block);
    void ack(Client& client);
    void nak(Client& client, const std::string& why);
    std::string dumpFor(int client) const;

    SharedRouter& router_;
    const std::string modelName_;
    std::ostream& log_;
    int token_;
    Counters counters_;
    std::map<uint64_t, Client> clients_;  // by TcpSession::id()
};

#endif  // VESK_ROUTER_SERVER_VIDEOHUB_SERVICE_H
