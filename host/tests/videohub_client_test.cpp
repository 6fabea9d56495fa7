// The Videohub client's connection keeping, with short times, counted on the
// connection rather than read from notes: a silent router is pinged, then
// dropped and called again; a refused connect is tried again; replacing a
// device's router while its handlers are queued is safe.
#include "followed_routers.h"

#include <gtest/gtest.h>

#include "live_support.h"
#include "loop/event_loop.h"
#include "routers/backends.h"
#include "backend_event_text.h"

namespace {

ClientTiming quickTiming() {
    ClientTiming t;
    t.pingAfter = std::chrono::milliseconds(50);
    t.deadAfter = std::chrono::milliseconds(200);
    t.firstRetry = std::chrono::milliseconds(20);
    t.maxRetry = std::chrono::milliseconds(40);
    return t;
}

std::string notes(const BackendEvents& events) {
    std::string out;
    for (const BackendEvent& e : events.queued())
        if (!noteOf(e).empty()) out += noteOf(e) + "\n";
    return out;
}

TEST(VideohubClient, ARouterThatAnswersPingsKeepsItsConnection) {
    ScriptedRouter router(smallDump(), "ACK\n\n", false);
    EventLoop loop;
    BackendEvents events;
    FollowedVideohub client(loop.io(), 5, "127.0.0.1", router.port(), quickTiming(), events);
    loop.serve(600);
    EXPECT_EQ(router.connections(), 1) << notes(events);
    EXPECT_EQ(client.connection().counters().drops, 0u) << notes(events);
    EXPECT_GE(client.connection().counters().keepAlives, 2u) << notes(events);
    EXPECT_EQ(client.poll(1, 4).reports.size(), 4u) << notes(events);
}

// After each answered keep-alive the next goes after the same silence, not
// after the longer wait for a dead router.
TEST(VideohubClient, AKeepAliveGoesAfterEachSilence) {
    ScriptedRouter router(smallDump(), "ACK\n\n", false);
    EventLoop loop;
    BackendEvents events;
    ClientTiming timing = quickTiming();
    timing.deadAfter = std::chrono::milliseconds(400);
    FollowedVideohub client(loop.io(), 5, "127.0.0.1", router.port(), timing, events);
    loop.serve(1000);
    EXPECT_GE(client.connection().counters().keepAlives, 10u) << "one about every 50 ms of silence";
    EXPECT_EQ(client.connection().counters().drops, 0u) << notes(events);
}

// A router that accepts and closes at once: each quick close is a failed
// attempt (the back-off grows), and the repeats are noted as a count.
TEST(VideohubClient, ARouterThatClosesAtOnceIsCalledLessOftenAndNotedInCounts) {
    ScriptedRouter router("", "", true);
    EventLoop loop;
    BackendEvents events;
    ClientTiming timing = quickTiming();
    timing.firstRetry = std::chrono::milliseconds(10);
    timing.maxRetry = std::chrono::milliseconds(160);
    timing.stableAfter = std::chrono::milliseconds(500);
    FollowedVideohub client(loop.io(), 5, "127.0.0.1", router.port(), timing, events);
    loop.serve(1500);
    EXPECT_GE(router.connections(), 4) << notes(events);
    EXPECT_LE(router.connections(), 16) << "backed off to 160 ms: " << notes(events);
    size_t lines = 0;
    for (const BackendEvent& e : events.queued()) lines += !noteOf(e).empty();
    EXPECT_LE(lines, 6u) << notes(events);
}

TEST(VideohubClient, ASilentRouterIsDroppedAndCalledAgain) {
    ScriptedRouter router(smallDump(), "", false);
    EventLoop loop;
    BackendEvents events;
    FollowedVideohub client(loop.io(), 5, "127.0.0.1", router.port(), quickTiming(), events);
    loop.serve(600);
    EXPECT_GE(router.connections(), 2) << notes(events);
    EXPECT_GE(client.connection().counters().drops, 1u) << notes(events);
    EXPECT_GE(client.connection().counters().requestsDropped, 1u) << "the unanswered PING: " << notes(events);
}

TEST(VideohubClient, ARefusedConnectIsOneNoteAndIsTriedAgain) {
    unsigned short port;
    {
        ScriptedRouter closed("", "", true);
        port = closed.port();
    }
    EventLoop loop;
    BackendEvents events;
    FollowedVideohub client(loop.io(), 5, "127.0.0.1", port, quickTiming(), events);
    loop.serve(300);
    EXPECT_EQ(client.poll(1, 4).why, "is not connected");
    const std::string all = notes(events);
    const std::string note = "cannot connect to 127.0.0.1:" + std::to_string(port);
    const size_t first = all.find(note);
    ASSERT_NE(first, std::string::npos) << all;
    EXPECT_EQ(all.find(note, first + 1), std::string::npos) << all;
}

// A refused first connect ends the script's wait for it at once, not after
// the 5 s bound: the clock, which follows the wall clock, shows how long.
TEST(VideohubClient, ARefusedFirstConnectEndsTheWaitForIt) {
    unsigned short port;
    {
        ScriptedRouter closed("", "", true);
        port = closed.port();
    }
    const std::string transcript =
        runLive("device 5 videohub 127.0.0.1:" + std::to_string(port) + "\nstate\n");
    const size_t clock = transcript.find("   clock ");
    ASSERT_NE(clock, std::string::npos) << transcript;
    EXPECT_LT(std::stol(transcript.substr(clock + 9)), 4000) << transcript;
}

// A router that announces fewer outputs: what was reported beyond them is
// forgotten, with a note, and a poll there says the router has no such
// destinations.
TEST(VideohubClient, ARouterThatShrinksSaysWhichDestinationsAreGone) {
    ScriptedRouter router(smallDump(), "ACK\n\n", false);
    EventLoop loop;
    BackendEvents events;
    FollowedVideohub client(loop.io(), 5, "127.0.0.1", router.port(), quickTiming(), events);
    loop.serve(200, [&] { return client.poll(1, 4).reports.size() == 4; });
    ASSERT_EQ(client.poll(1, 4).reports.size(), 4u) << notes(events);
    router.push("VIDEOHUB DEVICE:\nDevice present: true\nVideo inputs: 4\nVideo outputs: 2\n\n");
    loop.serve(300, [&] { return client.announcedSize() == 2; });
    EXPECT_EQ(client.announcedSize(), 2) << notes(events);
    EXPECT_NE(notes(events).find("router device 5 has 2 outputs now: destinations 3..4 are gone"), std::string::npos)
        << notes(events);
    EXPECT_EQ(client.poll(1, 4).reports.size(), 2u);
}

// The old client's read, write and timer handlers are still queued when the
// device gets a new router; they must run without touching the freed client
// (AddressSanitizer and valgrind see it when they do).
TEST(VideohubClient, ReplacingADevicesRouterWhileItsHandlersWaitIsSafe) {
    ScriptedRouter first(smallDump(), "ACK\n\n", false);
    ScriptedRouter second(smallDump(), "ACK\n\n", false);
    EventLoop loop;
    BackendEvents events;
    Backends backends(events);
    BackendContext context{loop.io(), events, quickTiming()};
    std::string why;
    for (int round = 0; round < 5; ++round) {
        const uint16_t port = round % 2 ? second.port() : first.port();
        ASSERT_NE(backends.follow(5, RouterTarget{"videohub", "127.0.0.1", port, {}}, context, why), nullptr) << why;
        loop.serve(30);
        std::string ignored;
        backends.find(5)->route(1, 2, ignored);
    }
    loop.serve(200);
    EXPECT_TRUE(backends.find(5)->poll(1, 4).why.empty()) << notes(events);
}

}  // namespace
