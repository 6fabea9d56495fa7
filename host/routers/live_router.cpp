#include "routers/live_router.h"

#include "base/text.h"

LiveRouter::LiveRouter(asio::io_context& io, int device, std::string protocol, std::unique_ptr<RouterCodec> codec,
                       const std::string& host, uint16_t port, ClientTiming timing, BackendEvents& events)
    : device_(device),
      protocol_(std::move(protocol)),
      events_(events),
      codec_(std::move(codec)),
      client_(io, host, port, timing, *this) {
    client_.start();
}

LiveRouter::~LiveRouter() { client_.stop(); }

// The connection -------------------------------------------------------------------

void LiveRouter::note(const std::string& text) {
    events_.note(device_, "router device " + std::to_string(device_) + " " + text);
}

std::string LiveRouter::quote(const std::string& text) const { return quoteText(text); }

// Notes caused by what the router sends: bounded per connection, so that a
// stream of junk cannot fill memory with notes.
void LiveRouter::problem(const std::string& text) {
    if (problems_ > kMaxProblemNotes) return;
    ++problems_;
    if (problems_ <= kMaxProblemNotes)
        note(text);
    else
        note("sent more problems than " + std::to_string(kMaxProblemNotes) +
             ": the rest of this connection goes unnoted");
}

void LiveRouter::connected() { codec_->connected(*this); }

void LiveRouter::received(std::string_view bytes) { codec_->received(bytes, *this); }

void LiveRouter::disconnected() {
    codec_->disconnected();
    settled_ = true;
}

bool LiveRouter::keepAlive() {
    std::optional<CodecRequest> ping = codec_->keepAlive();
    return ping && client_.request(std::move(ping->bytes), std::move(ping->what), ping->tag);
}

void LiveRouter::linkChanged(const LinkChange& change) {
    // A connection that is not a repeat of a quick close notes problems
    // afresh; repeats share the count of the run.
    if (change.state == LinkChange::State::Connected && !change.repeats) problems_ = 0;
    link_ = linkOf(change, protocol_, client_.address());
    queueLinkChange(events_, device_, change, protocol_, client_.address());
}

RouterLink LiveRouter::link() const {
    RouterLink now = link_;
    now.protocol = protocol_;
    now.address = client_.address();
    now.repeats = 0;
    return now;
}

bool LiveRouter::request(std::string bytes, std::string what, int tag) {
    return client_.request(std::move(bytes), std::move(what), tag);
}

std::optional<CodecLink::InFlight> LiveRouter::inFlight() const {
    std::optional<TcpClient::InFlight> flying = client_.inFlight();
    if (!flying) return std::nullopt;
    return InFlight{flying->tag, flying->what};
}

// What the router told ---------------------------------------------------------------

void LiveRouter::changed(const std::set<int>& outputs) {
    if (known()) reported_.compare(codec_->model(), device_, outputs, events_);
}

void LiveRouter::sized(int outputs) {
    if (outputs == announced_) return;
    announced_ = outputs;
    const std::vector<int> gone = reported_.forgetFrom(outputs);
    if (!gone.empty()) {
        const std::string which = gone.size() == 1 ? "destination " + std::to_string(gone.front()) + " is"
                                                   : "destinations " + std::to_string(gone.front()) + ".." +
                                                         std::to_string(gone.back()) + " are";
        note("has " + std::to_string(outputs) + " outputs now: " + which +
             " gone; a component showing one keeps its last report");
    }
    events_.size(device_, outputs, link());
}

// The host's side ----------------------------------------------------------------------

bool LiveRouter::settled() const {
    return settled_ || known() || (client_.triedOnce() && !client_.connected());
}

std::string LiveRouter::describe() const {
    std::string text = protocol_ + " " + client_.address() + codec_->detail() +
                       (client_.connected() ? ", connected" : ", not connected");
    if (announced_ >= 0) text += ", " + std::to_string(announced_) + " " + codec_->sizeWord();
    return text;
}

PollResult LiveRouter::poll(int first, int last) const {
    if (!client_.connected()) return PollResult{"is not connected", {}};
    const std::string unknown = codec_->unknown();
    if (!unknown.empty()) return PollResult{unknown, {}};
    return PollResult{"", routedDestinations(codec_->model(), device_, first, last)};
}

std::vector<Report> LiveRouter::knownRoutes(int first, int last) const {
    return routedDestinations(codec_->model(), device_, first, last);
}

bool LiveRouter::route(int destination, int source, std::string& why) {
    const int outputs = codec_->routableOutputs();
    const int inputs = codec_->routableInputs();
    if (destination < 1 || source < 1 || destination > outputs || source > inputs) {
        why = "has destinations 1.." + std::to_string(outputs) + " and sources 1.." + std::to_string(inputs) +
              ": route not sent";
        return false;
    }
    if (!client_.connected()) {
        why = "is not connected: route not sent";
        return false;
    }
    CodecRequest r = codec_->route(outputOfDestination(destination), inputOfSource(source));
    const std::string what =
        "the route of destination " + std::to_string(destination) + " to source " + std::to_string(source);
    if (!client_.request(std::move(r.bytes), what, r.tag)) {
        why = "has too many requests waiting: route not sent";
        return false;
    }
    return true;
}

bool LiveRouter::rename(int source, const std::string& name, std::string& why) {
    why = codec_->labelRefusal(name);
    const int inputs = codec_->routableInputs();
    if (why.empty() && (source < 1 || source > inputs))
        why = "has sources 1.." + std::to_string(inputs) + ": label not sent";
    if (why.empty() && !client_.connected()) why = "is not connected: label not sent";
    if (!why.empty()) return false;
    CodecRequest r = codec_->label(inputOfSource(source), name);
    if (!client_.request(std::move(r.bytes), "the label " + quoteText(name) + " of source " + std::to_string(source),
                         r.tag)) {
        why = "has too many requests waiting: label not sent";
        return false;
    }
    return true;
}
