#include "router_server.h"

#include <array>
#include <deque>
#include <utility>

#include "videohub_format.h"
#include "videohub_parser.h"

// One client connection. Handlers hold a shared_ptr to it; once closed it
// never calls the server again.
class RouterServer::Session : public std::enable_shared_from_this<Session> {
public:
    Session(RouterServer& server, asio::ip::tcp::socket socket, int id)
        : server_(server), socket_(std::move(socket)), id_(id) {}

    int id() const { return id_; }
    bool open() const { return open_; }

    void start() { read(); }

    void send(std::string bytes) {
        if (!open_) return;
        pending_ += bytes.size();
        if (pending_ > kMaxPendingOutput) return server_.drop(*this, "it reads too slowly");
        queue_.push_back(std::move(bytes));
        if (queue_.size() == 1) write();
    }

    void close() {
        if (!open_) return;
        open_ = false;
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

private:
    void read() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [this, self](const asio::error_code& error, size_t size) {
            if (!open_) return;
            if (error) return server_.drop(*this, error == asio::error::eof ? "closed" : error.message());
            std::vector<VideohubBlock> blocks;
            const bool inStep = parser_.feed(std::string_view(buffer_.data(), size), blocks);
            for (const VideohubBlock& block : blocks) {
                server_.onBlock(*this, block);
                if (!open_) return;
            }
            if (!inStep) return server_.drop(*this, "a line over " + std::to_string(kMaxVideohubLine) + " bytes");
            read();
        });
    }

    void write() {
        auto self = shared_from_this();
        asio::async_write(socket_, asio::buffer(queue_.front()), [this, self](const asio::error_code& error, size_t) {
            if (!open_) return;
            if (error) return server_.drop(*this, error.message());
            pending_ -= queue_.front().size();
            queue_.pop_front();
            if (!queue_.empty()) write();
        });
    }

    RouterServer& server_;
    asio::ip::tcp::socket socket_;
    const int id_;
    bool open_ = true;
    VideohubParser parser_;
    std::array<char, 4096> buffer_;
    std::deque<std::string> queue_;  // front() is being written
    size_t pending_ = 0;
};

RouterServer::RouterServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, RouterModel& model,
                           std::string modelName, std::ostream& log)
    : acceptor_(io, endpoint), retry_(io), model_(model), modelName_(std::move(modelName)), log_(log) {
    accept();
}

RouterServer::~RouterServer() { close(); }

asio::ip::tcp::endpoint RouterServer::endpoint() const { return acceptor_.local_endpoint(); }

void RouterServer::close() {
    asio::error_code ignored;
    acceptor_.close(ignored);
    retry_.cancel();
    for (auto& [id, session] : sessions_) session->close();
    sessions_.clear();
    lockOwners_.clear();
}

void RouterServer::accept() {
    acceptor_.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor_.is_open()) return;
        if (error) {
            // Out of descriptors, say: try again later rather than at once.
            log_ << "accept failed: " << error.message() << std::endl;
            retry_.expires_after(std::chrono::milliseconds(200));
            retry_.async_wait([this](const asio::error_code& e) {
                if (!e && acceptor_.is_open()) accept();
            });
            return;
        }
        asio::error_code ec;
        const auto peer = socket.remote_endpoint(ec);
        const int id = nextClient_++;
        auto session = std::make_shared<Session>(*this, std::move(socket), id);
        sessions_[id] = session;
        log_ << "client " << id << " connected from " << peer << std::endl;
        session->send(formatDump(model_, modelName_, [this, id](int output) { return lockFor(id, output); }));
        session->start();
        accept();
    });
}

void RouterServer::drop(Session& session, const std::string& why) {
    const int id = session.id();
    session.close();
    log_ << "client " << id << " disconnected: " << why << std::endl;
    std::vector<int> freed;
    for (auto it = lockOwners_.begin(); it != lockOwners_.end();) {
        if (it->second == id) {
            freed.push_back(it->first);
            it = lockOwners_.erase(it);
        } else {
            ++it;
        }
    }
    sessions_.erase(id);  // the handlers' shared_ptr keeps `session` alive until they end
    pushLocks(freed);
}

Lock RouterServer::lockFor(int client, int output) const {
    auto it = lockOwners_.find(output);
    if (it == lockOwners_.end()) return Lock::Unlocked;
    return it->second == client ? Lock::Owned : Lock::Locked;
}

std::vector<std::shared_ptr<RouterServer::Session>> RouterServer::clients() const {
    // A copy: sending may drop a slow client, which erases it from sessions_.
    std::vector<std::shared_ptr<Session>> all;
    for (const auto& [id, session] : sessions_) all.push_back(session);
    return all;
}

void RouterServer::broadcast(const std::string& bytes) {
    for (auto& session : clients()) session->send(bytes);
}

void RouterServer::pushLocks(const std::vector<int>& outputs) {
    if (outputs.empty()) return;
    for (auto& session : clients()) {
        std::vector<LockLine> lines;
        for (int output : outputs) lines.push_back(LockLine{output, lockChar(lockFor(session->id(), output))});
        session->send(formatLocks(lines));
    }
}

void RouterServer::onBlock(Session& session, const VideohubBlock& block) {
    const auto nak = [&](const std::string& why) {
        log_ << "client " << session.id() << " NAK: " << why << std::endl;
        session.send(formatNak());
    };
    switch (block.kind) {
    case BlockKind::Ack:
    case BlockKind::Nak: return;
    case BlockKind::Ping: return session.send(formatAck());
    case BlockKind::Stray: return nak("lines outside any block");
    case BlockKind::Unknown: return nak("unknown block " + block.header);
    case BlockKind::EndPrelude: return nak("END PRELUDE: is the server's");
    default: break;
    }
    const auto lockOf = [this, &session](int output) { return lockFor(session.id(), output); };
    if (block.request()) {
        if (!model_.present() && block.kind != BlockKind::Preamble && block.kind != BlockKind::Device)
            return nak("no device present");
        session.send(formatAck());
        switch (block.kind) {
        case BlockKind::Preamble: return session.send(formatPreamble());
        case BlockKind::Device: return session.send(formatDevice(model_, modelName_));
        case BlockKind::Routing: return session.send(formatModelRoutes(model_));
        case BlockKind::Locks: return session.send(formatModelLocks(model_, lockOf));
        default: return session.send(formatModelLabels(model_, block.kind));
        }
    }
    if (block.kind == BlockKind::Preamble || block.kind == BlockKind::Device) return nak(block.header + " is the server's");
    const std::string why = refusal(session, block);
    if (!why.empty()) return nak(why);
    session.send(formatAck());
    applyRequest(session, block);
}

std::string RouterServer::refusal(const Session& session, const VideohubBlock& block) const {
    if (!model_.present()) return "no device present";
    if (block.skippedCount) return block.skipped[0].reason + ": " + block.skipped[0].text;
    const auto outOfRange = [](const char* what, int index) {
        return std::string(what) + " " + std::to_string(index) + " out of range";
    };
    for (const LabelLine& l : block.labels) {
        const int count = block.kind == BlockKind::InputLabels ? model_.inputs() : model_.outputs();
        if (l.index >= count) return outOfRange(block.kind == BlockKind::InputLabels ? "input" : "output", l.index);
    }
    for (const RouteLine& r : block.routes) {
        if (r.output >= model_.outputs()) return outOfRange("output", r.output);
        if (r.input >= model_.inputs()) return outOfRange("input", r.input);
        if (lockFor(session.id(), r.output) == Lock::Locked) return "output " + std::to_string(r.output) + " is locked";
    }
    for (const LockLine& l : block.locks) {
        if (l.output >= model_.outputs()) return outOfRange("output", l.output);
        if (l.state != 'F' && lockFor(session.id(), l.output) == Lock::Locked)
            return "output " + std::to_string(l.output) + " is locked by another client";
        if (l.state == 'L') return "L is the server's";
    }
    return "";
}

void RouterServer::applyRequest(Session& session, const VideohubBlock& block) {
    std::string error;
    const std::string by = " by client " + std::to_string(session.id());
    switch (block.kind) {
    case BlockKind::InputLabels:
    case BlockKind::OutputLabels:
        for (const LabelLine& l : block.labels) label(block.kind, l.index, l.text, error, by);
        break;
    case BlockKind::Routing:
        for (const RouteLine& r : block.routes) route(r.output, r.input, error, by);
        break;
    case BlockKind::Locks: {
        std::vector<int> outputs;
        for (const LockLine& l : block.locks) {
            if (l.state == 'O')
                lockOwners_[l.output] = session.id();
            else
                lockOwners_.erase(l.output);
            log_ << "lock " << l.output << " " << l.state << by << std::endl;
            outputs.push_back(l.output);
        }
        pushLocks(outputs);
        break;
    }
    default: break;
    }
}

bool RouterServer::route(int output, int input, std::string& error, const std::string& who) {
    if (model_.setRoute(output, input) == Applied::OutOfRange) {
        error = "no output " + std::to_string(output) + " or input " + std::to_string(input) + " on " +
                std::to_string(model_.inputs()) + "x" + std::to_string(model_.outputs());
        return false;
    }
    log_ << "route " << output << " " << input << who << std::endl;
    if (model_.present()) broadcast(formatRoutes({RouteLine{output, input}}));
    return true;
}

bool RouterServer::label(BlockKind kind, int index, const std::string& text, std::string& error,
                         const std::string& who) {
    const bool input = kind == BlockKind::InputLabels;
    const Applied applied = input ? model_.setInputLabel(index, text) : model_.setOutputLabel(index, text);
    if (applied == Applied::OutOfRange) {
        error = std::string("no ") + (input ? "input " : "output ") + std::to_string(index);
        return false;
    }
    const std::string& now = input ? model_.inputLabel(index) : model_.outputLabel(index);
    log_ << (input ? "label " : "output label ") << index << " " << now << who << std::endl;
    if (model_.present()) broadcast(formatLabels(kind, {LabelLine{index, now, false}}));
    return true;
}

void RouterServer::setPresence(Presence presence) {
    if (!model_.setPresence(presence)) return;
    log_ << "device " << (presence == Presence::Present ? "present" : presence == Presence::Absent ? "absent" : "needs update")
         << std::endl;
    for (auto& session : clients()) {
        const int id = session->id();
        const std::string dump = formatDump(model_, modelName_, [this, id](int output) { return lockFor(id, output); });
        // Everything but the preamble, which a connection gets once.
        session->send(dump.substr(formatPreamble().size()));
    }
}
