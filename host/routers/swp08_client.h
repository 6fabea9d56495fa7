// A router device followed over SW-P-08 (the serial bytes carried unchanged
// on TCP): keeps a RouterModel of one matrix and level of the router from
// what it sends, over a TcpClient that keeps the connection.
//
// Numbering: destination n of the device is SW-P-08 destination n-1 of the
// matrix and level followed, source s is source s-1; matrix and level are
// given 1-based, as router panels show them.
//
// On each connection:
//   - it asks, in this order, the source names, the destination names and
//     the tally dump. A router answers requests in the order they came, so
//     the first message that is not a destination name ends the destination
//     names (as does a reply shorter than a full one): their count is the
//     router's size, announced once it is complete;
//   - the state is known once a tally (a dump message or a TALLY) came on
//     this connection; until then a poll is unanswered. After each message
//     the destinations it may have changed are compared with what was last
//     reported for them; each that differs (source or name) gives one
//     report, so a reconnect reports only what changed meanwhile;
//   - NAMES UPDATED asks the source names again (unless already asked);
//   - every good frame is answered with DLE ACK, every broken one with DLE
//     NAK, at once, outside the request queue.
//
// Requests (the three above, routes, the keep-alive) go one at a time. A
// request is answered by the router's DLE ACK, or by a reply that answers it
// (names, a tally, CONNECTED of the destination asked, 99 naming its command
// byte): routers that reply before their ACK or never ACK keep working; an
// ACK that follows such a reply is taken as the same answer, not the next
// request's. A DLE NAK leaves the request waiting: it is sent again after the
// re-send interval (1 s unless the timing gives one), 5 times at most, then
// the connection is dropped and made again.
//
// Bad input (broken frames, garbage, messages it cannot read, numbers beyond
// what the model holds, names with control bytes, other matrices) gives a
// note; at most kMaxProblemNotes of them per connection, then one that says
// the rest go unnoted. Memory stays bounded: the framer keeps at most one
// frame, the model kMaxRouterPorts a side, a frame unfinished after
// kMaxUnfinishedFrame bytes drops the connection.
#ifndef VESK_HOST_ROUTERS_SWP08_CLIENT_H
#define VESK_HOST_ROUTERS_SWP08_CLIENT_H

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "routers/reported_routes.h"
#include "routers/router_backend.h"
#include "swp08/swp08_frame.h"
#include "swp08/swp08_message.h"
#include "tcp_client.h"

class Swp08Client : public RouterBackend, private ClientProtocol {
public:
    static constexpr int kMaxProblemNotes = 32;
    static constexpr size_t kMaxUnfinishedFrame = 65536;

    // What a device follows: matrix and level 0-based (as on the wire), the
    // name length asked for.
    struct Options {
        int matrix = 0;
        int level = 0;
        swp08::NameLength names = swp08::NameLength::Chars16;

        // From "matrix", "level" (1..256) and "names" (4, 8, 12, 16, 32), each
        // optional. Null with `error` naming the option and the values allowed
        // when one is bad; names other than these three are not looked at.
        static std::optional<Options> parse(const std::map<std::string, std::string>& given, std::string& error);
    };

    // Connects at once; `events` must outlive the client. A timing without a
    // re-send interval gets 1 s and 5 re-sends.
    Swp08Client(asio::io_context& io, int device, const std::string& host, uint16_t port, Options options,
                ClientTiming timing, BackendEvents& events);
    ~Swp08Client() override;

    bool live() const override { return true; }
    PollResult poll(int first, int last) const override;
    std::vector<Report> knownRoutes(int first, int last) const override;
    // Sends CONNECT (extended past destination or source 1024 or matrix or
    // level 16); false with `why` when not connected or out of the router's
    // known size.
    bool route(int destination, int source, std::string& why) override;
    // SW-P-08 has no message that names a source: always false.
    bool rename(int source, const std::string& name, std::string& why) override;
    int announcedSize() const override { return announced_; }
    bool settled() const override;
    std::string describe() const override;
    RouterLink link() const override;
    std::string address() const override { return "swp08://" + client_.address(); }

    const TcpClient& connection() const { return client_; }

private:
    // A request sent or queued: what answers it, and its name for notes.
    struct Pending {
        swp08::MessageKind asked;
        int destination;
        uint8_t command;
        std::string what;
    };

    // ClientProtocol
    void connected() override;
    void received(std::string_view bytes) override;
    std::string closedBecause() const override;
    void disconnected() override;
    std::string keepAlive() override;
    void note(const std::string& text) override;
    void linkChanged(const LinkChange& change) override;


    bool ask(const swp08::Message& message, std::string what);
    void askSourceNames();
    void onFrameEvent(const swp08::FrameEvent& event);
    void onAck();
    void onNak();
    void onInvalid(const swp08::Message& message);
    void handle(const swp08::Bytes& data);
    void settleBy(const swp08::Message& message);
    bool answers(const Pending& pending, const swp08::Message& message) const;
    void apply(const swp08::Message& message);
    void grow(const swp08::Message& message);
    void countDestinationNames(const swp08::Message& message);
    void endDestinationNames();
    void checkNames(const swp08::Message& message);
    void noteOtherTable(const swp08::Message& message);
    void problem(const std::string& text);
    void compare(const std::set<int>& outputs);
    bool known() const;
    bool ourTable(const swp08::Message& message) const;
    swp08::Message message(swp08::MessageKind kind) const;

    const int device_;
    const Options options_;
    BackendEvents& events_;
    swp08::Framer framer_;
    RouterModel model_;
    int announced_ = -1;
    bool settled_ = false;
    // Per connection: cleared in connected().
    bool tallySeen_ = false;
    bool destinationNamesOpen_ = false;
    int destinationCount_ = 0;
    int sourcesNamed_ = 0;
    bool ackOwed_ = false;
    int problems_ = 0;
    size_t unfinishedBytes_ = 0;
    std::deque<Pending> pending_;  // front: the request in flight, if any
    std::set<std::pair<int, int>> otherTables_;
    // Per destination (0-based): (source, name) last reported; kept across
    // connections.
    ReportedRoutes reported_;
    // Declared last: it goes first, before the state its protocol calls use.
    RouterLink link_;  // the last change of the link
    TcpClient client_;
};

#endif  // VESK_HOST_ROUTERS_SWP08_CLIENT_H
