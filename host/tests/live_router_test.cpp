// The live-router core with a fake codec, so that what the core does once for
// every protocol (reports, size and shrink, bounded problem notes, routes
// kept after the link is lost, the checks on a route) is tested apart from
// any protocol. The fake router on 127.0.0.1 sends lines the fake codec
// reads: "size N", "route OUTPUT INPUT", "problem TEXT".
#include <gtest/gtest.h>

#include <sstream>

#include "backend_event_text.h"
#include "loop/event_loop.h"
#include "routers/live_router.h"

namespace {

class FakeCodec : public RouterCodec {
public:
    FakeCodec() : model_(8, 8) {}
    const RouterModel& model() const override { return model_; }
    void connected(CodecLink&) override {}
    void received(std::string_view bytes, CodecLink& link) override {
        std::istringstream lines{std::string(bytes)};
        std::string word;
        while (lines >> word) {
            int a = 0, b = 0;
            if (word == "size" && lines >> a) {
                model_.resize(8, a);
                link.sized(a);
            } else if (word == "route" && lines >> a >> b) {
                model_.setRoute(a, b);
                known_ = true;
                link.changed({a});
            } else if (word == "problem" && lines >> word) {
                link.problem(word);
            }
        }
    }
    std::string unknown() const override { return known_ ? "" : "has sent nothing yet"; }
    std::string closedBecause() const override { return "the router closed it"; }
    std::optional<CodecRequest> keepAlive() override { return std::nullopt; }
    int routableOutputs() const override { return model_.outputs(); }
    int routableInputs() const override { return model_.inputs(); }
    CodecRequest route(int output, int input) const override {
        return CodecRequest{"take " + std::to_string(output) + " " + std::to_string(input) + "\n", "", 0};
    }
    std::string labelRefusal(const std::string&) const override { return ""; }
    CodecRequest label(int, const std::string&) const override { return CodecRequest{"label\n", "", 0}; }

private:
    RouterModel model_;
    bool known_ = false;
};

// Accepts one connection on the loop's own io_context and writes to it.
struct FakeRouter {
    explicit FakeRouter(asio::io_context& io)
        : acceptor(io, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)), socket(io) {
        acceptor.async_accept(socket, [](const asio::error_code&) {});
    }
    void send(const std::string& text) { asio::write(socket, asio::buffer(text)); }
    asio::ip::tcp::acceptor acceptor;
    asio::ip::tcp::socket socket;
};

struct Core {
    EventLoop loop;
    FakeRouter router{loop.io()};
    BackendEvents events;
    LiveRouter live{loop.io(), 5, "fake", std::make_unique<FakeCodec>(), "127.0.0.1",
                    router.acceptor.local_endpoint().port(), ClientTiming{}, events};
    Core() { loop.serve(2000, [this] { return live.connection().connected() && router.socket.is_open(); }); }
    // Sends `text` and serves until the events hold `count` of `kind`.
    std::string say(const std::string& text, int ms = 100) {
        router.send(text);
        loop.serve(ms);
        std::string out;
        for (const BackendEvent& e : events.take()) {
            if (e.kind == BackendEvent::Kind::Report) out += "report " + std::to_string(e.report.index) + ";";
            if (e.kind == BackendEvent::Kind::Size) out += "size " + std::to_string(e.size) + ";";
            if (e.kind == BackendEvent::Kind::Note) out += noteOf(e) + ";";
        }
        return out;
    }
};

TEST(LiveRouter, ASizeIsAnnouncedOnceAndAShrinkForgetsTheDestinationsGone) {
    Core core;
    EXPECT_EQ(core.say("size 8 size 8 route 6 1 route 1 2 "), "size 8;report 7;report 2;");
    EXPECT_EQ(core.say("size 4 "),
              "router device 5 has 4 outputs now: destination 7 is gone; a component showing one keeps its last "
              "report;size 4;");
    EXPECT_EQ(core.live.announcedSize(), 4);
    EXPECT_EQ(core.say("size 8 route 6 1 "), "size 8;report 7;") << "forgotten, so reported again";
}

TEST(LiveRouter, ProblemNotesAreBoundedPerConnection) {
    Core core;
    std::string flood;
    for (int i = 0; i < LiveRouter::kMaxProblemNotes + 10; ++i) flood += "problem p" + std::to_string(i) + " ";
    const std::string notes = core.say(flood);
    size_t count = 0;
    for (size_t at = notes.find("router device 5 "); at != std::string::npos; at = notes.find("router device 5 ", at + 1))
        ++count;
    EXPECT_EQ(count, static_cast<size_t>(LiveRouter::kMaxProblemNotes) + 1) << notes;
    EXPECT_NE(notes.find("the rest of this connection goes unnoted"), std::string::npos) << notes;
}

TEST(LiveRouter, StateKeepsTheRoutesOfALostRouterAndRoutesAreChecked) {
    Core core;
    core.say("size 8 route 2 5 ");
    std::string why;
    const struct {
        int destination, source;
        const char* why;
    } refused[] = {
        {0, 1, "has destinations 1..8 and sources 1..8: route not sent"},
        {9, 1, "has destinations 1..8 and sources 1..8: route not sent"},
        {1, 9, "has destinations 1..8 and sources 1..8: route not sent"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(core.live.route(r.destination, r.source, why)) << r.destination << " " << r.source;
        EXPECT_EQ(why, r.why) << r.destination << " " << r.source;
    }
    EXPECT_TRUE(core.live.route(1, 1, why)) << why;
    core.router.socket.close();
    core.loop.serve(2000, [&core] { return !core.live.connection().connected(); });
    EXPECT_EQ(core.live.poll(1, 8).why, "is not connected");
    ASSERT_EQ(core.live.knownRoutes(1, 8).size(), 1u);
    EXPECT_EQ(core.live.knownRoutes(1, 8)[0].index, 3);
    EXPECT_FALSE(core.live.route(1, 1, why));
    EXPECT_EQ(why, "is not connected: route not sent");
}

}  // namespace
