// The SW-P-08 client against scripted routers of the test's own: the bytes it
// sends (worked by hand), the state it keeps from routers that follow the
// protocol and from those that deviate, NAK and re-send, takes and renames.
#include "followed_routers.h"

#include <gtest/gtest.h>

#include "loop/event_loop.h"
#include "routers/backends.h"
#include "swp08_support.h"
#include "backend_event_text.h"

namespace {

ClientTiming quickTiming() {
    ClientTiming t;
    t.pingAfter = std::chrono::milliseconds(50);
    t.deadAfter = std::chrono::milliseconds(400);
    t.firstRetry = std::chrono::milliseconds(20);
    t.maxRetry = std::chrono::milliseconds(40);
    // Longer than a delayed TCP ACK (40 ms) that may hold a small write.
    t.resendAfter = std::chrono::milliseconds(100);
    t.maxResends = 5;
    return t;
}

std::string eventsText(const std::vector<BackendEvent>& events) {
    std::string out;
    for (const BackendEvent& e : events) {
        if (!noteOf(e).empty()) out += noteOf(e) + "\n";
        if (e.kind == BackendEvent::Kind::Size) out += "size " + std::to_string(e.size) + "\n";
        if (e.kind == BackendEvent::Kind::Report)
            out += "report " + std::to_string(e.report.index) + "=" + std::to_string(e.report.info) + ":" +
                   e.report.text + "\n";
    }
    return out;
}

// Serves `loop` for `ms`, taking what `events` queued every 10 ms as the host
// does between statements; the taken events as eventsText shows them.
std::string serveAndTake(EventLoop& loop, BackendEvents& events, int ms) {
    std::string taken;
    for (int slept = 0; slept < ms; slept += 10) {
        loop.serve(10);
        taken += eventsText(events.take());
    }
    return taken;
}

std::string pollText(const RouterBackend& backend) {
    const PollResult result = backend.poll(1, 4);
    std::string out = result.why;
    for (const Report& r : result.reports) out += std::to_string(r.index) + "=" + r.text + ";";
    return out;
}

struct Follow {
    Swp08Router router;
    EventLoop loop;
    BackendEvents events;
    FollowedSwp08 client;
    Follow(Swp08Router::Answer answer, swp08::Codec::Options options = {})
        : router("", std::move(answer)),
          client(loop.io(), 5, "127.0.0.1", router.port(), options, quickTiming(), events) {}
};

TEST(Swp08Client, AsksNamesThenTallyAndAcknowledgesEveryFrame) {
    swp08::Codec::Options options;
    options.matrix = 1;
    options.level = 2;
    Follow f([](const std::string&) { return kAck; }, options);
    // Matrix 2 level 3 (1-based) is 12h, matrix 2 alone (destination names
    // carry no level) 10h, sent as 10h 10h; 16-character names (code 3).
    const std::string asked = frameOf(bytes({100, 0x12, 3})) + frameOf(bytes({102, 0x10, 3})) +
                              frameOf(bytes({21, 0x12}));
    f.loop.serve(3000, [&] { return f.router.received().size() >= asked.size(); });
    EXPECT_EQ(asked, bytes({0x10, 2, 100, 0x12, 3, 3, 0x84, 0x10, 3, 0x10, 2, 102, 0x10, 0x10, 3, 3, 0x84, 0x10, 3,
                            0x10, 2, 21, 0x12, 2, 0xD7, 0x10, 3}))
        << "the test's own writer";
    EXPECT_EQ(f.router.received().substr(0, asked.size()), asked);
    EXPECT_EQ(pollText(f.client), "has not sent its tally yet");
}

struct DeviationCase {
    const char* name;
    SmallRouter router;
};

TEST(Swp08Client, FollowsRoutersThatDeviate) {
    SmallRouter careful, late, never, perDestination;
    late.ackLast = true;
    late.interrogateAnswer = 4;
    never.ack = false;
    perDestination.tallyPerDestination = true;
    const DeviationCase cases[] = {
        {"careful", careful}, {"reply before ACK, 04 for 01", late}, {"never an ACK", never},
        {"dump as one 03 per destination", perDestination}};
    for (const DeviationCase& c : cases) {
        Follow f(c.router.answer());
        f.loop.serve(500);
        EXPECT_EQ(pollText(f.client), "1=Cam A;2=Cam B;3=Cam C;4=Cam D;") << c.name << "\n" << eventsText(f.events.queued());
        EXPECT_EQ(f.client.announcedSize(), 4) << c.name;
        EXPECT_EQ(f.client.connection().counters().resends, 0u) << c.name << "\n" << eventsText(f.events.queued());
        EXPECT_EQ(f.client.connection().counters().drops, 0u) << c.name << "\n" << eventsText(f.events.queued());
        EXPECT_GE(f.client.connection().counters().keepAlives, 1u) << c.name << "\n" << eventsText(f.events.queued());
        EXPECT_GE(f.router.acks(), 3) << c.name << ": the names and the dump acknowledged";
    }
}

TEST(Swp08Client, ANakedRequestGoesAgainAndEndlessNaksDropTheConnection) {
    SmallRouter careful;
    auto nakFirst = [careful, seen = std::string()](const std::string& data) mutable {
        const bool first = seen.find(data) == std::string::npos;
        seen += data + '|';
        return first ? kNak : careful.reply(data);
    };
    Follow once(nakFirst);
    once.loop.serve(700);
    EXPECT_EQ(pollText(once.client), "1=Cam A;2=Cam B;3=Cam C;4=Cam D;") << eventsText(once.events.queued());
    EXPECT_GE(once.client.connection().counters().resends, 3u);
    EXPECT_EQ(once.client.connection().counters().drops, 0u) << eventsText(once.events.queued());

    Follow always([](const std::string&) { return kNak; });
    always.loop.serve(900);
    EXPECT_GE(always.client.connection().counters().drops, 1u);
    EXPECT_NE(eventsText(always.events.queued()).find("gave up on the source names request after 5 re-sends"),
              std::string::npos)
        << eventsText(always.events.queued());
}

TEST(Swp08Client, RoutesAreAskedAndFollowOnlyTheRoutersAnswer) {
    SmallRouter noSize;
    auto answer = [noSize](const std::string& data) {
        if (data[0] == 102 || data[0] == 2) return kAck;  // no size; a take the router does not confirm
        return noSize.reply(data);
    };
    Follow f(answer);
    f.loop.serve(100);
    std::string why;
    ASSERT_TRUE(f.client.route(2, 3, why)) << why;
    ASSERT_TRUE(f.client.route(1100, 4, why)) << why;
    f.loop.serve(100);
    const std::string sent = f.router.received();
    EXPECT_NE(sent.find(bytes({0x10, 2, 2, 0, 0, 1, 2, 5, 0xF6, 0x10, 3})), std::string::npos) << "standard form";
    EXPECT_NE(sent.find(bytes({0x10, 2, 0x82, 0, 0, 4, 0x4B, 0, 3, 7, 0x25, 0x10, 3})), std::string::npos)
        << "extended form past 1024";
    EXPECT_EQ(pollText(f.client), "1=Cam A;2=Cam B;3=Cam C;4=Cam D;") << "unconfirmed takes change nothing";
    EXPECT_FALSE(f.client.route(0, 1, why));
    EXPECT_FALSE(f.client.rename(1, "X", why));
}

TEST(Swp08Client, NamesUpdatedAsksTheNamesAgainAndReportsWhatChanged) {
    SmallRouter router;
    auto answer = [router, asked = 0](const std::string& data) mutable {
        SmallRouter now = router;
        if (data[0] == 100 && ++asked > 1) now.sourceNames = "Studio  Cam B   Cam C   Cam D   ";
        return now.reply(data) + (data[0] == 21 ? frameOf(bytes({30})) : "");
    };
    Follow f(answer);
    const std::string all = serveAndTake(f.loop, f.events, 200);
    // The first report of destination 1 may be folded into the second.
    EXPECT_NE(all.find("report 1=1:Studio\n"), std::string::npos) << all;
    EXPECT_NE(all.find("report 2=2:Cam B\n"), std::string::npos) << all;
    EXPECT_EQ(all.find("report 2=2:Cam B\n", all.find("report 2=2:Cam B\n") + 1), std::string::npos)
        << "reported once: " << all;
    EXPECT_EQ(pollText(f.client), "1=Studio;2=Cam B;3=Cam C;4=Cam D;");
}

struct OptionCase {
    const char* text;
    const char* error;  // empty: accepted
    uint16_t port;
};

TEST(Swp08Client, OptionsAreCheckedWhereTheyAreWritten) {
    const OptionCase cases[] = {
        {"swp08://127.0.0.2", "", 8910},
        {"swp08://127.0.0.2:2000?matrix=256&level=1&names=32", "", 2000},
        {"swp08://127.0.0.2?matrix=0", "expected matrix 1..256", 0},
        {"swp08://127.0.0.2?level=257", "expected level 1..256", 0},
        {"swp08://127.0.0.2?level=x", "expected level 1..256", 0},
        {"swp08://127.0.0.2?names=10", "expected names 4, 8, 12, 16 or 32", 0},
        {"swp08://127.0.0.2?names=", "expected names 4, 8, 12, 16 or 32", 0},
        {"swp08://127.0.0.2?size=4", "a name swp08 takes", 0},
    };
    for (const OptionCase& c : cases) {
        std::string error;
        const std::optional<RouterTarget> target = parseRouterTarget(c.text, error);
        EXPECT_EQ(target.has_value(), *c.error == 0) << c.text << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
        if (target) {
            EXPECT_EQ(target->port, c.port) << c.text;
        }
    }
    std::string error;
    const auto options = swp08::Codec::Options::parse({{"matrix", "2"}, {"level", "16"}, {"names", "8"}}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->matrix, 1);
    EXPECT_EQ(options->level, 15);
    EXPECT_EQ(options->names, swp08::NameLength::Chars8);
}

}  // namespace
