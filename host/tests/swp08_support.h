// A scripted SW-P-08 router of the tests' own on 127.0.0.1 (a free port),
// with its own small frame writer and reader (not the project's), so that a
// fault shared by the client and the project's framer cannot hide.
#ifndef VESK_HOST_TESTS_SWP08_SUPPORT_H
#define VESK_HOST_TESTS_SWP08_SUPPORT_H

#include <asio.hpp>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// The frame that carries `data`: DLE STX, data, count, checksum (two's
// complement of the sum of data and count), DLE ETX; every 10h doubled.
inline std::string frameOf(const std::string& data) {
    std::string body = data;
    body += static_cast<char>(data.size());
    unsigned sum = 0;
    for (char c : body) sum += static_cast<unsigned char>(c);
    body += static_cast<char>((256 - sum % 256) % 256);
    std::string out = "\x10\x02";
    for (char c : body) out += c == '\x10' ? std::string("\x10\x10") : std::string(1, c);
    return out + "\x10\x03";
}
inline std::string bytes(std::initializer_list<int> list) {
    std::string out;
    for (int b : list) out += static_cast<char>(b);
    return out;
}
const std::string kAck = "\x10\x06";
const std::string kNak = "\x10\x15";

// Serves every client on its own thread for at most `lifetime`: writes
// `greeting`, then passes the data of each frame the client sends to
// `answer` and writes what it returns (when `closeAfterGreeting`, closes its
// side at once after the greeting and answers nothing). `answer` runs on the server's thread only.
class Swp08Router {
public:
    using Answer = std::function<std::string(const std::string& data)>;

    Swp08Router(std::string greeting, Answer answer, bool closeAfterGreeting = false,
                std::chrono::milliseconds lifetime = std::chrono::milliseconds(10000))
        : greeting_(std::move(greeting)), answer_(std::move(answer)), closeAfterGreeting_(closeAfterGreeting),
          acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        accept();
        thread_ = std::thread([this, lifetime] { io_.run_for(lifetime); });
    }
    ~Swp08Router() {
        io_.stop();
        thread_.join();
    }
    unsigned short port() const { return acceptor_.local_endpoint().port(); }
    // Every byte clients sent, and the DLE ACKs among them.
    std::string received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return raw_;
    }
    int acks() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return acks_;
    }

private:
    struct Client {
        asio::ip::tcp::socket socket;
        char buffer[4096];
        bool dle = false;
        bool inFrame = false;
        std::string body;
    };
    void accept() {
        acceptor_.async_accept([this](const asio::error_code& e, asio::ip::tcp::socket socket) {
            if (e) return;
            auto client = std::make_shared<Client>(Client{std::move(socket), {}, false, false, {}});
            // The client may be gone (a drop under test): write errors end
            // nothing here.
            asio::error_code ignored;
            asio::write(client->socket, asio::buffer(greeting_), ignored);
            // A half close keeps reading, so that what the client sent
            // meanwhile does not turn the close into a reset.
            if (closeAfterGreeting_) client->socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
            read(client);
            accept();
        });
    }
    void read(std::shared_ptr<Client> client) {
        client->socket.async_read_some(asio::buffer(client->buffer), [this, client](const asio::error_code& e, size_t n) {
            if (e) return;
            for (size_t i = 0; i < n; ++i) byte(*client, client->buffer[i]);
            read(client);
        });
    }
    void byte(Client& c, char b) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            raw_ += b;
        }
        if (!c.dle) {
            if (b == '\x10') c.dle = true;
            else if (c.inFrame) c.body += b;
            return;
        }
        c.dle = false;
        if (b == '\x10' && c.inFrame) c.body += b;
        if (b == '\x02') c.inFrame = true, c.body.clear();
        if (b == '\x06') {
            std::lock_guard<std::mutex> lock(mutex_);
            ++acks_;
        }
        if (b != '\x03' || !c.inFrame || c.body.size() < 3 || closeAfterGreeting_) return;
        c.inFrame = false;
        const std::string reply = answer_(c.body.substr(0, c.body.size() - 2));
        asio::error_code ignored;
        if (!reply.empty()) asio::write(c.socket, asio::buffer(reply), ignored);
    }

    std::string greeting_;
    Answer answer_;
    bool closeAfterGreeting_;
    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    mutable std::mutex mutex_;
    std::string raw_;
    int acks_ = 0;
    std::thread thread_;
};

// A 4 x 4 router, destination n fed by source n, sources "Cam A".."Cam D",
// as a careful router answers: DLE ACK, then the reply. Names come 8
// characters wide whatever was asked (a reply is read in any width).
struct SmallRouter {
    bool ack = true;          // false: never an ACK
    bool ackLast = false;     // the ACK after the reply
    bool tallyPerDestination = false;  // the dump as one TALLY per destination
    int interrogateAnswer = 3;         // 3 TALLY, 4 CONNECTED
    std::string sourceNames = "Cam A   Cam B   Cam C   Cam D   ";

    std::string reply(const std::string& data) const {
        const int command = static_cast<unsigned char>(data[0]);
        std::string out;
        if (command == 100) out = frameOf(bytes({106, 0, 1, 0, 0, 4}) + sourceNames);
        if (command == 102) out = frameOf(bytes({107, 0, 1, 0, 0, 4}) + "Mon 1   Mon 2   Mon 3   Mon 4   ");
        if (command == 21 && !tallyPerDestination) out = frameOf(bytes({22, 0, 4, 0, 0, 1, 2, 3}));
        for (int d = 0; d < 4 && command == 21 && tallyPerDestination; ++d) out += frameOf(bytes({3, 0, 0, d, d}));
        if (command == 1) out = frameOf(bytes({interrogateAnswer, 0, 0, data[3], data[3]}));
        if (command == 2) out = frameOf(bytes({4, 0, data[2], data[3], data[4]}));
        if (!ack) return out;
        return ackLast ? out + kAck : kAck + out;
    }
    Swp08Router::Answer answer() const {
        return [self = *this](const std::string& data) { return self.reply(data); };
    }
};

#endif  // VESK_HOST_TESTS_SWP08_SUPPORT_H
