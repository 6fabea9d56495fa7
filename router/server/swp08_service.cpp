#include "swp08_service.h"

#include <algorithm>
#include <utility>

#include "swp08/swp08_frame.h"
#include "text_bytes.h"

using swp08::FrameEventKind;
using swp08::Message;
using swp08::MessageKind;

// How the log and the change log name this service's clients.
static const char kClientKind[] = "swp08 client";

static std::string asText(const swp08::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

static std::string secondsText(std::chrono::milliseconds ms) {
    const long long whole = ms.count() / 1000, tenths = ms.count() % 1000 / 100;
    return std::to_string(whole) + (tenths ? "." + std::to_string(tenths) : "") + " s";
}

// One client: its framer, its queue of our messages and their timer, and the
// timer that drops it when it says nothing. Registered with the service from
// construction to closed().
class Swp08Service::Client : public TcpSession {
public:
    Client(Swp08Service& service, TcpConnection& connection)
        : service_(service), connection_(connection), id_(service.router_.newClient()),
          outbox_(service.limits_.outbox), outboxTimer_(service.io_), silenceTimer_(service.io_) {
        service_.clients_.push_back(this);
        log() << " connected from " << connection_.peer() << std::endl;
        watchSilence();
    }
    ~Client() override { leave(); }

    int id() const { return id_; }
    // Queues `message` and writes what is due.
    void send(const Message& message);

    void received(std::string_view bytes) override {
        std::vector<swp08::FrameEvent> events;
        framer_.feed(bytes, events);
        for (const swp08::FrameEvent& event : events) {
            onFrameEvent(event);
            if (!connection_.open()) return;
        }
    }

    void closed(const std::string& why) override {
        leave();
        log() << " disconnected: " << escapeText(why) << std::endl;
        service_.router_.releaseClient(id_);
    }

private:
    std::ostream& log() const { return service_.log_ << Origin{id_, kClientKind}.describe(); }
    void leave() {
        std::vector<Client*>& all = service_.clients_;
        all.erase(std::remove(all.begin(), all.end(), this), all.end());
    }
    void onFrameEvent(const swp08::FrameEvent& event);
    void onRequest(const swp08::Bytes& data);
    // Sends 99 about `command` and logs `why`.
    void refuse(uint8_t command, const std::string& why);
    // Writes what the outbox says is due and re-arms its timer.
    void pump();
    void armOutboxTimer();
    void watchSilence();

    Swp08Service& service_;
    TcpConnection& connection_;
    const int id_;  // the SharedRouter's client id
    swp08::Framer framer_;
    AckQueue outbox_;
    asio::steady_timer outboxTimer_;   // at or before the outbox's deadline
    // The time outboxTimer_ waits for; none while it waits for nothing.
    std::optional<AckQueue::Clock::time_point> outboxWait_;
    asio::steady_timer silenceTimer_;  // drops a client that never spoke
    bool heard_ = false;               // a frame, ACK or NAK came
    // Expires with this: the timers' handlers may run after it is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

void Swp08Service::Client::watchSilence() {
    silenceTimer_.expires_after(service_.limits_.silenceLimit);
    silenceTimer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const asio::error_code& error) {
        if (error || alive.expired() || heard_) return;
        ++service_.counters_.silentDrops;
        connection_.close("it sent nothing within " + secondsText(service_.limits_.silenceLimit));
    });
}

void Swp08Service::Client::onFrameEvent(const swp08::FrameEvent& event) {
    if (event.kind != FrameEventKind::Garbage && !heard_) {
        heard_ = true;
        silenceTimer_.cancel();
    }
    switch (event.kind) {
    case FrameEventKind::Frame:
        ++service_.counters_.frames;
        connection_.send(asText(swp08::ackBytes()));
        return onRequest(event.data);
    case FrameEventKind::Ack:
        outbox_.acked();
        return pump();
    case FrameEventKind::Nak:
        outbox_.naked();
        return pump();
    case FrameEventKind::Garbage:
        log() << " skipped " << event.count << " bytes outside frames" << std::endl;
        return;
    default:
        ++service_.counters_.naksSent;
        log() << " NAK: " << swp08::frameEventName(event.kind) << " (" << event.count << " bytes)" << std::endl;
        connection_.send(asText(swp08::nakBytes()));
        return;
    }
}

void Swp08Service::Client::refuse(uint8_t command, const std::string& why) {
    ++service_.counters_.invalid;
    log() << " invalid: " << escapeText(why) << std::endl;
    send(swp08Invalid(command));
}

void Swp08Service::Client::onRequest(const swp08::Bytes& data) {
    const swp08::DecodeResult decoded = swp08::decodeMessage(data);
    const Swp08Answer answer = answerSwp08(service_.view(), decoded, service_.table_);
    if (answer.ignored) {
        log() << " sent " << escapeText(answer.note) << ": no answer" << std::endl;
        return;
    }
    if (!answer.refusal.empty()) return refuse(decoded.command, answer.refusal);
    if (answer.take) {
        const std::string why = service_.take(*this, answer);
        if (!why.empty()) return refuse(decoded.command, why);
    }
    for (const Message& reply : answer.replies) send(reply);
}

void Swp08Service::Client::send(const Message& message) {
    if (!connection_.open()) return;
    const std::optional<swp08::Bytes> data = swp08::encodeMessage(message);
    if (!data) {
        // Only values checked before reach here; a fault of this code if not.
        log() << " cannot send " << swp08::messageKindName(message.kind) << std::endl;
        return;
    }
    if (!outbox_.push(asText(swp08::encodeFrame(*data)), std::string(swp08::messageKindName(message.kind)))) {
        connection_.close("it does not acknowledge (" + std::to_string(outbox_.waiting() + 1) + " messages wait)");
        return;
    }
    pump();
}

void Swp08Service::Client::pump() {
    for (;;) {
        if (!connection_.open()) return;
        AckQueue::Due due = outbox_.poll(AckQueue::Clock::now());
        if (due.gaveUp) {
            ++service_.counters_.givenUp;
            log() << " gave up on " << due.label << " after " << outbox_.limits().maxResends << " re-sends"
                  << std::endl;
            continue;  // the next one, if any
        }
        if (due.resent) ++service_.counters_.resends;
        if (due.write) connection_.send(std::move(*due.write));
        break;
    }
    armOutboxTimer();
}

// Lazy: a wait already set for no later than the deadline stays, and when it
// fires early pump() finds nothing due and sets the next one. So a stream of
// acknowledged messages (a salvo) costs no timer change a message.
void Swp08Service::Client::armOutboxTimer() {
    const std::optional<AckQueue::Clock::time_point> deadline = outbox_.deadline();
    if (!deadline || (outboxWait_ && *outboxWait_ <= *deadline)) return;
    outboxWait_ = *deadline;
    outboxTimer_.expires_at(*deadline);
    outboxTimer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const asio::error_code& error) {
        // Cancelled: set again for an earlier time, or the client is gone.
        if (error || alive.expired()) return;
        outboxWait_.reset();
        pump();
    });
}

Swp08Service::Swp08Service(asio::io_context& io, SharedRouter& router, Swp08Table table, std::ostream& log,
                           Limits limits)
    : io_(io), router_(router), table_(table), log_(log), limits_(limits), alive_(std::make_shared<int>(0)),
      namesTimer_(io) {
    token_ = router_.subscribe([this](const RouterChange& change, const Origin&) { onChange(change); });
}

Swp08Service::~Swp08Service() { router_.unsubscribe(token_); }

std::unique_ptr<TcpSession> Swp08Service::open(TcpConnection& connection) {
    if (clients_.size() >= limits_.maxClients) {
        ++counters_.refused;
        log_ << "swp08 connection from " << connection.peer() << " refused: " << limits_.maxClients
             << " clients already" << std::endl;
        return nullptr;
    }
    return std::make_unique<Client>(*this, connection);
}

Swp08Router Swp08Service::view() const {
    const SharedRouter& router = router_;
    return Swp08Router{router.model(), [&router](int level, int output) { return router.route(level, output); }};
}

std::string Swp08Service::take(const Client& client, const Swp08Answer& answer) {
    if (answer.level == 1 && router_.lockAs(client.id(), answer.destination) == Lock::Locked)
        return "destination " + std::to_string(answer.destination) + " is locked";
    taking_ = &client;
    takingExtended_ = answer.extended;
    const std::string why = router_.route(answer.destination, answer.source, Origin{client.id(), kClientKind},
                                          answer.level);
    taking_ = nullptr;
    takingExtended_ = false;
    return why;  // checked in range by answerSwp08, so "": kept for safety
}

void Swp08Service::sendToAll(const Message& message) {
    const std::vector<Client*> all = clients_;
    for (Client* client : all) client->send(message);
}

void Swp08Service::onChange(const RouterChange& change) {
    const RouterModel& model = router_.model();
    switch (change.kind) {
    case ChangeKind::Route: {
        const int source = router_.route(change.level, change.index);
        if (!model.present() || source == kNoInput || change.level > table_.levels) return;
        Message connected;
        connected.kind = MessageKind::Connected;
        connected.matrix = table_.matrix;
        connected.level = table_.level + change.level - 1;
        connected.destination = change.index;
        connected.source = source;
        const std::vector<Client*> all = clients_;
        for (Client* client : all) {
            connected.extended = takingExtended_ && client == taking_;
            client->send(connected);
        }
        return;
    }
    case ChangeKind::InputLabel:
    case ChangeKind::OutputLabel: return scheduleNamesUpdated();
    case ChangeKind::Device:
        if (model.present()) scheduleNamesUpdated();
        return;
    case ChangeKind::Lock: return;
    }
}

void Swp08Service::scheduleNamesUpdated() {
    if (namesDue_) return;  // the one already scheduled covers this change too
    namesDue_ = true;
    namesTimer_.expires_after(limits_.namesDelay);
    namesTimer_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const asio::error_code& error) {
        if (error || alive.expired()) return;
        namesDue_ = false;
        if (router_.model().present()) sendToAll(swp08NamesUpdated(table_.matrix));
    });
}
