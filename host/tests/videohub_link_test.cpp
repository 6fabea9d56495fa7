// The live link's request handling and timing edges, against a scripted
// server of the test's own on 127.0.0.1: answers nobody asked for, one
// request in flight at a time, the waiting queue's bound, requests refused
// before they go, data that waited while the loop was not served, and a
// connect that nobody answers. Evidence is counted on the connection and on
// what the server received, not read from the wording of notes.
#include "followed_routers.h"

#include <gtest/gtest.h>

#include <thread>

#include "live_support.h"
#include "loop/event_loop.h"
#include "base/text.h"
#include "backend_event_text.h"

namespace {

using std::chrono::milliseconds;

// Long enough that no keep-alive or silence drop falls inside a test that
// does not wait for one.
ClientTiming patientTiming() {
    ClientTiming t;
    t.pingAfter = milliseconds(3000);
    t.deadAfter = milliseconds(6000);
    t.firstRetry = milliseconds(20);
    t.maxRetry = milliseconds(40);
    return t;
}

size_t noteCount(const BackendEvents& events, size_t from = 0) {
    size_t n = 0;
    for (size_t i = from; i < events.queued().size(); ++i) n += !noteOf(events.queued()[i]).empty();
    return n;
}

std::string notes(const BackendEvents& events) {
    std::string out;
    for (const BackendEvent& e : events.queued())
        if (!noteOf(e).empty()) out += noteOf(e) + "\n";
    return out;
}

// A client of device 5 on `router`, served until the router's state is known.
struct Link {
    Link(ScriptedRouter& server, ClientTiming timing = patientTiming())
        : router(server), client(loop.io(), 5, "127.0.0.1", server.port(), timing, events) {
        known = loop.serve(3000, [this] { return client.poll(1, 4).why.empty(); });
    }
    // Serves until the server has received `count` blocks (at most 2 s).
    bool serveUntilBlocks(size_t count) {
        return loop.serve(2000, [this, count] { return router.blocks().size() >= count; });
    }
    const TcpClient& connection() const { return client.connection(); }

    ScriptedRouter& router;
    EventLoop loop;
    BackendEvents events;
    FollowedVideohub client;
    bool known = false;
};

const std::string kRoute2To3 = "VIDEO OUTPUT ROUTING:\n1 2";
const std::string kRoute3To4 = "VIDEO OUTPUT ROUTING:\n2 3";

TEST(VideohubLink, TheNextBlockGoesOnlyAfterTheRouterAnsweredTheFirst) {
    ScriptedRouter server(smallDump(), "", false);
    Link link(server);
    ASSERT_TRUE(link.known) << notes(link.events);
    std::string why;
    ASSERT_TRUE(link.client.route(2, 3, why)) << why;
    ASSERT_TRUE(link.client.route(3, 4, why)) << why;
    ASSERT_TRUE(link.serveUntilBlocks(1));
    link.loop.serve(150);
    EXPECT_EQ(server.blocks(), std::vector<std::string>{kRoute2To3}) << "the second went before an answer";
    EXPECT_TRUE(link.connection().requestInFlight());
    EXPECT_EQ(link.connection().waitingRequests(), 2u);

    server.push("ACK\n\n");
    ASSERT_TRUE(link.serveUntilBlocks(2)) << notes(link.events);
    EXPECT_EQ(server.blocks(), (std::vector<std::string>{kRoute2To3, kRoute3To4}));
    EXPECT_EQ(link.connection().waitingRequests(), 1u);
}

// An ACK or NAK with nothing in flight answers nothing: no refusal is noted,
// the connection stays, and the next request still goes and is answered.
TEST(VideohubLink, AnAnswerNobodyAskedForIsIgnored) {
    for (const char* stray : {"ACK\n\n", "NAK\n\n", "NAK\n\nACK\n\nNAK\n\n"}) {
        ScriptedRouter server(smallDump(), "", false);
        Link link(server);
        ASSERT_TRUE(link.known) << notes(link.events);
        const size_t before = link.events.queued().size();
        server.push(stray);
        link.loop.serve(150);
        std::string why;
        ASSERT_TRUE(link.client.route(2, 3, why)) << why;
        ASSERT_TRUE(link.serveUntilBlocks(1)) << "input: " << quoteText(stray) << "\n" << notes(link.events);
        EXPECT_TRUE(link.connection().requestInFlight()) << "input: " << quoteText(stray);
        server.push("ACK\n\n");
        link.loop.serve(2000, [&] { return !link.connection().requestInFlight(); });
        EXPECT_EQ(link.connection().waitingRequests(), 0u) << "input: " << quoteText(stray);
        EXPECT_EQ(link.connection().counters().drops, 0u) << "input: " << quoteText(stray);
        EXPECT_EQ(link.events.queued().size(), before) << "input: " << quoteText(stray) << "\n" << notes(link.events);
    }
}

TEST(VideohubLink, RequestsBeyondTheWaitingBoundAreRefusedAndCounted) {
    ScriptedRouter server(smallDump(), "", false);
    Link link(server);
    ASSERT_TRUE(link.known) << notes(link.events);
    const size_t extra = 3;
    const size_t before = link.events.queued().size();
    std::string why;
    for (size_t i = 0; i < TcpClient::kMaxWaitingRequests + extra; ++i) link.client.route(1 + i % 4, 1, why);
    EXPECT_EQ(link.connection().waitingRequests(), TcpClient::kMaxWaitingRequests);
    EXPECT_EQ(link.connection().counters().requestsDropped, extra);
    EXPECT_EQ(noteCount(link.events, before), extra) << "one note each\n" << notes(link.events);
    ASSERT_TRUE(link.serveUntilBlocks(1));
    link.loop.serve(100);
    EXPECT_EQ(server.blocks().size(), 1u) << "one in flight, the rest wait";
}

struct RefusedCase {
    const char* name;
    int number;  // destination (route) or source (rename)
    int source;  // route only; 0 for a rename
    const char* label;
};

// Nothing of these goes to the router: the call says why, nothing waits.
TEST(VideohubLink, OutOfRangeNumbersAndLineEndsInLabelsAreRefusedBeforeSending) {
    const RefusedCase cases[] = {
        {"destination 0", 0, 1, nullptr},       {"destination beyond 4", 5, 1, nullptr},
        {"source 0", 1, 0, nullptr},            {"source beyond 4", 1, 5, nullptr},
        {"negative destination", -1, 1, nullptr}, {"rename source 0", 0, 0, "X"},
        {"rename source beyond 4", 5, 0, "X"},  {"label with LF", 1, 0, "two\nlines"},
        {"label with CR", 1, 0, "two\rlines"},  {"label ending in CR LF", 1, 0, "end\r\n"},
    };
    ScriptedRouter server(smallDump(), "ACK\n\n", false);
    Link link(server);
    ASSERT_TRUE(link.known) << notes(link.events);
    for (const RefusedCase& c : cases) {
        std::string why;
        const bool sent = c.label ? link.client.rename(c.number, c.label, why) : link.client.route(c.number, c.source, why);
        EXPECT_FALSE(sent) << c.name;
        EXPECT_FALSE(why.empty()) << c.name;
        EXPECT_EQ(link.connection().waitingRequests(), 0u) << c.name;
    }
    link.loop.serve(100);
    EXPECT_TRUE(server.blocks().empty()) << server.blocks().front();
    // The edges themselves go.
    std::string why;
    EXPECT_TRUE(link.client.route(4, 4, why)) << why;
    EXPECT_TRUE(link.client.rename(4, "Cam four", why)) << why;
    EXPECT_TRUE(link.serveUntilBlocks(2));
}

// The loop is not served for longer than the silence limit while the router's
// data already waits in the socket: that is no silence, so the connection
// is neither pinged nor dropped. Whether the waiting read or the expired
// silence timer runs first after the pause is the event loop's choice (on
// Linux the read); either order must end the same.
TEST(VideohubLink, DataWaitingAfterAPauseIsNoSilence) {
    ClientTiming timing = patientTiming();
    timing.pingAfter = milliseconds(100);
    timing.deadAfter = milliseconds(250);
    ScriptedRouter server(smallDump(), "ACK\n\n", false);
    Link link(server, timing);
    ASSERT_TRUE(link.known) << notes(link.events);
    for (int pause = 0; pause < 3; ++pause) {
        server.push("INPUT LABELS:\n0 Cam A" + std::to_string(pause) + "\n\n");
        std::this_thread::sleep_for(timing.deadAfter + milliseconds(100));
        link.loop.serve(20);
    }
    EXPECT_EQ(link.connection().counters().drops, 0u) << notes(link.events);
    EXPECT_EQ(link.connection().counters().keepAlives, 0u) << notes(link.events);
    EXPECT_EQ(server.connections(), 1);
}

// A listener whose backlog is full and that never accepts: the client's SYN
// is dropped by the kernel, so its connect neither succeeds nor fails. The
// client must give up after `deadAfter` and try again.
TEST(VideohubLink, AConnectNobodyAnswersEndsAfterTheDeadTime) {
    EventLoop loop;
    asio::ip::tcp::acceptor listener(loop.io());
    const asio::ip::tcp::endpoint any(asio::ip::make_address("127.0.0.1"), 0);
    listener.open(any.protocol());
    listener.bind(any);
    listener.listen(0);
    std::vector<std::unique_ptr<asio::ip::tcp::socket>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<asio::ip::tcp::socket>(loop.io()));
        fillers.back()->async_connect(listener.local_endpoint(), [](const asio::error_code&) {});
    }
    loop.serve(50);

    ClientTiming timing = patientTiming();
    timing.deadAfter = milliseconds(150);
    timing.firstRetry = milliseconds(1000);
    BackendEvents events;
    FollowedVideohub client(loop.io(), 5, "127.0.0.1", listener.local_endpoint().port(), timing, events);
    const bool settled = loop.serve(1000, [&] { return client.connection().triedOnce(); });
    ASSERT_FALSE(client.connection().connected()) << "the backlog took the connection: cannot test the timeout here";
    EXPECT_TRUE(settled) << "the connect was still pending after 1 s\n" << notes(events);
    EXPECT_EQ(client.connection().counters().connects, 0u);
    EXPECT_EQ(noteCount(events), 1u) << "one note for the outage\n" << notes(events);
}

}  // namespace
