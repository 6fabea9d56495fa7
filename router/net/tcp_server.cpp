#include "tcp_server.h"

#include <array>
#include <deque>
#include <sstream>
#include <utility>

struct TcpServer::Core {
    Core(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpProtocol& p, std::ostream& l,
         Limits lim)
        : acceptor(io, endpoint), retry(io), protocol(&p), log(l), limits(lim) {}

    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retry;  // the next accept after a failed one
    TcpProtocol* protocol;     // null once the server is gone
    std::ostream& log;
    const Limits limits;
    Counters counters;
    uint64_t nextId = 1;
    std::map<uint64_t, std::shared_ptr<TcpSession>> sessions;  // the open ones
    // Closed sessions whose closed() is not yet delivered, with the reason.
    std::map<uint64_t, std::pair<std::shared_ptr<TcpSession>, std::string>> closing;

    // Tells the protocol that session `id` closed, once.
    void deliverClosed(uint64_t id) {
        const auto it = closing.find(id);
        if (it == closing.end()) return;
        const auto entry = std::move(it->second);
        closing.erase(it);
        if (protocol) protocol->closed(*entry.first, entry.second);
    }
};

namespace {

// One connection. Its handlers hold a shared_ptr to it; it holds the core, so
// a posted closed() still finds the protocol (or learns it is gone).
class Connection : public TcpSession, public std::enable_shared_from_this<Connection> {
public:
    Connection(std::shared_ptr<TcpServer::Core> core, asio::ip::tcp::socket socket, uint64_t id)
        : core_(std::move(core)), socket_(std::move(socket)), id_(id) {
        // A protocol that waits for an acknowledge before its next message
        // (SW-P-08) would otherwise wait for the client's delayed ACK.
        asio::error_code ignored;
        socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
        asio::error_code error;
        const auto remote = socket_.remote_endpoint(error);
        std::ostringstream text;
        if (error) text << "?"; else text << remote;
        peer_ = text.str();
    }

    uint64_t id() const override { return id_; }
    const std::string& peer() const override { return peer_; }
    bool open() const override { return open_; }

    void start() { read(); }

    void send(std::string bytes) override {
        if (!open_) return;
        pending_ += bytes.size();
        if (pending_ > core_->limits.maxPendingBytes) {
            ++core_->counters.slowReaderDrops;
            return close("it reads too slowly");
        }
        queue_.push_back(std::move(bytes));
        if (queue_.size() == 1) write();
    }

    void close(const std::string& why) override {
        if (!open_) return;
        open_ = false;
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        queue_.clear();
        core_->sessions.erase(id_);
        core_->closing[id_] = {shared_from_this(), why};
        asio::post(core_->acceptor.get_executor(), [core = core_, id = id_]() { core->deliverClosed(id); });
    }

private:
    void read() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [this, self](const asio::error_code& error, size_t size) {
            if (!open_) return;
            if (error) return close(error == asio::error::eof ? "closed" : error.message());
            if (core_->protocol) core_->protocol->received(*this, std::string_view(buffer_.data(), size));
            if (open_) read();
        });
    }

    void write() {
        auto self = shared_from_this();
        asio::async_write(socket_, asio::buffer(queue_.front()), [this, self](const asio::error_code& error, size_t) {
            if (!open_) return;
            if (error) return close(error.message());
            pending_ -= queue_.front().size();
            queue_.pop_front();
            if (!queue_.empty()) write();
        });
    }

    std::shared_ptr<TcpServer::Core> core_;
    asio::ip::tcp::socket socket_;
    const uint64_t id_;
    std::string peer_;
    bool open_ = true;
    std::array<char, 4096> buffer_;
    std::deque<std::string> queue_;  // front() is being written
    size_t pending_ = 0;             // bytes in queue_
};

}  // namespace

TcpServer::TcpServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpProtocol& protocol,
                     std::ostream& log, Limits limits)
    : core_(std::make_shared<Core>(io, endpoint, protocol, log, limits)) {
    accept();
}

TcpServer::~TcpServer() {
    close();
    // Now rather than never: the protocol must forget every session.
    while (!core_->closing.empty()) core_->deliverClosed(core_->closing.begin()->first);
    core_->protocol = nullptr;
}

asio::ip::tcp::endpoint TcpServer::endpoint() const { return core_->acceptor.local_endpoint(); }

size_t TcpServer::sessionCount() const { return core_->sessions.size(); }

const TcpServer::Counters& TcpServer::counters() const { return core_->counters; }

void TcpServer::broadcast(const std::string& bytes) {
    // A copy: a send may close a slow reader, which leaves the map.
    std::vector<std::shared_ptr<TcpSession>> all;
    for (const auto& entry : core_->sessions) all.push_back(entry.second);
    for (const auto& session : all) session->send(bytes);
}

void TcpServer::close() {
    asio::error_code ignored;
    core_->acceptor.close(ignored);
    core_->retry.cancel();
    const auto all = core_->sessions;
    for (const auto& entry : all) entry.second->close("server closed");
}

void TcpServer::accept() {
    std::shared_ptr<Core> core = core_;
    core->acceptor.async_accept([this, core](const asio::error_code& error, asio::ip::tcp::socket socket) {
        if (error == asio::error::operation_aborted || !core->acceptor.is_open()) return;
        if (error) {
            // Out of descriptors, say: try again later rather than at once.
            ++core->counters.acceptFailures;
            core->log << "accept failed: " << error.message() << std::endl;
            core->retry.expires_after(core->limits.acceptRetry);
            core->retry.async_wait([this, core](const asio::error_code& e) {
                if (!e && core->acceptor.is_open()) accept();
            });
            return;
        }
        ++core->counters.accepted;
        const uint64_t id = core->nextId++;
        auto session = std::make_shared<Connection>(core, std::move(socket), id);
        core->sessions[id] = session;
        if (core->protocol) core->protocol->connected(*session);
        if (session->open()) session->start();
        accept();
    });
}
