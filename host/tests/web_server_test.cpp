// The web view's server on loopback, driven by raw sockets and websocketpp's
// own client on the same io_context: the GETs it answers and refuses, a page
// that receives what is pushed, an oversized or broken request, a page that
// never reads, and 200 pages at once. Every wait is bounded.
#include "ui/web/web_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <websocketpp/client.hpp>
#include <websocketpp/random/random_device.hpp>

#include "ui/web/web_host.h"
#include "ui/web/web_view.h"
#include "ui/web/ws_config.h"

namespace {

using Clock = std::chrono::steady_clock;
using tcp = asio::ip::tcp;

class FakeContent : public WebContent {
public:
    std::optional<std::string> state = std::string("{\"kind\":\"state\"}");
    std::string page() override { return "<p>the page</p>"; }
    std::optional<std::string> stateJson() override { return state; }
    std::vector<std::string> greeting() override { return {"{\"kind\":\"view\"}"}; }
};

class WebServerTest : public ::testing::Test {
protected:
    explicit WebServerTest(WebLimits limits = {}) : server_(io_, content_, [this](const std::string& t) { notes_ += t + "\n"; }, limits) {
        std::string why;
        EXPECT_TRUE(server_.listen("127.0.0.1", 0, why)) << why;
    }
    // Runs the loop until `done` holds or `ms` pass; true when it held.
    bool runUntil(const std::function<bool()>& done, int ms = 5000) {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
        while (!done() && Clock::now() < end) io_.run_one_for(std::chrono::milliseconds(10));
        return done();
    }
    // Sends `request` on a fresh connection and returns all it got back
    // until the server closed it (or 5 s passed).
    std::string exchange(const std::string& request) {
        auto socket = std::make_shared<tcp::socket>(io_);
        auto reply = std::make_shared<std::string>();
        auto chunk = std::make_shared<std::array<char, 4096>>();
        bool closed = false;
        std::function<void()> readMore = [&, socket, reply, chunk] {
            socket->async_read_some(asio::buffer(*chunk), [&, reply, chunk](asio::error_code ec, size_t n) {
                reply->append(chunk->data(), n);
                if (ec) closed = true;
                else readMore();
            });
        };
        socket->connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), server_.port()));
        asio::async_write(*socket, asio::buffer(request), [&](asio::error_code, size_t) { readMore(); });
        EXPECT_TRUE(runUntil([&] { return closed; })) << "no end of the answer to " << request.substr(0, 60);
        socket->close();
        runUntil([] { return false; }, 20);
        return *reply;
    }
    static std::string get(const std::string& path, const std::string& host = "127.0.0.1") {
        return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
    }

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_{io_.get_executor()};
    FakeContent content_;
    std::string notes_;
    WebServer server_;
};

TEST_F(WebServerTest, AnswersGetsAndRefusesTheRest) {
    const struct {
        std::string request;
        std::string status;
        std::string body;
    } cases[] = {
        {get("/"), "HTTP/1.1 200", "<p>the page</p>"},
        {get("/state.json"), "HTTP/1.1 200", "{\"kind\":\"state\"}"},
        {get("/state.json", "localhost:8080"), "HTTP/1.1 200", "{\"kind\":\"state\"}"},
        {get("/elsewhere"), "HTTP/1.1 404", ""},
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405", ""},
        {get("/", "evil.example:80"), "HTTP/1.1 403", ""},
        {"NOT HTTP AT ALL\r\n\r\n", "HTTP/1.1 400", ""},
    };
    for (const auto& c : cases) {
        const std::string reply = exchange(c.request);
        EXPECT_EQ(reply.substr(0, c.status.size()), c.status) << c.request << "\n" << reply;
        EXPECT_NE(reply.find(c.body), std::string::npos) << c.request << "\n" << reply;
    }
    content_.state.reset();
    EXPECT_EQ(exchange(get("/state.json")).substr(0, 12), "HTTP/1.1 503");
}

TEST_F(WebServerTest, HttpDetails) {
    const struct {
        std::string request;
        std::string statusLine;
        std::string holds;  // in the answer
        std::string lacks;  // not in the answer; "" : no check
    } cases[] = {
        {"HEAD / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 200 OK\r\n",
         "Content-Length: 15\r\n", "<p>"},
        {get("/?x=1"), "HTTP/1.1 200 OK\r\n", "<p>the page</p>", ""},
        {get("/state.json?reload=2"), "HTTP/1.1 200 OK\r\n", "{\"kind\":\"state\"}", ""},
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello", "HTTP/1.1 405 Method Not Allowed\r\n",
         "Allow: GET, HEAD\r\n", ""},
        {"GET / HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", "", "<p>"},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: evil.example\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", "", "<p>"},
        {"GET / HTTP/1.1\r\nHost:\r\nHost: 127.0.0.1\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", "", "<p>"},
    };
    for (const auto& c : cases) {
        const std::string reply = exchange(c.request);
        EXPECT_EQ(reply.substr(0, c.statusLine.size()), c.statusLine) << c.request << "\n" << reply;
        EXPECT_NE(reply.find(c.holds), std::string::npos) << c.request << "\n" << reply;
        if (!c.lacks.empty()) {
            EXPECT_EQ(reply.find(c.lacks), std::string::npos) << c.request << "\n" << reply;
        }
    }
}

TEST_F(WebServerTest, AConnectionClosedBeforeItsFirstByteLeavesNoNote) {
    for (int i = 0; i < 3; ++i) {
        tcp::socket spare(io_);
        spare.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), server_.port()));
        runUntil([] { return false; }, 20);
    }
    EXPECT_EQ(exchange(get("/")).substr(0, 12), "HTTP/1.1 200");
    runUntil([] { return false; }, 100);
    EXPECT_EQ(notes_, "");
}

TEST_F(WebServerTest, RefusesAnOversizedRequestAndServesOnAfterIt) {
    const std::string huge = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + std::string(40000, 'a') + "\r\n\r\n";
    const std::string reply = exchange(huge);
    EXPECT_EQ(reply.substr(0, 9), "HTTP/1.1 ") << reply.substr(0, 100);
    EXPECT_TRUE(reply.substr(9, 3) == "431" || reply.substr(9, 3) == "400" || reply.substr(9, 3) == "413") << reply.substr(0, 100);
    EXPECT_NE(notes_.find("web view: "), std::string::npos) << notes_;
    EXPECT_EQ(exchange(get("/")).substr(0, 12), "HTTP/1.1 200");
}

TEST_F(WebServerTest, AClientGoneInTheMiddleOfARequestLeavesANoteAndNothingElse) {
    {
        tcp::socket socket(io_);
        socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), server_.port()));
        asio::write(socket, asio::buffer(std::string("GET / HTTP/1.1\r\nHost: 127.")));
        runUntil([] { return false; }, 50);
    }
    EXPECT_TRUE(runUntil([&] { return notes_.find("without an answer") != std::string::npos; })) << notes_;
    EXPECT_EQ(exchange(get("/")).substr(0, 12), "HTTP/1.1 200");
}

// websocketpp's client fails its handshake ("Extension negotiation failed")
// when extensions are off; the server has them off, the client on.
struct TestClientConfig
    : WebSocketConfig<websocketpp::random::random_device::int_generator<uint32_t, websocketpp::concurrency::none>> {
    static const bool enable_extensions = true;
};
using TestClient = websocketpp::client<TestClientConfig>;

TEST_F(WebServerTest, APageGetsTheGreetingThenWhatIsBroadcast) {
    TestClient client;
    client.init_asio(&io_);
    std::vector<std::string> received;
    client.set_message_handler(
        [&](websocketpp::connection_hdl, TestClient::message_ptr m) { received.push_back(m->get_payload()); });
    std::string failure;
    client.set_fail_handler([&](websocketpp::connection_hdl h) {
        failure = client.get_con_from_hdl(h)->get_ec().message();
    });
    websocketpp::lib::error_code ec;
    TestClient::connection_ptr con = client.get_connection("ws://127.0.0.1:" + std::to_string(server_.port()) + "/events", ec);
    ASSERT_FALSE(ec) << ec.message();
    client.connect(con);
    ASSERT_TRUE(runUntil([&] { return received.size() == 1 || !failure.empty(); }) && failure.empty())
        << notes_ << failure << " clients " << server_.clients() << " state " << con->get_state() << " ec " << con->get_ec().message();
    EXPECT_EQ(received[0], "{\"kind\":\"view\"}");
    EXPECT_EQ(server_.clients(), 1u);
    server_.broadcast("{\"kind\":\"lines\"}");
    ASSERT_TRUE(runUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received[1], "{\"kind\":\"lines\"}");
    con->close(websocketpp::close::status::going_away, "", ec);
    EXPECT_TRUE(runUntil([&] { return server_.clients() == 0; }));
}

// Opens a WebSocket on a raw socket with a small receive buffer, and never
// reads from it.
std::unique_ptr<tcp::socket> rawPage(asio::io_context& io, uint16_t port, const std::string& origin = "") {
    auto socket = std::make_unique<tcp::socket>(io);
    socket->connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    socket->set_option(asio::socket_base::receive_buffer_size(4096));
    const std::string request = "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                                "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n" + origin + "\r\n";
    asio::write(*socket, asio::buffer(request));
    return socket;
}

class SlowPageTest : public WebServerTest {
protected:
    SlowPageTest() : WebServerTest(WebLimits{4, 64 * 1024}) {}
};

TEST_F(SlowPageTest, APageThatNeverReadsIsDroppedWithinItsQueue) {
    std::unique_ptr<tcp::socket> page = rawPage(io_, server_.port());
    ASSERT_TRUE(runUntil([&] { return server_.clients() == 1; })) << notes_;
    const std::string message(1024, 'x');
    for (int i = 0; i < 20000 && server_.clients() == 1; ++i) {
        server_.broadcast(message);
        io_.poll();
    }
    EXPECT_EQ(server_.clients(), 0u);
    EXPECT_EQ(server_.dropped(), 1u);
    EXPECT_NE(notes_.find("dropped a page that did not keep up"), std::string::npos) << notes_;
}

TEST_F(SlowPageTest, APageThatPingsAndNeverReadsIsDroppedWithinItsQueue) {
    std::unique_ptr<tcp::socket> page = rawPage(io_, server_.port());
    ASSERT_TRUE(runUntil([&] { return server_.clients() == 1; })) << notes_;
    // Empty pings, masked as a client's frames are: 2 bytes of header and
    // the mask. Their pongs are 2 bytes each on the wire.
    std::string pings;
    for (int i = 0; i < 10000; ++i) pings += std::string("\x89\x80\x01\x02\x03\x04", 6);
    auto written = std::make_shared<bool>();
    for (int batch = 0; batch < 30 && server_.clients() == 1; ++batch) {
        *written = false;
        asio::async_write(*page, asio::buffer(pings), [written](asio::error_code, size_t) { *written = true; });
        runUntil([&] { return *written || server_.clients() == 0; });
    }
    EXPECT_EQ(server_.clients(), 0u);
    EXPECT_EQ(server_.dropped(), 1u);
    EXPECT_NE(notes_.find("dropped a page that did not keep up"), std::string::npos) << notes_;
}

TEST_F(SlowPageTest, RefusesPagesBeyondTheLimitAndFromAnotherOrigin) {
    std::vector<std::unique_ptr<tcp::socket>> pages;
    for (int i = 0; i < 4; ++i) pages.push_back(rawPage(io_, server_.port()));
    ASSERT_TRUE(runUntil([&] { return server_.clients() == 4; })) << notes_;
    pages.push_back(rawPage(io_, server_.port()));
    pages.push_back(rawPage(io_, server_.port(), "Origin: http://evil.example\r\n"));
    EXPECT_TRUE(runUntil([&] {
        return notes_.find("are open already") != std::string::npos && notes_.find("another origin") != std::string::npos;
    })) << notes_;
    EXPECT_EQ(server_.clients(), 4u);
}

// vesk-host's end: what the loop did not push yet reaches the page, and then
// a closing handshake that says the host went away.
TEST(WebHostEnd, APageGetsTheLastLinesAndAGoodbye) {
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work(io.get_executor());
    WebView view;
    auto host = std::make_unique<WebHost>(io, view, [] { return std::optional<HostState>(HostState{}); }, nullptr);
    std::ostringstream said;
    std::string why;
    ASSERT_TRUE(host->start(HostPort{"127.0.0.1", 0}, said, why)) << why;
    TestClient client;
    client.init_asio(&io);
    std::string received;
    client.set_message_handler([&](websocketpp::connection_hdl, TestClient::message_ptr m) { received += m->get_payload(); });
    bool closed = false;
    client.set_close_handler([&](websocketpp::connection_hdl) { closed = true; });
    websocketpp::lib::error_code ec;
    TestClient::connection_ptr con =
        client.get_connection("ws://127.0.0.1:" + std::to_string(host->port()) + "/events", ec);
    ASSERT_FALSE(ec) << ec.message();
    client.connect(con);
    const auto runUntil = [&](const std::function<bool()>& done) {
        const Clock::time_point end = Clock::now() + std::chrono::seconds(5);
        while (!done() && Clock::now() < end) io.run_one_for(std::chrono::milliseconds(10));
        return done();
    };
    ASSERT_TRUE(runUntil([&] { return host->server().clients() == 1 && received.find("lines") != std::string::npos; }));
    view.emit(event::Caption{"the last line"});
    host.reset();
    EXPECT_TRUE(runUntil([&] { return closed; }));
    EXPECT_NE(received.find("## the last line"), std::string::npos) << received;
    EXPECT_EQ(con->get_remote_close_code(), websocketpp::close::status::going_away);
}

TEST_F(WebServerTest, ServesTwoHundredPagesAtOnce) {
    std::vector<std::unique_ptr<tcp::socket>> pages;
    for (int i = 0; i < 200; ++i) pages.push_back(rawPage(io_, server_.port()));
    EXPECT_TRUE(runUntil([&] { return server_.clients() == 200; }, 10000)) << server_.clients() << "\n" << notes_;
    server_.broadcast("{\"kind\":\"lines\"}");
    pages.clear();
    EXPECT_TRUE(runUntil([&] { return server_.clients() == 0; }, 10000)) << server_.clients();
}

}  // namespace
