// SW-P-08 (the serial bytes carried unchanged on TCP) as a follower of the
// router speaks it (see router_codec.h), for one matrix and level.
//
// On each connection:
//   - it asks, in this order, the source names, the destination names and
//     the tally dump. A router answers requests in the order they came, so
//     the first message that is not a destination name ends the destination
//     names, whatever their count a message (one a message is allowed): their
//     count is the router's size. Without names, the size is the dump's
//     extent once the dump has ended (a message that is not part of it, or
//     every named destination reported);
//   - the state is known once a tally (a dump message or a TALLY) came;
//     after each message the destinations it may have changed are given to
//     the owner to compare;
//   - NAMES UPDATED asks the source names again (unless already asked);
//   - every good frame is answered with DLE ACK, every broken one with DLE
//     NAK, at once, outside the request queue.
//
// A request is answered by the router's DLE ACK, or by a reply that answers
// it (names, a tally, CONNECTED of the destination asked, 99 naming its
// command byte): routers that reply before their ACK or never ACK keep
// working; an ACK that follows such a reply is taken as the same answer. A
// DLE NAK asks the request in flight again. The keep-alive interrogates
// destination 1.
//
// Bad input (broken frames, garbage, messages it cannot read, numbers beyond
// what the model holds, names with control bytes, other matrices) is given
// to the owner as problems. Memory stays bounded: the framer keeps at most
// one frame, the model kMaxRouterPorts a side, a frame unfinished after
// kMaxUnfinishedFrame bytes drops the connection.
#ifndef VESK_SWP08_CODEC_H
#define VESK_SWP08_CODEC_H

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "router_codec.h"
#include "swp08_frame.h"
#include "swp08_message.h"

namespace swp08 {

class Codec : public RouterCodec {
public:
    static constexpr size_t kMaxUnfinishedFrame = 65536;

    // What a device follows: matrix and level 0-based (as on the wire), the
    // name length asked for.
    struct Options {
        int matrix = 0;
        int level = 0;
        NameLength names = NameLength::Chars16;

        // From "matrix", "level" (1..256) and "names" (4, 8, 12, 16, 32), each
        // optional. Null with `error` naming the option and the values allowed
        // when one is bad; other names are not looked at.
        static std::optional<Options> parse(const std::map<std::string, std::string>& given, std::string& error);
    };

    explicit Codec(Options options);

    const RouterModel& model() const override { return model_; }
    void connected(CodecLink& link) override;
    void received(std::string_view bytes, CodecLink& link) override;
    void disconnected() override { tallySeen_ = false; }
    std::string unknown() const override;
    std::string closedBecause() const override;
    std::optional<CodecRequest> keepAlive() override;
    int routableOutputs() const override;
    int routableInputs() const override;
    CodecRequest route(int output, int input) const override;
    std::string labelRefusal(const std::string& label) const override;
    CodecRequest label(int input, const std::string& label) const override;
    std::string detail() const override;
    const char* sizeWord() const override { return "destinations"; }

private:
    // A request: what answers it, by the tag it was queued with.
    struct Pending {
        MessageKind asked;
        int destination;
        uint8_t command;  // 0 for a route: 02 or its extended form 82
    };
    static int routeTag(int output);

    CodecRequest request(const Message& message) const;
    void ask(const Message& message, std::string what, CodecLink& link);
    void askSourceNames(CodecLink& link);
    std::optional<Pending> inFlight(const CodecLink& link) const;
    void answer(CodecLink& link);
    void onFrameEvent(const FrameEvent& event, CodecLink& link);
    void onAck(CodecLink& link);
    void onNak(CodecLink& link);
    void onInvalid(const Message& message, CodecLink& link);
    void handle(const Bytes& data, CodecLink& link);
    bool answers(const Pending& pending, const Message& message) const;
    void apply(const Message& message, CodecLink& link);
    void grow(const Message& message);
    void endTables(const Message& message, CodecLink& link);
    void announce(int size, CodecLink& link);
    void checkNames(const Message& message, CodecLink& link);
    void noteOtherTable(const Message& message, CodecLink& link);
    bool ourTable(const Message& message) const;
    Message message(MessageKind kind) const;

    const Options options_;
    Framer framer_;
    RouterModel model_;
    int announced_ = -1;         // the size last given, on any connection
    int destinationsNamed_ = 0;  // by the last complete destination names
    // Per connection: cleared in connected().
    bool tallySeen_ = false;
    bool namesOpen_ = false;  // destination names are coming in
    int namesCount_ = 0;      // destinations named so far
    bool dumpOpen_ = false;   // a tally dump is coming in
    int dumpExtent_ = 0;      // destinations the dump covered so far
    bool sized_ = false;      // the size was given on this connection
    int sourcesNamed_ = 0;
    bool ackOwed_ = false;
    int nextTag_ = 1;
    std::map<int, Pending> pending_;
    std::set<std::pair<int, int>> otherTables_;
};

}  // namespace swp08

#endif  // VESK_SWP08_CODEC_H
