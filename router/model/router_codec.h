// One router protocol as a follower of the router speaks it, in pure code:
// what to ask on a new connection, what the bytes that arrive mean, how a
// route or a label is asked for, and the keep-alive. A codec never touches a
// socket or a clock: it acts through the CodecLink its owner gives it (the
// live-router core of vesk-host, or a test), and keeps a RouterModel of the
// router up to date.
//
// Numbering: the codec and its model are 0-based (outputs, inputs); the
// model is the router as far as it is known, kept across connections until
// a new connection's state replaces it.
//
// Each protocol has one: videohub/videohub_codec.h, swp08/swp08_codec.h.
#ifndef VESK_ROUTER_MODEL_ROUTER_CODEC_H
#define VESK_ROUTER_MODEL_ROUTER_CODEC_H

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "router_model.h"

// What a codec may do, given by its owner. Calls come only from inside the
// codec's own connected() and received().
class CodecLink {
public:
    virtual ~CodecLink() = default;
    // Writes at once, outside the request queue (acknowledges).
    virtual void write(std::string bytes) = 0;
    // Queues a request: written when none is in flight, and in flight until
    // answered() or given up. `what` names it in notes ("the route of ...");
    // `tag` is the codec's own, for inFlight(). False, and a note, when it
    // cannot be queued (too many wait, or the connection is gone).
    virtual bool request(std::string bytes, std::string what, int tag) = 0;
    // The request in flight (its tag and its name); null when none is.
    struct InFlight {
        int tag;
        std::string what;
    };
    virtual std::optional<InFlight> inFlight() const = 0;
    // The router answered the request in flight: taken, or refused (noted).
    // Nothing when none is in flight.
    virtual void answered(bool accepted) = 0;
    // The router asks for the request in flight again (a negative
    // acknowledge): it is written again, counted as a re-send.
    virtual void resend() = 0;
    // Ends the connection with `why`; it is made again after the back-off.
    virtual void drop(const std::string& why) = 0;
    // A note about what the router sent; the owner notes at most a bounded
    // number of these per connection, then one that says the rest go unnoted.
    virtual void problem(const std::string& text) = 0;
    // The router's state on this connection may have changed for `outputs`
    // (route or input label); the owner compares and reports what did.
    virtual void changed(const std::set<int>& outputs) = 0;
    // The router's output count, once the codec knows it (again when it
    // changes). Outputs from it on are gone.
    virtual void sized(int outputs) = 0;
    // The first state has come, or will not come on this connection: a host
    // that waits for the router stops waiting.
    virtual void ready() = 0;
    // `text` in double quotes as the owner's notes show texts (escaped), so
    // that a text reads alike in every note.
    virtual std::string quote(const std::string& text) const = 0;
};

// A request a codec builds for the owner to queue.
struct CodecRequest {
    std::string bytes;
    std::string what;
    int tag = 0;
};

class RouterCodec {
public:
    virtual ~RouterCodec() = default;

    virtual const RouterModel& model() const = 0;
    // A new connection: forget what belonged to the last one (not the
    // model) and queue the first requests.
    virtual void connected(CodecLink& link) = 0;
    // Bytes as they arrived.
    virtual void received(std::string_view bytes, CodecLink& link) = 0;
    // The connection ended: nothing on it is known any more.
    virtual void disconnected() {}
    // Why the routes are not known on this connection ("has not sent its
    // routing yet"), completing "router device D ..."; empty once known.
    virtual std::string unknown() const = 0;
    // Why a close by the router reads as it does.
    virtual std::string closedBecause() const = 0;
    // After a silence: the keep-alive to queue; null for none.
    virtual std::optional<CodecRequest> keepAlive() = 0;

    // The outputs and inputs a route may name now (what the router is known
    // to have, or the protocol's largest when that is not known).
    virtual int routableOutputs() const = 0;
    virtual int routableInputs() const = 0;
    // The request for a route or a label; its `what` is left to the owner,
    // which names requests alike for every protocol.
    virtual CodecRequest route(int output, int input) const = 0;
    // Why a label cannot be asked for, completing "router device D ..." (a
    // protocol without labels, a label it cannot carry); empty when it can.
    virtual std::string labelRefusal(const std::string& label) const = 0;
    virtual CodecRequest label(int input, const std::string& label) const = 0;

    // For "state": what follows the address ("" or " matrix 1 level 1"), and
    // what the router's size counts ("outputs", "destinations").
    virtual std::string detail() const { return ""; }
    virtual const char* sizeWord() const { return "outputs"; }
};

#endif  // VESK_ROUTER_MODEL_ROUTER_CODEC_H
