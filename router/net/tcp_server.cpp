#include "tcp_server.h"

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {
class Connection;
}

struct TcpServer::Core {
    Core(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpSessionFactory f, std::ostream& l,
         Limits lim)
        : acceptor(io, endpoint), retry(io), factory(std::move(f)), log(l), limits(lim) {}

    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer retry;  // the next accept after a failed one
    TcpSessionFactory factory;
    bool running = true;  // false once the server is gone: no session call
    std::ostream& log;
    const Limits limits;
    Counters counters;
    uint64_t nextId = 1;
    size_t unsent = 0;  // of every open connection
    size_t unsentPeak = 0;  // the most `unsent` was since memory was last given back
    std::map<uint64_t, std::shared_ptr<Connection>> open;
    // Closed connections whose session has not been told yet, with the reason.
    std::map<uint64_t, std::pair<std::shared_ptr<Connection>, std::string>> closing;

    void deliverClosed(uint64_t id);
    void giveMemoryBack();
    // Closes the connections holding the most unsent bytes until all of them
    // together are within the budget.
    void keepWithinBudget();
};

namespace {

// One connection: the socket, its unsent bytes and its session. Its handlers
// hold a shared_ptr to it; it holds the core, so a posted closed() still
// finds the server (or learns it is gone).
class Connection : public TcpConnection, public std::enable_shared_from_this<Connection> {
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
    size_t unsentBytes() const override { return unsent_; }

    void setSession(std::unique_ptr<TcpSession> session) { session_ = std::move(session); }
    void start() { read(); }

    // Tells the session the connection ended, then lets it go.
    void tellClosed(const std::string& why) {
        std::unique_ptr<TcpSession> session = std::move(session_);
        if (session && core_->running) session->closed(why);
    }

    void send(std::string bytes) override {
        if (!open_ || bytes.empty()) return;
        if (unsent_ + bytes.size() > core_->limits.maxUnsentBytes) {
            ++core_->counters.slowReaderDrops;
            return close("it reads too slowly (" + bytesText(unsent_ + bytes.size()) + " would wait)");
        }
        unsent_ += bytes.size();
        core_->unsent += bytes.size();
        core_->unsentPeak = std::max(core_->unsentPeak, core_->unsent);
        queue(std::move(bytes));
        if (blocks_.size() == 1) write();
        core_->keepWithinBudget();
    }

    void close(const std::string& why) override {
        if (!open_) return;
        open_ = false;
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        core_->unsent -= unsent_;
        unsent_ = 0;
        std::deque<std::string>().swap(blocks_);
        core_->open.erase(id_);
        core_->closing[id_] = {shared_from_this(), why};
        asio::post(core_->acceptor.get_executor(), [core = core_, id = id_]() { core->deliverClosed(id); });
    }

private:
    // Appends to the last block unless it is being written or would pass
    // kSendBlock.
    void queue(std::string bytes) {
        if (blocks_.size() >= 2 && blocks_.back().size() + bytes.size() <= TcpServer::kSendBlock)
            blocks_.back() += bytes;
        else
            blocks_.push_back(std::move(bytes));
    }

    void read() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [this, self](const asio::error_code& error, size_t size) {
            if (!open_) return;
            if (error) return close(error == asio::error::eof ? "closed" : error.message());
            if (session_ && core_->running) session_->received(std::string_view(buffer_.data(), size));
            if (open_) read();
        });
    }

    void write() {
        auto self = shared_from_this();
        asio::async_write(socket_, asio::buffer(blocks_.front()), [this, self](const asio::error_code& error, size_t) {
            if (!open_) return;
            if (error) return close(error.message());
            unsent_ -= blocks_.front().size();
            core_->unsent -= blocks_.front().size();
            blocks_.pop_front();
            if (!blocks_.empty()) write();
        });
    }

    std::shared_ptr<TcpServer::Core> core_;
    asio::ip::tcp::socket socket_;
    const uint64_t id_;
    std::string peer_;
    bool open_ = true;
    std::unique_ptr<TcpSession> session_;
    std::array<char, 4096> buffer_;
    std::deque<std::string> blocks_;  // front() is being written
    size_t unsent_ = 0;               // bytes in blocks_
};

}  // namespace

void TcpServer::Core::deliverClosed(uint64_t id) {
    const auto it = closing.find(id);
    if (it == closing.end()) return;
    const auto entry = std::move(it->second);
    closing.erase(it);
    entry.first->tellClosed(entry.second);
    giveMemoryBack();
}

// The blocks of unsent bytes are freed as they are written or dropped, but
// glibc keeps freed memory between live allocations for itself: after a
// flood of unread bytes (megabytes), a connection's end hands it back to
// the system, so that clients that leave take their memory with them.
void TcpServer::Core::giveMemoryBack() {
    const size_t kWorthIt = 1024 * 1024;
    if (unsentPeak < unsent + kWorthIt) return;
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    unsentPeak = unsent;
}

void TcpServer::Core::keepWithinBudget() {
    while (unsent > limits.maxTotalUnsentBytes && !open.empty()) {
        Connection* most = nullptr;
        for (const auto& entry : open)
            if (!most || entry.second->unsentBytes() > most->unsentBytes()) most = entry.second.get();
        ++counters.budgetDrops;
        most->close("it reads too slowly (" + bytesText(most->unsentBytes()) + " wait; all clients together over " +
                    bytesText(limits.maxTotalUnsentBytes) + ")");
    }
}

std::string bytesText(size_t bytes) {
    const size_t KiB = 1024, MiB = 1024 * 1024;
    if (bytes >= MiB && bytes % MiB == 0) return std::to_string(bytes / MiB) + " MiB";
    if (bytes >= KiB && bytes % KiB == 0) return std::to_string(bytes / KiB) + " KiB";
    return std::to_string(bytes) + " bytes";
}

TcpServer::TcpServer(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, TcpSessionFactory factory,
                     std::ostream& log, Limits limits)
    : core_(std::make_shared<Core>(io, endpoint, std::move(factory), log, limits)) {
    accept();
}

TcpServer::~TcpServer() {
    close();
    // Now rather than never: every session must hear of its end.
    while (!core_->closing.empty()) core_->deliverClosed(core_->closing.begin()->first);
    core_->running = false;
}

asio::ip::tcp::endpoint TcpServer::endpoint() const { return core_->acceptor.local_endpoint(); }

size_t TcpServer::sessionCount() const { return core_->open.size(); }

size_t TcpServer::unsentBytes() const { return core_->unsent; }

const TcpServer::Counters& TcpServer::counters() const { return core_->counters; }

void TcpServer::broadcast(const std::string& bytes) {
    // A copy: a send may close a slow reader, which leaves the map.
    std::vector<std::shared_ptr<Connection>> all;
    for (const auto& entry : core_->open) all.push_back(entry.second);
    for (const auto& connection : all) connection->send(bytes);
}

void TcpServer::close() {
    asio::error_code ignored;
    core_->acceptor.close(ignored);
    core_->retry.cancel();
    const auto all = core_->open;
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
        auto connection = std::make_shared<Connection>(core, std::move(socket), core->nextId++);
        core->open[connection->id()] = connection;
        std::unique_ptr<TcpSession> session = core->factory(*connection);
        if (!session) {
            ++core->counters.refused;
            connection->close("refused");
        } else if (connection->open()) {
            connection->setSession(std::move(session));
            connection->start();
        } else {
            connection->setSession(std::move(session));  // closed from the factory: told later
        }
        accept();
    });
}
