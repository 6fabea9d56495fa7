#include "tcp_client.h"

#include "ack_queue.h"

#include <algorithm>
#include <deque>

using Clock = std::chrono::steady_clock;

std::string secondsText(std::chrono::milliseconds ms) {
    long long whole = ms.count() / 1000;
    long long tenths = ms.count() % 1000 / 100;
    return std::to_string(whole) + (tenths ? "." + std::to_string(tenths) : "") + " s";
}

// Invariants: `generation` changes on every close, and a handler whose
// generation is no longer current does nothing; once `stopped`, no handler
// touches the protocol. Handlers hold a shared_ptr to the state, so it lives
// until the last of them has run.
struct TcpClient::State : std::enable_shared_from_this<TcpClient::State> {
    State(asio::io_context& io, std::string h, uint16_t p, ClientTiming t, ClientProtocol& proto)
        : host(std::move(h)), port(p), timing(t), protocol(proto), resolver(io), socket(io), silenceTimer(io),
          resendTimer(io), stableTimer(io), retry(t.firstRetry), requests(limitsOf(t)) {}

    static AckQueue::Limits limitsOf(const ClientTiming& t) {
        AckQueue::Limits limits;
        limits.ackTimeout = t.resendAfter;
        limits.maxResends = t.maxResends;
        limits.maxMessages = kMaxWaitingRequests;
        return limits;
    }

    void connect();
    void connectTo(const std::vector<asio::ip::tcp::endpoint>& endpoints, unsigned generation);
    void onConnected(const asio::error_code& error);
    void read();
    void onRead(const asio::error_code& error, size_t bytes);
    void armSilence();
    void onSilence();
    void writeNext(bool afterNak = false);
    void send(const std::string& bytes);
    void writeFront();
    void armResend();
    void close();
    void drop(const std::string& why);
    void retryLater(const std::string& why);
    void scheduleConnect();
    void armStable();
    // The first quick close and the connect after it are told as any other;
    // from the second in a row on, they are repeats.
    unsigned repeats() const { return quickCloses >= 2 ? quickCloses - 1 : 0; }
    bool current(unsigned generation) const { return !stopped && generation == generation_; }
    std::string address() const {
        const bool v6 = host.find(':') != std::string::npos;
        return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
    }

    const std::string host;
    const uint16_t port;
    const ClientTiming timing;
    ClientProtocol& protocol;
    asio::ip::tcp::resolver resolver;
    asio::ip::tcp::socket socket;
    asio::steady_timer silenceTimer;  // connect timeout, silence, back-off
    asio::steady_timer resendTimer;
    asio::steady_timer stableTimer;  // a connection after quick closes lasts
    unsigned generation_ = 0;
    bool stopped = false;
    bool isConnected = false;
    bool triedOnce = false;
    bool failedBefore = false;
    bool pinged = false;
    std::chrono::milliseconds retry;
    Clock::time_point lastData;
    Clock::time_point connectedAt;
    // Connections closed within stableAfter of opening, in a row.
    unsigned quickCloses = 0;
    size_t unsentBytes = 0;  // writes waiting, the one being written included
    char buffer[16384];
    AckQueue requests;  // one in flight, the others waiting
    std::deque<std::string> writes;  // the front one is being written
    Counters counters;
};

void TcpClient::State::connect() {
    const unsigned generation = ++generation_;
    asio::error_code error;
    // A numeric address needs no resolver.
    asio::ip::address numeric = asio::ip::make_address(host, error);
    if (!error) {
        connectTo({asio::ip::tcp::endpoint(numeric, port)}, generation);
        return;
    }
    auto self = shared_from_this();
    resolver.async_resolve(host, std::to_string(port),
                           [self, generation](const asio::error_code& e, asio::ip::tcp::resolver::results_type results) {
                               if (!self->current(generation)) return;
                               std::vector<asio::ip::tcp::endpoint> endpoints;
                               for (const auto& entry : results) endpoints.push_back(entry.endpoint());
                               if (endpoints.empty())
                                   self->retryLater(e ? e.message() : "no address");
                               else
                                   self->connectTo(endpoints, generation);
                           });
}

void TcpClient::State::connectTo(const std::vector<asio::ip::tcp::endpoint>& endpoints, unsigned generation) {
    auto self = shared_from_this();
    asio::async_connect(socket, endpoints, [self, generation](const asio::error_code& e, const asio::ip::tcp::endpoint&) {
        if (self->current(generation)) self->onConnected(e);
    });
    // A connect that nobody answers ends like one refused.
    silenceTimer.expires_after(timing.deadAfter);
    silenceTimer.async_wait([self, generation](const asio::error_code& e) {
        if (!e && self->current(generation) && !self->isConnected)
            self->retryLater("no answer within " + secondsText(self->timing.deadAfter));
    });
}

void TcpClient::State::onConnected(const asio::error_code& error) {
    if (error) {
        retryLater(error.message());
        return;
    }
    // Small messages out at once (see the header); a failure leaves it slower, not wrong.
    asio::error_code ignored;
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    isConnected = true;
    triedOnce = true;
    failedBefore = false;
    lastData = connectedAt = Clock::now();
    pinged = false;
    ++counters.connects;
    const unsigned before = generation_;
    protocol.linkChanged(LinkChange{LinkChange::State::Connected, "", {}, repeats(), 0});
    if (!current(before)) return;
    if (repeats()) armStable();
    protocol.connected();
    if (!current(before)) return;
    read();
    armSilence();
    writeNext();
}

void TcpClient::State::read() {
    auto self = shared_from_this();
    const unsigned generation = generation_;
    socket.async_read_some(asio::buffer(buffer), [self, generation](const asio::error_code& e, size_t bytes) {
        if (self->current(generation)) self->onRead(e, bytes);
    });
}

void TcpClient::State::onRead(const asio::error_code& error, size_t bytes) {
    if (error) {
        drop(error == asio::error::eof ? protocol.closedBecause() : error.message());
        return;
    }
    lastData = Clock::now();
    if (pinged) {
        // The keep-alive was answered: the next one after pingAfter from now.
        pinged = false;
        armSilence();
    }
    const unsigned before = generation_;
    protocol.received(std::string_view(buffer, bytes));
    if (current(before)) read();
}

void TcpClient::State::armSilence() {
    auto self = shared_from_this();
    const unsigned generation = generation_;
    silenceTimer.expires_at(lastData + (pinged ? timing.deadAfter : timing.pingAfter));
    silenceTimer.async_wait([self, generation](const asio::error_code& e) {
        if (!e && self->current(generation)) self->onSilence();
    });
}

void TcpClient::State::onSilence() {
    // The loop may not have run for a while: data already waiting is not
    // silence.
    asio::error_code ignored;
    if (socket.available(ignored) > 0) lastData = Clock::now();
    const auto idle = Clock::now() - lastData;
    if (idle >= timing.deadAfter) {
        drop("no data for " + secondsText(timing.deadAfter));
        return;
    }
    if (idle >= timing.pingAfter && !pinged) {
        pinged = true;
        const unsigned before = generation_;
        if (!requests.inFlight() && requests.waiting() == 0 && protocol.keepAlive()) ++counters.keepAlives;
        if (!current(before)) return;
    }
    armSilence();
}

void TcpClient::State::send(const std::string& bytes) {
    if (unsentBytes + bytes.size() > kMaxUnsentBytes) {
        drop("more than " + std::to_string(kMaxUnsentBytes) + " bytes the router has not read");
        return;
    }
    unsentBytes += bytes.size();
    // The front buffer is being written; later writes join one buffer.
    if (writes.size() >= 2)
        writes.back() += bytes;
    else
        writes.push_back(bytes);
    if (writes.size() == 1) writeFront();
}

void TcpClient::State::writeFront() {
    auto self = shared_from_this();
    const unsigned generation = generation_;
    asio::async_write(socket, asio::buffer(writes.front()), [self, generation](const asio::error_code& e, size_t) {
        if (!self->current(generation)) return;
        if (e) {
            self->drop(e.message());
            return;
        }
        self->unsentBytes -= self->writes.front().size();
        self->writes.pop_front();
        if (!self->writes.empty()) self->writeFront();
    });
}

// Writes what the request queue says is due now: the next request, the one
// in flight again (after a NAK or its time), or it gives up on it.
void TcpClient::State::writeNext(bool afterNak) {
    if (!isConnected) return;
    AckQueue::Due due = requests.poll(Clock::now());
    if (due.gaveUp) {
        drop("gave up on " + due.label + " after " + std::to_string(timing.maxResends) + " re-sends");
        return;
    }
    if (!due.write) return;
    if (due.resent) {
        ++counters.resends;
        if (!afterNak)
            protocol.note("sent " + due.label + " again (no answer within " + secondsText(timing.resendAfter) + ")");
    }
    send(*due.write);
    armResend();
}

void TcpClient::State::armResend() {
    const std::optional<Clock::time_point> deadline = requests.deadline();
    if (!deadline) return;
    auto self = shared_from_this();
    const unsigned generation = generation_;
    resendTimer.expires_at(*deadline);
    resendTimer.async_wait([self, generation](const asio::error_code& e) {
        if (!e && self->current(generation)) self->writeNext();
    });
}

void TcpClient::State::close() {
    ++generation_;
    isConnected = false;
    writes.clear();
    unsentBytes = 0;
    asio::error_code ignored;
    socket.close(ignored);
    silenceTimer.cancel();
    resendTimer.cancel();
    stableTimer.cancel();
    resolver.cancel();
}

void TcpClient::State::drop(const std::string& why) {
    const bool quick = Clock::now() - connectedAt < timing.stableAfter;
    const size_t held = requests.waiting() + (requests.inFlight() ? 1 : 0);
    protocol.linkChanged(LinkChange{LinkChange::State::Lost, why, {}, repeats(), held});
    counters.requestsDropped += static_cast<unsigned>(held);
    ++counters.drops;
    // A quick close is a failed attempt: the back-off goes on growing.
    if (quick)
        ++quickCloses;
    else
        retry = timing.firstRetry;
    if (!quick) quickCloses = 0;
    requests.clear();
    triedOnce = true;
    close();
    protocol.disconnected();
    scheduleConnect();
}

void TcpClient::State::retryLater(const std::string& why) {
    close();
    if (!failedBefore) protocol.linkChanged(LinkChange{LinkChange::State::Refused, why, timing.maxRetry, 0, 0});
    failedBefore = true;
    triedOnce = true;
    protocol.disconnected();
    scheduleConnect();
}

void TcpClient::State::scheduleConnect() {
    if (stopped) return;
    auto self = shared_from_this();
    const unsigned generation = generation_;
    silenceTimer.expires_after(retry);
    silenceTimer.async_wait([self, generation](const asio::error_code& e) {
        if (!e && self->current(generation)) self->connect();
    });
    retry = std::min(retry * 2, timing.maxRetry);
}

// After quick closes: once this connection has lasted stableAfter, it is
// reported again as a connection that holds.
void TcpClient::State::armStable() {
    auto self = shared_from_this();
    const unsigned generation = generation_;
    stableTimer.expires_after(timing.stableAfter);
    stableTimer.async_wait([self, generation](const asio::error_code& e) {
        if (e || !self->current(generation) || !self->isConnected) return;
        self->quickCloses = 0;
        self->retry = self->timing.firstRetry;
        self->protocol.linkChanged(LinkChange{LinkChange::State::Connected, "", {}, 0, 0});
    });
}

TcpClient::TcpClient(asio::io_context& io, std::string host, uint16_t port, ClientTiming timing,
                     ClientProtocol& protocol)
    : state_(std::make_shared<State>(io, std::move(host), port, timing, protocol)) {}

TcpClient::~TcpClient() { stop(); }

void TcpClient::start() { state_->connect(); }

void TcpClient::stop() {
    if (state_->stopped) return;
    state_->close();
    state_->stopped = true;
    state_->requests.clear();
}

bool TcpClient::connected() const { return state_->isConnected; }
bool TcpClient::triedOnce() const { return state_->triedOnce; }
std::string TcpClient::address() const { return state_->address(); }
TcpClient::Counters TcpClient::counters() const { return state_->counters; }
size_t TcpClient::waitingRequests() const {
    return state_->requests.waiting() + (state_->requests.inFlight() ? 1 : 0);
}
bool TcpClient::requestInFlight() const { return state_->requests.inFlight(); }

std::optional<TcpClient::InFlight> TcpClient::inFlight() const {
    const AckQueue& q = state_->requests;
    if (!q.inFlight()) return std::nullopt;
    return InFlight{*q.inFlightTag(), *q.inFlightLabel()};
}

bool TcpClient::request(std::string bytes, std::string what, int tag) {
    State& s = *state_;
    if (!s.isConnected) return false;
    const size_t held = waitingRequests();
    if (held >= kMaxWaitingRequests || !s.requests.push(std::move(bytes), what, tag)) {
        s.protocol.note("has " + std::to_string(held) + " requests waiting: " + what + " dropped");
        ++s.counters.requestsDropped;
        return false;
    }
    s.writeNext();
    return true;
}

bool TcpClient::answered(bool accepted) {
    State& s = *state_;
    if (!s.requests.inFlight()) return false;
    const std::string what = *s.requests.inFlightLabel();
    s.requests.acked();
    s.resendTimer.cancel();
    if (!accepted) s.protocol.note("refused " + what + " (NAK)");
    s.writeNext();
    return true;
}

void TcpClient::resend() {
    State& s = *state_;
    if (!s.isConnected || !s.requests.naked()) return;
    s.resendTimer.cancel();
    s.writeNext(true);
}

void TcpClient::write(std::string bytes) {
    if (state_->isConnected) state_->send(bytes);
}

void TcpClient::drop(const std::string& why) {
    if (state_->isConnected && !state_->stopped) state_->drop(why);
}
