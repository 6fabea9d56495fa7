// A Videohub server for one RouterModel: vesk-router's network side.
//
// Each client gets the whole dump on connect (while the device is present;
// otherwise the preamble and the device block). Every change, from a client or
// from the operator, is pushed to every client as a block of the lines that
// the request named (a route to the input already routed is echoed too, so a
// client always sees its request confirmed). Client blocks are answered as the
// protocol says:
//   - PING: and a header with no lines (for a block the server keeps) get ACK,
//     the latter then the whole block;
//   - labels, routes and locks are applied all or nothing: ACK, then the push;
//     a skipped line, an index beyond the model's size, a route to an output
//     locked by another client, or a device not present gets NAK;
//   - every other block gets NAK; ACK and NAK from clients are ignored.
// Locks: 'O' takes an output for the client, 'U' frees the client's own,
// 'F' frees anyone's; a client's locks end with its connection. Each client
// sees its own locks as 'O' and the others' as 'L'.
//
// A client is dropped when it sends a line over the protocol's limit or reads
// so slowly that more than kMaxPendingOutput bytes wait for it. Every connect,
// drop, change and NAK is written to `log`, one line each.
#ifndef VESK_ROUTER_SERVER_H
#define VESK_ROUTER_SERVER_H

#include <asio.hpp>

#include <cstddef>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "router_model.h"
#include "videohub_block.h"

class RouterServer {
public:
    static constexpr size_t kMaxPendingOutput = 4 * 1024 * 1024;

    // Listens on `endpoint` (port 0: a free one) and serves `model`, which
    // must outlive the server. Throws asio::system_error when it cannot listen.
    RouterServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, RouterModel& model,
                 std::string modelName, std::ostream& log);
    ~RouterServer();
    RouterServer(const RouterServer&) = delete;
    RouterServer& operator=(const RouterServer&) = delete;

    asio::ip::tcp::endpoint endpoint() const;

    // Changes applied whatever the locks (the operator's, or a client's
    // already checked) and pushed to every client; logged with `who`
    // appended. `kind` is InputLabels or OutputLabels. False with `error` set
    // when a port is out of range.
    bool route(int output, int input, std::string& error, const std::string& who = "");
    bool label(BlockKind kind, int index, const std::string& text, std::string& error, const std::string& who = "");
    // Changes presence; a router that comes back sends every block but the
    // preamble, as one that found a new device.
    void setPresence(Presence presence);

    // Stops accepting and closes every client; the io_context then runs out.
    void close();

private:
    class Session;

    void accept();
    void onBlock(Session& session, const VideohubBlock& block);
    // The reason a change request cannot be applied, or "" when it can.
    std::string refusal(const Session& session, const VideohubBlock& block) const;
    void applyRequest(Session& session, const VideohubBlock& block);
    void pushLocks(const std::vector<int>& outputs);
    void broadcast(const std::string& bytes);
    std::vector<std::shared_ptr<Session>> clients() const;
    void drop(Session& session, const std::string& why);
    Lock lockFor(int client, int output) const;

    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_;  // the next accept after a failed one
    RouterModel& model_;
    std::string modelName_;
    std::ostream& log_;
    int nextClient_ = 1;
    std::map<int, std::shared_ptr<Session>> sessions_;
    std::map<int, int> lockOwners_;  // output -> client holding it
};

#endif  // VESK_ROUTER_SERVER_H
