#include "videohub_service.h"

#include <algorithm>
#include <utility>

#include "text_bytes.h"
#include "videohub_block.h"
#include "videohub_format.h"
#include "videohub_parser.h"

// One client: its parser and its requests. Registered with the service from
// construction to closed().
class VideohubService::Client : public TcpSession {
public:
    Client(VideohubService& service, TcpConnection& connection)
        : service_(service), connection_(connection), id_(service.router_.newClient()) {
        service_.clients_.push_back(this);
        service_.log_ << "client " << id_ << " connected from " << connection_.peer() << std::endl;
        connection_.send(service_.dumpFor(id_));
    }
    ~Client() override { leave(); }

    int id() const { return id_; }
    void send(std::string bytes) { connection_.send(std::move(bytes)); }

    void received(std::string_view bytes) override {
        std::vector<VideohubBlock> blocks;
        const bool inStep = parser_.feed(bytes, blocks);
        for (const VideohubBlock& block : blocks) {
            onBlock(block);
            if (!connection_.open()) return;
        }
        if (!inStep) connection_.close("a line over " + std::to_string(kMaxVideohubLine) + " bytes");
    }

    void closed(const std::string& why) override {
        leave();
        service_.log_ << "client " << id_ << " disconnected: " << escapeText(why) << std::endl;
        service_.router_.releaseClient(id_);
    }

private:
    void leave() {
        std::vector<Client*>& all = service_.clients_;
        all.erase(std::remove(all.begin(), all.end(), this), all.end());
    }

    void ack() {
        ++service_.counters_.acks;
        send(formatAck());
    }

    void nak(const std::string& why) {
        ++service_.counters_.naks;
        service_.log_ << "client " << id_ << " NAK: " << escapeText(why) << std::endl;
        send(formatNak());
    }

    void onBlock(const VideohubBlock& block);
    void answerRequest(const VideohubBlock& block);
    // Why this client's change block cannot be applied, or "" when it can.
    std::string refusal(const VideohubBlock& block) const;
    void apply(const VideohubBlock& block);

    VideohubService& service_;
    TcpConnection& connection_;
    const int id_;  // the SharedRouter's client id
    VideohubParser parser_;
};

VideohubService::VideohubService(SharedRouter& router, std::string modelName, std::ostream& log, Limits limits)
    : router_(router), modelName_(std::move(modelName)), log_(log), limits_(limits) {
    token_ = router_.subscribe([this](const RouterChange& change, const Origin&) { onChange(change); });
}

VideohubService::~VideohubService() { router_.unsubscribe(token_); }

std::unique_ptr<TcpSession> VideohubService::open(TcpConnection& connection) {
    if (clients_.size() >= limits_.maxClients) {
        ++counters_.refused;
        log_ << "connection from " << connection.peer() << " refused: " << limits_.maxClients << " clients already"
             << std::endl;
        return nullptr;
    }
    return std::make_unique<Client>(*this, connection);
}

std::string VideohubService::dumpFor(int client) const {
    return formatDump(router_.model(), modelName_, [this, client](int output) { return router_.lockAs(client, output); });
}

void VideohubService::sendToAll(const std::string& bytes) {
    // A copy: a send over the budget closes a client (this one or another),
    // which leaves the list only at its closed(), posted; the copy keeps the
    // walk safe should that ever change.
    const std::vector<Client*> all = clients_;
    for (Client* client : all) client->send(bytes);
}

void VideohubService::onChange(const RouterChange& change) {
    const RouterModel& model = router_.model();
    switch (change.kind) {
    case ChangeKind::Route:
        if (change.level == 1 && model.present())
            sendToAll(formatRoutes({RouteLine{change.index, model.route(change.index)}}));
        return;
    case ChangeKind::InputLabel:
    case ChangeKind::OutputLabel: {
        const bool input = change.kind == ChangeKind::InputLabel;
        const std::string& text = input ? model.inputLabel(change.index) : model.outputLabel(change.index);
        if (model.present())
            sendToAll(formatLabels(input ? BlockKind::InputLabels : BlockKind::OutputLabels,
                                   {LabelLine{change.index, text, false}}));
        return;
    }
    case ChangeKind::Lock: {
        const std::vector<Client*> all = clients_;
        for (Client* client : all)
            client->send(formatLocks({LockLine{change.index, lockChar(router_.lockAs(client->id(), change.index))}}));
        return;
    }
    case ChangeKind::Device: {
        // Everything but the preamble, which a connection gets once.
        const std::vector<Client*> all = clients_;
        for (Client* client : all) client->send(dumpFor(client->id()).substr(formatPreamble().size()));
        return;
    }
    }
}

void VideohubService::Client::onBlock(const VideohubBlock& block) {
    switch (block.kind) {
    case BlockKind::Ack:
    case BlockKind::Nak: return;
    case BlockKind::Ping: return ack();
    case BlockKind::Stray: return nak("lines outside any block");
    case BlockKind::Unknown: return nak("unknown block " + block.header);
    case BlockKind::EndPrelude: return nak("END PRELUDE: is the server's");
    default: break;
    }
    if (block.request()) return answerRequest(block);
    if (block.kind == BlockKind::Preamble || block.kind == BlockKind::Device)
        return nak(block.header + " is the server's");
    const std::string why = refusal(block);
    if (!why.empty()) return nak(why);
    ack();
    apply(block);
}

void VideohubService::Client::answerRequest(const VideohubBlock& block) {
    const SharedRouter& router = service_.router_;
    const RouterModel& model = router.model();
    if (!model.present() && block.kind != BlockKind::Preamble && block.kind != BlockKind::Device)
        return nak("no device present");
    ack();
    const int id = id_;
    switch (block.kind) {
    case BlockKind::Preamble: return send(formatPreamble());
    case BlockKind::Device: return send(formatDevice(model, service_.modelName_));
    case BlockKind::Routing: return send(formatModelRoutes(model));
    case BlockKind::Locks:
        return send(formatModelLocks(model, [&router, id](int output) { return router.lockAs(id, output); }));
    default: return send(formatModelLabels(model, block.kind));
    }
}

static std::string outOfRange(const char* what, int index) {
    return std::string(what) + " " + std::to_string(index) + " out of range";
}

std::string VideohubService::Client::refusal(const VideohubBlock& block) const {
    const SharedRouter& router = service_.router_;
    const RouterModel& model = router.model();
    if (!model.present()) return "no device present";
    if (block.skippedCount) return block.skipped[0].reason + ": " + block.skipped[0].text;
    const bool inputs = block.kind == BlockKind::InputLabels;
    for (const LabelLine& l : block.labels)
        if (l.index >= (inputs ? model.inputs() : model.outputs())) return outOfRange(inputs ? "input" : "output", l.index);
    const auto lockedByAnother = [&](int output) { return router.lockAs(id_, output) == Lock::Locked; };
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

void VideohubService::Client::apply(const VideohubBlock& block) {
    SharedRouter& router = service_.router_;
    const Origin origin{id_};
    // Checked by refusal(): each of these succeeds.
    for (const LabelLine& l : block.labels)
        router.label(block.kind == BlockKind::InputLabels ? ChangeKind::InputLabel : ChangeKind::OutputLabel, l.index,
                     l.text, origin);
    for (const RouteLine& r : block.routes) router.route(r.output, r.input, origin);
    for (const LockLine& l : block.locks) {
        if (l.state == 'O')
            router.lock(l.output, origin);
        else
            router.unlock(l.output, origin, l.state == 'F');
    }
}
