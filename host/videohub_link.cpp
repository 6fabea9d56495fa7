#include "videohub_link.h"

#include <algorithm>

#include "text.h"
#include "videohub_format.h"

using Clock = std::chrono::steady_clock;

static std::string seconds(std::chrono::milliseconds ms) {
    long long whole = ms.count() / 1000;
    long long tenths = ms.count() % 1000 / 100;
    return std::to_string(whole) + (tenths ? "." + std::to_string(tenths) : "") + " s";
}

VideohubLink::VideohubLink(asio::io_context& io, int device, RouterAddress address, LinkTiming timing,
                           std::deque<LiveEvent>& events)
    : device_(device),
      address_(std::move(address)),
      timing_(timing),
      events_(events),
      resolver_(io),
      socket_(io),
      timer_(io),
      retry_(timing.firstRetry),
      model_(0, 0) {}

VideohubLink::~VideohubLink() {
    ++generation_;
    asio::error_code ignored;
    socket_.close(ignored);
    timer_.cancel();
}

std::string VideohubLink::name() const { return "router device " + std::to_string(device_); }

void VideohubLink::note(const std::string& text) {
    LiveEvent event{LiveEvent::Kind::Note, device_, name() + " " + text, Report{}, 0};
    events_.push_back(std::move(event));
}

void VideohubLink::start() { connect(); }

void VideohubLink::connect() {
    const unsigned generation = ++generation_;
    asio::error_code error;
    std::vector<asio::ip::tcp::endpoint> endpoints;
    // A numeric address needs no resolver (whose asynchronous form runs a
    // thread of its own); a name is resolved in place.
    asio::ip::address numeric = asio::ip::make_address(address_.host, error);
    if (!error) {
        endpoints.emplace_back(numeric, address_.port);
    } else {
        auto results = resolver_.resolve(address_.host, std::to_string(address_.port), error);
        for (const auto& entry : results) endpoints.push_back(entry.endpoint());
        if (endpoints.empty()) {
            retryLater(error ? error.message() : "no address");
            return;
        }
    }
    asio::async_connect(socket_, endpoints, [this, generation](const asio::error_code& e, const asio::ip::tcp::endpoint&) {
        if (generation == generation_) onConnected(e);
    });
    // A connect that nobody answers ends like one refused.
    timer_.expires_after(timing_.deadAfter);
    timer_.async_wait([this, generation](const asio::error_code& e) {
        if (!e && generation == generation_ && !connected_) retryLater("no answer within " + seconds(timing_.deadAfter));
    });
}

void VideohubLink::onConnected(const asio::error_code& error) {
    if (error) {
        retryLater(error.message());
        return;
    }
    connected_ = true;
    failedBefore_ = false;
    retry_ = timing_.firstRetry;
    parser_.reset();
    model_ = RouterModel(0, 0);
    routingSeen_ = false;
    unknownHeaders_.clear();
    lastData_ = Clock::now();
    pinged_ = false;
    note("connected to " + formatRouterAddress(address_));
    read();
    armSilence();
}

void VideohubLink::read() {
    const unsigned generation = generation_;
    socket_.async_read_some(asio::buffer(buffer_), [this, generation](const asio::error_code& e, size_t bytes) {
        if (generation == generation_) onRead(e, bytes);
    });
}

void VideohubLink::onRead(const asio::error_code& error, size_t bytes) {
    if (error) {
        if (error != asio::error::eof)
            drop(error.message());
        else
            drop(parser_.midBlock() ? "the router closed it in the middle of a block" : "the router closed it");
        return;
    }
    lastData_ = Clock::now();
    pinged_ = false;
    std::vector<VideohubBlock> blocks;
    const bool inStep = parser_.feed(std::string_view(buffer_, bytes), blocks);
    const unsigned generation = generation_;
    for (const VideohubBlock& block : blocks) {
        handle(block);
        if (generation != generation_) return;
    }
    if (!inStep) {
        drop("a line longer than " + std::to_string(kMaxVideohubLine) + " bytes");
        return;
    }
    read();
}

// Blocks of the protocol that say nothing about video routing: skipped
// without a note.
static bool documented(const std::string& header) {
    static const char* const kHeaders[] = {
        "MONITORING OUTPUT LABELS:", "SERIAL PORT LABELS:", "FRAME LABELS:", "VIDEO MONITORING OUTPUT ROUTING:",
        "SERIAL PORT ROUTING:", "PROCESSING UNIT ROUTING:", "FRAME BUFFER ROUTING:", "MONITORING OUTPUT LOCKS:",
        "SERIAL PORT LOCKS:", "PROCESSING UNIT LOCKS:", "FRAME BUFFER LOCKS:", "SERIAL PORT DIRECTIONS:",
        "VIDEO INPUT STATUS:", "VIDEO OUTPUT STATUS:", "SERIAL PORT STATUS:", "CONFIGURATION:", "ALARM STATUS:"};
    for (const char* known : kHeaders)
        if (header == known) return true;
    return false;
}

void VideohubLink::handle(const VideohubBlock& block) {
    if (block.kind == BlockKind::Stray) {
        note("skipped " + std::to_string(block.skippedCount) + " line(s) outside any block, first " +
             quoteText(block.skipped.empty() ? "" : block.skipped.front().text));
    } else if (block.skippedCount) {
        noteSkipped(block.header, block.skippedCount, block.skipped.front());
    }
    switch (block.kind) {
        case BlockKind::Ack:
        case BlockKind::Nak:
            answered(block.kind == BlockKind::Ack);
            break;
        case BlockKind::Device:
        case BlockKind::InputLabels:
        case BlockKind::OutputLabels:
        case BlockKind::Routing:
        case BlockKind::Locks:
            if (!block.request()) apply(block);
            break;
        case BlockKind::EndPrelude:
            settled_ = true;
            if (!routingSeen_) note("sent its state without the routing: polls stay unanswered until it does");
            break;
        case BlockKind::Unknown:
            if (!documented(block.header) && unknownHeaders_.size() < 64 && unknownHeaders_.insert(block.header).second)
                note("skipped the block " + quoteText(block.header) + ": not one this emulator uses");
            break;
        case BlockKind::Stray:
        case BlockKind::Preamble:
        case BlockKind::Ping:
            break;
    }
}

void VideohubLink::apply(const VideohubBlock& block) {
    const bool wasKnown = known();
    const ApplyResult result = applyBlock(model_, block);
    if (block.kind == BlockKind::Routing) routingSeen_ = true;
    if (block.kind == BlockKind::Device) {
        if (block.device.presence && !model_.present()) {
            routingSeen_ = false;
            settled_ = true;
            note(std::string("says its device is ") +
                 (model_.presence() == Presence::Absent ? "not present" : "in need of an update") +
                 ": polls stay unanswered until it is back");
        }
        if (block.device.outputs >= 0 && model_.outputs() != announcedOutputs_) {
            announcedOutputs_ = model_.outputs();
            events_.push_back(LiveEvent{LiveEvent::Kind::Size, device_, "", Report{}, announcedOutputs_});
        }
    }
    if (result.rejectedCount) noteSkipped(block.header, result.rejectedCount, result.rejected.front());
    if (!known()) return;
    std::set<int> outputs;
    bool all = !wasKnown;
    for (const RouterChange& change : result.changes) {
        if (change.kind == ChangeKind::Device) all = true;
        if (change.kind == ChangeKind::Route) outputs.insert(change.index);
        if (change.kind == ChangeKind::InputLabel)
            for (int output : model_.outputsFedBy(change.index)) outputs.insert(output);
    }
    if (all)
        compareAll();
    else
        compare(outputs);
}

void VideohubLink::noteSkipped(const std::string& header, size_t count, const SkippedLine& first) {
    note("skipped " + std::to_string(count) + " line(s) of " + quoteText(header) + ", first " + quoteText(first.text) +
         " (" + first.reason + ")");
}

bool VideohubLink::known() const { return connected_ && model_.present() && routingSeen_; }

void VideohubLink::compareAll() {
    std::set<int> outputs;
    for (int output = 0; output < model_.outputs(); ++output) outputs.insert(output);
    compare(outputs);
}

void VideohubLink::compare(const std::set<int>& outputs) {
    for (int output : outputs) {
        const int input = model_.route(output);
        if (input == kNoInput) continue;
        std::pair<int, std::string> now(input, model_.inputLabel(input));
        auto it = reported_.find(output);
        if (it != reported_.end() && it->second == now) continue;
        reported_[output] = now;
        Report report{device_, destinationOfOutput(output), sourceOfInput(input), now.second};
        events_.push_back(LiveEvent{LiveEvent::Kind::Report, device_, "", report, 0});
    }
}

void VideohubLink::poll(int first, int last, std::vector<Report>& reports, std::string& why) const {
    if (!connected_) {
        why = "is not connected";
        return;
    }
    if (!model_.present()) {
        why = "says its device is not present";
        return;
    }
    if (!routingSeen_) {
        why = "has not sent its routing yet";
        return;
    }
    const int from = std::max(first, 1);
    const int to = std::min(last, model_.outputs());
    for (int destination = from; destination <= to; ++destination) {
        const int input = model_.route(outputOfDestination(destination));
        if (input != kNoInput)
            reports.push_back(Report{device_, destination, sourceOfInput(input), model_.inputLabel(input)});
    }
}

bool VideohubLink::route(int destination, int source, std::string& why) {
    if (destination < 1 || source < 1 || (known() && (destination > model_.outputs() || source > model_.inputs()))) {
        why = "has destinations 1.." + std::to_string(model_.outputs()) + " and sources 1.." +
              std::to_string(model_.inputs()) + ": route not sent";
        return false;
    }
    if (!connected_) {
        why = "is not connected: route not sent";
        return false;
    }
    queue(formatRoutes({RouteLine{outputOfDestination(destination), inputOfSource(source)}}), "the route of destination " + std::to_string(destination) + " to source " +
                                  std::to_string(source));
    return true;
}

bool VideohubLink::rename(int source, const std::string& name, std::string& why) {
    if (source < 1 || (known() && source > model_.inputs())) {
        why = "has sources 1.." + std::to_string(model_.inputs()) + ": label not sent";
        return false;
    }
    if (name.find_first_of("\r\n") != std::string::npos) {
        why = "takes no line end in a label: label not sent";
        return false;
    }
    if (!connected_) {
        why = "is not connected: label not sent";
        return false;
    }
    queue(formatLabels(BlockKind::InputLabels, {LabelLine{inputOfSource(source), name, false}}), "the label " + quoteText(name) + " of source " + std::to_string(source));
    return true;
}

void VideohubLink::queue(std::string block, std::string what) {
    if (waiting_.size() >= kMaxWaitingRequests) {
        note("has " + std::to_string(waiting_.size()) + " requests waiting: " + what + " dropped");
        return;
    }
    waiting_.push_back(Request{std::move(block), std::move(what)});
    writeNext();
}

void VideohubLink::writeNext() {
    if (!connected_ || inFlight_ || waiting_.empty()) return;
    inFlight_ = true;
    writing_ = waiting_.front().block;
    const unsigned generation = generation_;
    asio::async_write(socket_, asio::buffer(writing_), [this, generation](const asio::error_code& e, size_t) {
        if (e && generation == generation_) drop(e.message());
    });
}

void VideohubLink::answered(bool accepted) {
    if (!inFlight_) return;  // an answer to nothing of ours
    Request request = std::move(waiting_.front());
    waiting_.pop_front();
    inFlight_ = false;
    if (!accepted) note("refused " + request.what + " (NAK)");
    writeNext();
}

void VideohubLink::armSilence() {
    const unsigned generation = generation_;
    timer_.expires_at(lastData_ + (pinged_ ? timing_.deadAfter : timing_.pingAfter));
    timer_.async_wait([this, generation](const asio::error_code& e) {
        if (!e && generation == generation_) onSilence();
    });
}

void VideohubLink::onSilence() {
    // The loop may not have run for a while (a person at the prompt): data
    // already waiting is not silence.
    asio::error_code ignored;
    if (socket_.available(ignored) > 0) lastData_ = Clock::now();
    const auto idle = Clock::now() - lastData_;
    if (idle >= timing_.deadAfter) {
        drop("no data for " + seconds(timing_.deadAfter));
        return;
    }
    if (idle >= timing_.pingAfter && !pinged_) {
        pinged_ = true;
        if (waiting_.empty()) queue(formatPing(), "PING:");
    }
    armSilence();
}

void VideohubLink::drop(const std::string& why) {
    note("lost the connection to " + formatRouterAddress(address_) + ": " + why + "; connecting again");
    if (!waiting_.empty())
        note("dropped " + std::to_string(waiting_.size()) + " request(s) the router had not answered");
    ++generation_;
    connected_ = false;
    settled_ = true;
    waiting_.clear();
    inFlight_ = false;
    asio::error_code ignored;
    socket_.close(ignored);
    scheduleConnect();
}

void VideohubLink::retryLater(const std::string& why) {
    ++generation_;
    asio::error_code ignored;
    socket_.close(ignored);
    if (!failedBefore_)
        note("cannot connect to " + formatRouterAddress(address_) + " (" + why + "); trying again every " +
             seconds(timing_.maxRetry) + " at most");
    failedBefore_ = true;
    settled_ = true;
    scheduleConnect();
}

void VideohubLink::scheduleConnect() {
    const unsigned generation = generation_;
    timer_.expires_after(retry_);
    timer_.async_wait([this, generation](const asio::error_code& e) {
        if (!e && generation == generation_) connect();
    });
    retry_ = std::min(retry_ * 2, timing_.maxRetry);
}
