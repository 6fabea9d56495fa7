// The Videohub Ethernet protocol as a follower of the router speaks it (see
// router_codec.h):
//   - the state is known once the device is present and its routing came in
//     on this connection; the model stays across connections, and a
//     reconnect's dump is compared with it, so only what changed is reported;
//   - every block that may change routes or labels gives the outputs it may
//     have changed; a device block gives the size;
//   - ACK and NAK answer the request in flight; the keep-alive is "PING:";
//   - a line longer than kMaxVideohubLine drops the connection;
//   - blocks that say nothing of video routing are skipped, an unknown one
//     noted once per connection (at most kMaxUnknownHeaders of them).
#ifndef VESK_ROUTER_VIDEOHUB_CODEC_H
#define VESK_ROUTER_VIDEOHUB_CODEC_H

#include <set>
#include <string>

#include "router_codec.h"
#include "videohub_parser.h"

class VideohubCodec : public RouterCodec {
public:
    static constexpr size_t kMaxUnknownHeaders = 64;

    VideohubCodec() : model_(0, 0) {}

    const RouterModel& model() const override { return model_; }
    void connected(CodecLink& link) override;
    void received(std::string_view bytes, CodecLink& link) override;
    void disconnected() override { routingSeen_ = false; }
    std::string unknown() const override;
    std::string closedBecause() const override;
    std::optional<CodecRequest> keepAlive() override;
    int routableOutputs() const override;
    int routableInputs() const override;
    CodecRequest route(int output, int input) const override;
    std::string labelRefusal(const std::string& label) const override;
    CodecRequest label(int input, const std::string& label) const override;

private:
    void handle(const VideohubBlock& block, CodecLink& link);
    void apply(const VideohubBlock& block, CodecLink& link);
    void noteDevice(const VideohubBlock& block, CodecLink& link);
    void noteSkipped(const std::string& header, size_t count, const SkippedLine& first, CodecLink& link);
    bool known() const { return model_.present() && routingSeen_; }

    VideohubParser parser_;
    RouterModel model_;
    bool routingSeen_ = false;
    std::set<std::string> unknownHeaders_;  // noted once per connection
};

#endif  // VESK_ROUTER_VIDEOHUB_CODEC_H
