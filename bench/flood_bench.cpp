// vesk-host following an SW-P-08 router that floods CONNECTED (04) messages,
// against the goals:
//   - once the flood's last message is written, the component shows its
//     source within 1000 ms (the host keeps up: it does not work through a
//     backlog of old reports after the flood);
//   - the vesk-host program's peak memory over the flood under 32 MiB.
//
// The router is the bench's own: it acknowledges every frame, answers the
// tally dump request with one TALLY, then sends kFloodMessages CONNECTED of
// destination 1, the sources cycling through 1..4, and last source 9, while
// it reads what vesk-host sends (the acknowledges) on the same thread.
//
//   flood_bench MODULE VESK_HOST
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_support.h"
#include "one_core.h"
#include "swp08/swp08_frame.h"
#include "swp08/swp08_message.h"

namespace {

const int kFloodMessages = 400000;

std::string frameOf(const swp08::Message& m) {
    const swp08::Bytes framed = swp08::encodeFrame(*swp08::encodeMessage(m));
    return std::string(framed.begin(), framed.end());
}

std::string routeMessage(swp08::MessageKind kind, int source) {
    swp08::Message m;
    m.kind = kind;
    m.destination = 0;
    m.source = source;
    return frameOf(m);
}

std::string connected(int source) { return routeMessage(swp08::MessageKind::Connected, source); }

// One client at a time; every frame is acknowledged, the dump request is
// answered with a tally and the flood.
class FloodRouter {
public:
    FloodRouter() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)), socket_(io_) {
        for (int i = 0; i < kFloodMessages; ++i) flood_ += connected(i % 4);
        flood_ += connected(8);
        accept();
        thread_ = std::thread([this] { io_.run_for(std::chrono::seconds(60)); });
    }
    ~FloodRouter() {
        io_.stop();
        thread_.join();
    }
    int port() const { return acceptor_.local_endpoint().port(); }
    // The steady clock's count when the flood's last byte was written; 0 before.
    int64_t floodWritten() const { return written_.load(); }

private:
    void accept() {
        acceptor_.async_accept(socket_, [this](const asio::error_code& e) {
            if (!e) read();
        });
    }
    void read() {
        socket_.async_read_some(asio::buffer(buffer_), [this](const asio::error_code& e, size_t n) {
            if (e) return;
            answer(std::string(buffer_, n));
            read();
        });
    }
    // Command bytes follow DLE STX; the requests vesk-host sends carry no DLE.
    void answer(const std::string& bytes) {
        for (size_t at = bytes.find("\x10\x02"); at != std::string::npos; at = bytes.find("\x10\x02", at + 2)) {
            std::string reply = "\x10\x06";
            if (at + 2 < bytes.size() && bytes[at + 2] == swp08::kTallyDumpRequest) reply += routeMessage(swp08::MessageKind::Tally, 0) + flood_;
            send(std::move(reply));
        }
    }
    void send(std::string bytes) {
        auto held = std::make_shared<std::string>(std::move(bytes));
        const bool isFlood = held->size() > 1000;
        asio::async_write(socket_, asio::buffer(*held), [this, held, isFlood](const asio::error_code& e, size_t) {
            if (!e && isFlood) written_ = BenchClock::now().time_since_epoch().count();
        });
    }

    asio::io_context io_;
    asio::ip::tcp::acceptor acceptor_;
    asio::ip::tcp::socket socket_;
    char buffer_[16384];
    std::string flood_;
    std::atomic<int64_t> written_{0};
    std::thread thread_;
};

std::string script(int port) {
    return "site temp\nconfig 5 size 16\ncreate\nsend driverid=5\nsend destid=1\ndevice 5 swp08 127.0.0.1:" +
           std::to_string(port) + "\nexpect text \"Source 9\" within 30000\n";
}

// Milliseconds from the flood's end to the component showing its last
// source; a negative value (after printing the transcript) when it did not.
double settleAfterFlood(const std::string& module) {
    FloodRouter router;
    Session session(module);
    session.run(script(router.port()));
    const double ms = static_cast<double>(BenchClock::now().time_since_epoch().count() - router.floodWritten()) / 1e6;
    if (session.runner.end() && router.floodWritten() != 0) return ms;
    std::printf("flood_bench: the component did not show the flood's last source:\n%s\n",
                session.out.str().substr(0, 4000).c_str());
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: flood_bench MODULE VESK_HOST\n");
        return 2;
    }
    runOnOneCore();
    std::printf("vesk-host following an SW-P-08 router that floods %d CONNECTED messages, on 127.0.0.1\n",
                kFloodMessages);
    bool ok = true;
    const double settle = settleAfterFlood(argv[1]);
    if (settle < 0) return 1;
    ok &= goal("flood's last message written -> component shows it", settle, 1000.0, "ms");
    FloodRouter router;
    const long peak = hostPeakKiB(argv[1], argv[2], script(router.port()) + "wait 200\n");
    if (peak == 0) {
        std::printf("flood_bench: the vesk-host program did not pass the flood script\n");
        return 1;
    }
    ok &= goal("peak memory of vesk-host over the flood", static_cast<double>(peak) / 1024.0, 32.0, "MiB");
    return ok ? 0 : 1;
}
