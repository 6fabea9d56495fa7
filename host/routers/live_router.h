// A router device followed over the network: the one live-router core, for
// every protocol. It owns the connection (a TcpClient that connects, backs
// off, keeps the link alive and sends one request at a time) and the
// protocol's codec (router_codec.h: pure code that reads the router's bytes
// into its model and writes requests), and does, once for all protocols:
//   - the reports: after each change the codec names, the outputs it may
//     have changed are compared with what was last reported for them; each
//     that differs (source or name) gives one report, so a reconnect reports
//     only what changed meanwhile;
//   - size and shrink: each size the codec learns is announced once; when
//     it shrinks, the destinations gone are noted and forgotten;
//   - the checks on a route or a label (range, connection) and the names of
//     requests in notes;
//   - notes: "router device D ..."; those about what the router sent at most
//     kMaxProblemNotes per connection (per run of connections the router
//     closes at once), then one that says the rest go unnoted; link changes
//     as typed events;
//   - "state": the routes as last learned, whether or not the router answers
//     polls now.
#ifndef VESK_HOST_ROUTERS_LIVE_ROUTER_H
#define VESK_HOST_ROUTERS_LIVE_ROUTER_H

#include <memory>
#include <set>
#include <string>

#include "router_codec.h"
#include "routers/reported_routes.h"
#include "routers/router_backend.h"
#include "tcp_client.h"

class LiveRouter : public RouterBackend, private ClientProtocol, private CodecLink {
public:
    static constexpr int kMaxProblemNotes = 32;

    // Connects at once; `events` must outlive the router. `protocol` names it
    // in notes and records (its scheme in protocols.h).
    LiveRouter(asio::io_context& io, int device, std::string protocol, std::unique_ptr<RouterCodec> codec,
               const std::string& host, uint16_t port, ClientTiming timing, BackendEvents& events);
    ~LiveRouter() override;

    bool live() const override { return true; }
    PollResult poll(int first, int last) const override;
    std::vector<Report> knownRoutes(int first, int last) const override;
    bool route(int destination, int source, std::string& why) override;
    bool rename(int source, const std::string& name, std::string& why) override;
    int announcedSize() const override { return announced_; }
    bool settled() const override;
    std::string describe() const override;
    std::string address() const override { return protocol_ + "://" + client_.address(); }
    RouterLink link() const override;

    const TcpClient& connection() const { return client_; }

private:
    // ClientProtocol
    void connected() override;
    void received(std::string_view bytes) override;
    std::string closedBecause() const override { return codec_->closedBecause(); }
    void disconnected() override;
    bool keepAlive() override;
    void note(const std::string& text) override;
    void linkChanged(const LinkChange& change) override;

    // CodecLink
    void write(std::string bytes) override { client_.write(std::move(bytes)); }
    bool request(std::string bytes, std::string what, int tag) override;
    std::optional<InFlight> inFlight() const override;
    void answered(bool accepted) override { client_.answered(accepted); }
    void resend() override { client_.resend(); }
    void drop(const std::string& why) override { client_.drop(why); }
    void problem(const std::string& text) override;
    void changed(const std::set<int>& outputs) override;
    void sized(int outputs) override;
    void ready() override { settled_ = true; }
    std::string quote(const std::string& text) const override;

    bool known() const { return client_.connected() && codec_->unknown().empty(); }

    const int device_;
    const std::string protocol_;
    BackendEvents& events_;
    std::unique_ptr<RouterCodec> codec_;
    ReportedRoutes reported_;
    int announced_ = -1;
    bool settled_ = false;
    int problems_ = 0;  // this connection's, or this run of quick closes
    RouterLink link_;   // the last change of the link
    // Declared last: it goes first, before the state its protocol calls use.
    TcpClient client_;
};

#endif  // VESK_HOST_ROUTERS_LIVE_ROUTER_H
