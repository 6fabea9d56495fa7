// One live router device: a Videohub Ethernet protocol client that keeps a
// RouterModel of the router from what it sends, and tells its owner, through
// a queue, what happened. It never calls the emulator: its handlers run inside
// the owner's io_context and only append to that queue.
//
// Connection rules:
//   - it connects when started; a refused connect, a drop, a line longer than
//     kMaxVideohubLine or `deadAfter` of silence (a PING: is sent after
//     `pingAfter`) closes the connection and connects again after a back-off
//     that doubles from `firstRetry` up to `maxRetry`, for as long as it runs;
//   - the state is known once the device is present and its routing came in
//     on this connection; until then a poll is unanswered;
//   - one request is in flight at a time: the next is written only after the
//     router's ACK or NAK; the requests still waiting when the connection
//     ends are dropped with a note;
//   - after each block the outputs it may have changed are compared with what
//     was last reported for them; each that differs (source or label) gives
//     one report. A reconnect's dump is compared the same way, so only what
//     changed meanwhile is reported.
#ifndef VESK_HOST_VIDEOHUB_LINK_H
#define VESK_HOST_VIDEOHUB_LINK_H

#include <asio.hpp>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "live_routers.h"
#include "router_model.h"
#include "videohub_parser.h"

// What a link has to tell, in the order it happened.
struct LiveEvent {
    enum class Kind { Note, Report, Size };
    Kind kind;
    int device;
    std::string note;  // Note
    Report report;     // Report
    int outputs = 0;   // Size: the router's "Video outputs"
};

class VideohubLink {
public:
    // Requests waiting beyond this many are refused.
    static constexpr size_t kMaxWaitingRequests = 64;

    VideohubLink(asio::io_context& io, int device, RouterAddress address, LinkTiming timing,
                 std::deque<LiveEvent>& events);
    ~VideohubLink();
    VideohubLink(const VideohubLink&) = delete;
    VideohubLink& operator=(const VideohubLink&) = delete;

    void start();
    const RouterAddress& address() const { return address_; }
    // The first connect has come to an end: the state is known, the dump is
    // over, the device is absent, or the connection failed or dropped.
    bool settled() const { return settled_ || known(); }
    // The router's "Video outputs" as last announced; -1 before any.
    int announcedOutputs() const { return announcedOutputs_; }

    // See LiveRouters::poll.
    void poll(int first, int last, std::vector<Report>& reports, std::string& why) const;
    // Queues a block asking for a route or an input label (1-based numbers).
    bool route(int destination, int source, std::string& why);
    bool rename(int source, const std::string& name, std::string& why);

private:
    void connect();
    void onConnected(const asio::error_code& error);
    void read();
    void onRead(const asio::error_code& error, size_t bytes);
    void handle(const VideohubBlock& block);
    void apply(const VideohubBlock& block);
    void answered(bool accepted);
    void queue(std::string block, std::string what);
    void writeNext();
    void armSilence();
    void onSilence();
    // Closes the connection, drops waiting requests, and connects again
    // after the back-off.
    void drop(const std::string& why);
    // A connect failed: one note per outage, then the back-off.
    void retryLater(const std::string& why);
    void scheduleConnect();
    // Reports every output in `outputs` whose source or label differs from
    // what was last reported for it.
    void compare(const std::set<int>& outputs);
    void compareAll();
    bool known() const;
    void note(const std::string& text);
    void noteSkipped(const std::string& header, size_t count, const SkippedLine& first);
    std::string name() const;

    const int device_;
    const RouterAddress address_;
    const LinkTiming timing_;
    std::deque<LiveEvent>& events_;

    asio::ip::tcp::resolver resolver_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    // Bumped on every close: handlers of an older connection do nothing.
    unsigned generation_ = 0;
    bool connected_ = false;
    std::chrono::milliseconds retry_;
    bool failedBefore_ = false;  // the last attempt failed: one note per outage
    std::chrono::steady_clock::time_point lastData_;
    bool pinged_ = false;
    bool settled_ = false;

    VideohubParser parser_;
    char buffer_[16384];
    RouterModel model_;
    bool routingSeen_ = false;
    int announcedOutputs_ = -1;
    std::set<std::string> unknownHeaders_;  // noted once per connection
    // Per output: (input, label) last reported.
    std::map<int, std::pair<int, std::string>> reported_;

    struct Request {
        std::string block;
        std::string what;  // for notes: "route 3 <- 5"
    };
    std::deque<Request> waiting_;
    bool inFlight_ = false;
    std::string writing_;
};

#endif  // VESK_HOST_VIDEOHUB_LINK_H
