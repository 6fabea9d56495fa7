#include "swp08_service.h"

#include <utility>

#include "text_bytes.h"

using swp08::FrameEventKind;
using swp08::Message;
using swp08::MessageKind;

// How the log and the change log name this service's clients.
static const char kClientKind[] = "swp08 client";

static std::string asText(const swp08::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

Swp08Service::Swp08Service(asio::io_context& io, SharedRouter& router, Swp08Table table, std::ostream& log,
                           Limits limits)
    : io_(io), router_(router), table_(table), log_(log), limits_(limits), alive_(std::make_shared<int>(0)),
      namesTimer_(io) {
    token_ = router_.subscribe([this](const RouterChange& change, const Origin& origin) { onChange(change, origin); });
}

Swp08Service::~Swp08Service() { router_.unsubscribe(token_); }

std::string Swp08Service::name(const Client& client) const { return Origin{client.id, kClientKind}.describe(); }

void Swp08Service::connected(TcpSession& session) {
    if (clients_.size() >= limits_.maxClients) {
        ++counters_.refused;
        log_ << "swp08 connection from " << session.peer() << " refused: " << limits_.maxClients
             << " clients already" << std::endl;
        session.close("refused");
        return;
    }
    auto client = std::make_unique<Client>(io_, session, router_.newClient(), limits_.outbox);
    log_ << name(*client) << " connected from " << session.peer() << std::endl;
    clients_[session.id()] = std::move(client);
}

void Swp08Service::received(TcpSession& session, std::string_view bytes) {
    const auto it = clients_.find(session.id());
    if (it == clients_.end()) return;
    Client& client = *it->second;
    std::vector<swp08::FrameEvent> events;
    client.framer.feed(bytes, events);
    for (const swp08::FrameEvent& event : events) {
        onFrameEvent(client, event);
        if (!session.open()) return;
    }
}

void Swp08Service::closed(TcpSession& session, const std::string& why) {
    const auto it = clients_.find(session.id());
    if (it == clients_.end()) return;  // a refused connection
    const int id = it->second->id;
    log_ << name(*it->second) << " disconnected: " << escapeText(why) << std::endl;
    clients_.erase(it);
    router_.releaseClient(id);
}

void Swp08Service::onFrameEvent(Client& client, const swp08::FrameEvent& event) {
    switch (event.kind) {
    case FrameEventKind::Frame:
        ++counters_.frames;
        client.session->send(asText(swp08::ackBytes()));
        return onRequest(client, event.data);
    case FrameEventKind::Ack:
        client.outbox.acked();
        return pump(client);
    case FrameEventKind::Nak:
        client.outbox.naked();
        return pump(client);
    case FrameEventKind::Garbage:
        log_ << name(client) << " skipped " << event.count << " bytes outside frames" << std::endl;
        return;
    default:
        ++counters_.naksSent;
        log_ << name(client) << " NAK: " << swp08::frameEventName(event.kind) << " (" << event.count << " bytes)"
             << std::endl;
        client.session->send(asText(swp08::nakBytes()));
        return;
    }
}

void Swp08Service::refuse(Client& client, uint8_t command, const std::string& why) {
    ++counters_.invalid;
    log_ << name(client) << " invalid: " << escapeText(why) << std::endl;
    send(client, swp08Invalid(command));
}

void Swp08Service::onRequest(Client& client, const swp08::Bytes& data) {
    const swp08::DecodeResult decoded = swp08::decodeMessage(data);
    const Swp08Answer answer = answerSwp08(router_.model(), decoded, table_);
    if (!answer.refusal.empty()) return refuse(client, decoded.command, answer.refusal);
    if (answer.take) take(client, decoded.command, answer);
    for (const Message& reply : answer.replies) send(client, reply);
}

void Swp08Service::take(Client& client, uint8_t command, const Swp08Answer& answer) {
    if (router_.lockAs(client.id, answer.destination) == Lock::Locked)
        return refuse(client, command, "destination " + std::to_string(answer.destination) + " is locked");
    takingClient_ = client.id;
    takingExtended_ = answer.extended;
    const std::string why = router_.route(answer.destination, answer.source, Origin{client.id, kClientKind});
    takingClient_ = 0;
    takingExtended_ = false;
    // Checked in range by answerSwp08, so applied; kept for safety.
    if (!why.empty()) refuse(client, command, why);
}

void Swp08Service::onChange(const RouterChange& change, const Origin&) {
    const RouterModel& model = router_.model();
    switch (change.kind) {
    case ChangeKind::Route: {
        const int source = model.route(change.index);
        if (!model.present() || source == kNoInput) return;
        Message connected;
        connected.kind = MessageKind::Connected;
        connected.matrix = table_.matrix;
        connected.level = table_.level;
        connected.destination = change.index;
        connected.source = source;
        for (auto& entry : clients_) {
            connected.extended = takingExtended_ && entry.second->id == takingClient_;
            send(*entry.second, connected);
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
        if (!router_.model().present()) return;
        Message updated;
        updated.kind = MessageKind::NamesUpdated;
        for (auto& entry : clients_) send(*entry.second, updated);
    });
}

void Swp08Service::send(Client& client, const Message& message) {
    if (!client.session->open()) return;
    const std::optional<swp08::Bytes> data = swp08::encodeMessage(message);
    if (!data) {
        // Only values checked before reach here; a fault of this code if not.
        log_ << name(client) << " cannot send " << swp08::messageKindName(message.kind) << std::endl;
        return;
    }
    if (!client.outbox.push(swp08::encodeFrame(*data))) {
        client.session->close("it does not acknowledge (" + std::to_string(client.outbox.queuedFrames()) +
                              " messages wait)");
        return;
    }
    pump(client);
}

void Swp08Service::pump(Client& client) {
    if (!client.session->open()) return;
    const Swp08Outbox::Due due = client.outbox.poll(Swp08Outbox::Clock::now());
    if (due.gaveUp) {
        ++counters_.givenUp;
        log_ << name(client) << " gave up on a message after " << limits_.outbox.maxResends << " re-sends"
             << std::endl;
    }
    if (due.resent) ++counters_.resends;
    if (due.frame) client.session->send(asText(*due.frame));
    armTimer(client);
}

void Swp08Service::armTimer(Client& client) {
    const std::optional<Swp08Outbox::Clock::time_point> deadline = client.outbox.deadline();
    if (!deadline) {
        client.timer.cancel();
        return;
    }
    client.timer.expires_at(*deadline);
    const uint64_t session = client.session->id();
    client.timer.async_wait([this, session, alive = std::weak_ptr<int>(alive_)](const asio::error_code& error) {
        // Cancelled: re-armed, or the client or the whole service is gone.
        if (error || alive.expired()) return;
        const auto it = clients_.find(session);
        if (it != clients_.end()) pump(*it->second);
    });
}
