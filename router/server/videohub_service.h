// The Videohub Ethernet protocol served from a SharedRouter: a RouterService
// for a TcpServer. vesk-router's network side for Videohub clients. It shows
// the router's level 1.
//
// Each client gets the whole dump on connect (while the device is present;
// otherwise the preamble and the device block). Every change told by the
// SharedRouter on level 1, whoever made it (a client of this or another
// service, or the console), is pushed to every client as a block of the
// changed line (a route to the input already routed is echoed too, so a
// client always sees its request confirmed). Client blocks are answered as
// the protocol says:
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
// At most Limits::maxClients clients at once: another connection is refused
// ("connection from PEER refused: N clients already"). A client is dropped
// when it sends a line over kMaxVideohubLine (or, by the TcpServer, reads too
// slowly). Every connect, drop and NAK is written to `log`, one line each,
// client bytes escaped (escapeText).
#ifndef VESK_ROUTER_SERVER_VIDEOHUB_SERVICE_H
#define VESK_ROUTER_SERVER_VIDEOHUB_SERVICE_H

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "router_service.h"
#include "shared_router.h"

class VideohubService : public RouterService {
public:
    struct Limits {
        size_t maxClients = 32;
    };
    struct Counters {
        uint64_t acks = 0;
        uint64_t naks = 0;
        uint64_t refused = 0;  // connections over maxClients
    };

    // Serves `router` (which must outlive this) as a device named
    // `modelName`; subscribes to its changes until destroyed.
    VideohubService(SharedRouter& router, std::string modelName, std::ostream& log, Limits limits);
    VideohubService(SharedRouter& router, std::string modelName, std::ostream& log)
        : VideohubService(router, std::move(modelName), log, Limits()) {}
    ~VideohubService() override;
    VideohubService(const VideohubService&) = delete;
    VideohubService& operator=(const VideohubService&) = delete;

    std::unique_ptr<TcpSession> open(TcpConnection& connection) override;
    size_t clientCount() const override { return clients_.size(); }
    const Counters& counters() const { return counters_; }

    class Client;  // one connection's session (videohub_service.cpp)

private:
    void onChange(const RouterChange& change);
    void sendToAll(const std::string& bytes);
    std::string dumpFor(int client) const;

    SharedRouter& router_;
    const std::string modelName_;
    std::ostream& log_;
    const Limits limits_;
    int token_;
    Counters counters_;
    std::vector<Client*> clients_;  // open sessions, in connection order
};

#endif  // VESK_ROUTER_SERVER_VIDEOHUB_SERVICE_H
