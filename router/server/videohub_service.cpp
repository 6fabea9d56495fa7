#include "videohub_service.h"

#include <utility>
#include <vector>

#include "text_bytes.h"
#include "videohub_format.h"

VideohubService::VideohubService(SharedRouter& router, std::string modelName, std::ostream& log)
    : router_(router), modelName_(std::move(modelName)), log_(log) {
    token_ = router_.subscribe([this](const RouterChange& change, const Origin&) { onChange(change); });
}

VideohubService::~VideohubService() { router_.unsubscribe(token_); }

std::string VideohubService::dumpFor(int client) const {
    return formatDump(router_.model(), modelName_, [this, client](int output) { return router_.lockAs(client, output); });
}

void VideohubService::connected(TcpSession& session) {
    Client& client = clients_[session.id()];
    client.session = &session;
    client.id = router_.newClient();
    log_ << "client " << client.id << " connected from " << session.peer() << std::endl;
    session.send(dumpFor(client.id));
}

void VideohubService::received(TcpSession& session, std::string_view bytes) {
    const auto it = clients_.find(session.id());
    if (it == clients_.end()) return;
    Client& client = it->second;
    std::vector<VideohubBlock> blocks;
    const bool inStep = client.parser.feed(bytes, blocks);
    for (const VideohubBlock& block : blocks) {
        onBlock(client, block);
        if (!session.open()) return;
    }
    if (!inStep) session.close("a line over " + std::to_string(kMaxVideohubLine) + " bytes");
}

void VideohubService::closed(TcpSession& session, const std::string& why) {
    const auto it = clients_.find(session.id());
    if (it == clients_.end()) return;
    const int id = it->second.id;
    clients_.erase(it);
    log_ << "client " << id << " disconnected: " << escapeText(why) << std::endl;
    router_.releaseClient(id);
}

void VideohubService::onChange(const RouterChange& change) {
    const RouterModel& model = router_.model();
    std::string push;  // the same for every client, or empty
    switch (change.kind) {
    case ChangeKind::Route:
        if (model.present()) push = formatRoutes({RouteLine{change.index, model.route(change.index)}});
        break;
    case ChangeKind::InputLabel:
    case ChangeKind::OutputLabel: {
        const bool input = change.kind == ChangeKind::InputLabel;
        const std::string& text = input ? model.inputLabel(change.index) : model.outputLabel(change.index);
        if (model.present())
            push = formatLabels(input ? BlockKind::InputLabels : BlockKind::OutputLabels,
                                {LabelLine{change.index, text, false}});
        break;
    }
    case ChangeKind::Lock:
        for (auto& [id, client] : clients_)
            client.session->send(formatLocks({LockLine{change.index, lockChar(router_.lockAs(client.id, change.index))}}));
        return;
    case ChangeKind::Device:
        // Everything but the preamble, which a connection gets once.
        for (auto& [id, client] : clients_) client.session->send(dumpFor(client.id).substr(formatPreamble().size()));
        return;
    }
    if (push.empty()) return;
    for (auto& [id, client] : clients_) client.session->send(push);
}

void VideohubService::ack(Client& client) {
    ++counters_.acks;
    client.session->send(formatAck());
}

void VideohubService::nak(Client& client, const std::string& why) {
    ++counters_.naks;
    log_ << "client " << client.id << " NAK: " << escapeText(why) << std::endl;
    client.session->send(formatNak());
}

void VideohubService::onBlock(Client& client, const VideohubBlock& block) {
    switch (block.kind) {
    case BlockKind::Ack:
    case BlockKind::Nak: return;
    case BlockKind::Ping: return ack(client);
    case BlockKind::Stray: return nak(client, "lines outside any block");
    case BlockKind::Unknown: return nak(client, "unknown block " + block.header);
    case BlockKind::EndPrelude: return nak(client, "END PRELUDE: is the server's");
    default: break;
    }
    if (block.request()) return answerRequest(client, block);
    if (block.kind == BlockKind::Preamble || block.kind == BlockKind::Device)
        return nak(client, block.header + " is the server's");
    const std::string why = refusal(client, block);
    if (!why.empty()) return nak(client, why);
    ack(client);
    apply(client, block);
}

void VideohubService::answerRequest(Client& client, const VideohubBlock& block) {
    const RouterModel& model = router_.model();
    if (!model.present() && block.kind != BlockKind::Preamble && block.kind != BlockKind::Device)
        return nak(client, "no device present");
    ack(client);
    const int id = client.id;
    switch (block.kind) {
    case BlockKind::Preamble: return client.session->send(formatPreamble());
    case BlockKind::Device: return client.session->send(formatDevice(model, modelName_));
    case BlockKind::Routing: return client.session->send(formatModelRoutes(model));
    case BlockKind::Locks:
        return client.session->send(
            formatModelLocks(model, [this, id](int output) { return router_.lockAs(id, output); }));
    default: return client.session->send(formatModelLabels(model, block.kind));
    }
}

static std::string outOfRange(const char* what, int index) {
    return std::string(what) + " " + std::to_string(index) + " out of range";
}

std::string VideohubService::refusal(const Client& client, const VideohubBlock& block) const {
    const RouterModel& model = router_.model();
    if (!model.present()) return "no device present";
    if (block.skippedCount) return block.skipped[0].reason + ": " + block.skipped[0].text;
    const bool inputs = block.kind == BlockKind::InputLabels;
    for (const LabelLine& l : block.labels)
        if (l.index >= (inputs ? model.inputs() : model.outputs())) return outOfRange(inputs ? "input" : "output", l.index);
    const auto lockedByAnother = [&](int output) { return router_.lockAs(client.id, output) == Lock::Locked; };
    for (const RouteLine& r : block.routes) {
        if (r.output >= model.outputs()) return outOfRange("output", r.output);
        if (r.input >= model.inputs()) return outOfRange("input", r.input);
        if (lockedByAnother(r.output)) return "output " + std::to_string(r.output) + " is locked";
    }
    for (const LockLine& l : block.locks) {
        if (l.output >= model.outputs()) return outOfRange("output", l.output);
        if (l.state == 'L') return "L is the server's";
        if (l.state != 'F' && lockedByAnother(l.output))
            return "output " + std::to_string(l.output) + " is locked by another client";
    }
    return "";
}

void VideohubService::apply(const Client& client, const VideohubBlock& block) {
    const Origin origin{client.id};
    // Checked by refusal(): each of these succeeds.
    for (const LabelLine& l : block.labels)
        router_.label(block.kind == BlockKind::InputLabels ? ChangeKind::InputLabel : ChangeKind::OutputLabel, l.index,
                      l.text, origin);
    for (const RouteLine& r : block.routes) router_.route(r.output, r.input, origin);
    for (const LockLine& l : block.locks) {
        if (l.state == 'O')
            router_.lock(l.output, origin);
        else
            router_.unlock(l.output, origin, l.state == 'F');
    }
}
