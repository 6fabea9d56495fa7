// A router device followed over the Videohub Ethernet protocol: keeps a
// RouterModel of the router from what it sends, over a TcpClient that keeps
// the connection (connect, back-off, keep-alive with "PING:", one request in
// flight until the router's ACK or NAK).
//
//   - the state is known once the device is present and its routing came in
//     on this connection; until then a poll is unanswered;
//   - after each block the outputs it may have changed are compared with
//     what was last reported for them; each that differs (source or label)
//     gives one report. A reconnect's dump is compared the same way, so only
//     what changed meanwhile is reported;
//   - a line longer than kMaxVideohubLine drops the connection.
#ifndef VESK_HOST_ROUTERS_VIDEOHUB_CLIENT_H
#define VESK_HOST_ROUTERS_VIDEOHUB_CLIENT_H

#include <map>
#include <memory>
#include <set>
#include <utility>

#include "routers/reported_routes.h"
#include "routers/router_backend.h"
#include "tcp_client.h"
#include "videohub_parser.h"

class VideohubClient : public RouterBackend, private ClientProtocol {
public:
    // Connects at once; `events` must outlive the client.
    VideohubClient(asio::io_context& io, int device, const std::string& host, uint16_t port, ClientTiming timing,
                   BackendEvents& events);
    ~VideohubClient() override;

    bool live() const override { return true; }
    PollResult poll(int first, int last) const override;
    std::vector<Report> knownRoutes(int first, int last) const override;
    bool route(int destination, int source, std::string& why) override;
    bool rename(int source, const std::string& name, std::string& why) override;
    int announcedSize() const override { return announcedOutputs_; }
    bool settled() const override { return settled_ || known(); }
    std::string describe() const override;
    RouterLink link() const override;
    std::string address() const override { return "videohub://" + client_.address(); }

    const TcpClient& connection() const { return client_; }

private:
    // ClientProtocol
    void connected() override;
    void received(std::string_view bytes) override;
    std::string closedBecause() const override;
    void disconnected() override { settled_ = true; }
    std::string keepAlive() override;
    void note(const std::string& text) override;
    void linkChanged(const LinkChange& change) override;


    void handle(const VideohubBlock& block);
    void apply(const VideohubBlock& block);
    void noteDevice(const VideohubBlock& block);
    void noteSkipped(const std::string& header, size_t count, const SkippedLine& first);
    void compare(const std::set<int>& outputs);
    // Forgets what was reported for outputs from `outputs` on (the router
    // has fewer now), with a note naming them.
    void forgetBeyond(int outputs);
    bool known() const;

    const int device_;
    BackendEvents& events_;
    VideohubParser parser_;
    RouterModel model_;
    bool routingSeen_ = false;
    bool settled_ = false;
    int announcedOutputs_ = -1;
    std::set<std::string> unknownHeaders_;  // noted once per connection
    ReportedRoutes reported_;
    // Declared last: it goes first, before the state its protocol calls use.
    RouterLink link_;  // the last change of the link
    TcpClient client_;
};

#endif  // VESK_HOST_ROUTERS_VIDEOHUB_CLIENT_H
