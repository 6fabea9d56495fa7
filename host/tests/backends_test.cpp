// Registrations, the simulated router's reports and the backend registry.
#include "routers/backends.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/registrations.h"
#include "core/emulator.h"
#include "core/components.h"
#include "fake_module.h"

namespace {

std::string describe(const std::vector<Report>& reports) {
    std::string out;
    for (const Report& r : reports)
        out += std::to_string(r.device) + "/" + std::to_string(r.index) + "=" + std::to_string(r.info) + ":" + r.text +
               ";";
    return out;
}

// The reports queued in `events`, which are emptied.
std::string takeReports(BackendEvents& events) {
    std::vector<Report> reports;
    for (const BackendEvent& e : events.queued())
        if (e.kind == BackendEvent::Kind::Report) reports.push_back(e.report);
    events.take();
    return describe(reports);
}

struct RegistrationCase {
    const char* steps;  // for the failure message
    std::vector<Registration> registered;
    bool addSecond;
    std::vector<std::pair<int, bool>> expected;  // destination, registered
};

TEST(Registrations, RangesReplaceOrAdd) {
    const RegistrationCase cases[] = {
        {"RR 5 10 12; RR 5 20 20", {{10, 12}, {20, 20}}, false, {{9, false}, {10, false}, {12, false}, {20, true}}},
        {"RR 5 10 12; RR 5 20 20 'ADD'", {{10, 12}, {20, 20}}, true,
         {{9, false}, {10, true}, {11, true}, {12, true}, {13, false}, {20, true}, {21, false}}},
        {"RR 5 12 12", {{12, 12}}, false, {{11, false}, {12, true}, {13, false}}},
    };
    for (const RegistrationCase& c : cases) {
        Registrations r;
        for (size_t i = 0; i < c.registered.size(); ++i)
            r.add(5, c.registered[i].first, c.registered[i].last, i > 0 && c.addSecond);
        for (const auto& [destination, want] : c.expected)
            EXPECT_EQ(r.covers(5, destination), want) << "input: " << c.steps << ", destination " << destination;
        EXPECT_FALSE(r.covers(6, c.registered[0].first)) << "input: " << c.steps << ", device 6";
    }
}

TEST(Registrations, RemoveEndsOnlyThatDevice) {
    Registrations r;
    r.add(5, 12, 12, false);
    r.add(5, 14, 14, true);
    r.add(7, 12, 12, false);
    r.remove(5);
    EXPECT_FALSE(r.covers(5, 12));
    EXPECT_FALSE(r.covers(5, 14));
    EXPECT_TRUE(r.covers(7, 12));
    EXPECT_EQ(r.devices(), std::vector<int>{7});
}

TEST(SimulatedRouter, RoutesReportWhileOnlineAndStayWithinTheSize) {
    BackendEvents events;
    SimulatedRouter router(5, 16, events);
    std::string why;
    ASSERT_TRUE(router.rename(3, "CAM 3", why));
    ASSERT_TRUE(router.route(12, 3, why));
    EXPECT_EQ(takeReports(events), "5/12=3:CAM 3;");
    ASSERT_TRUE(router.route(12, 3, why));
    EXPECT_EQ(takeReports(events), "5/12=3:CAM 3;") << "a repeated take is confirmed again";
    router.setOnline(false);
    ASSERT_TRUE(router.route(12, 4, why));
    EXPECT_EQ(takeReports(events), "") << "offline";
    EXPECT_EQ(describe(router.knownRoutes(12, 12)), "5/12=4:SRC 4;") << "the route changes while offline";
    EXPECT_EQ(router.poll(1, 16).why, "is offline");
    router.setOnline(true);
    EXPECT_FALSE(router.route(17, 4, why));
    EXPECT_EQ(why, "has destinations 1..16, not 17");
    EXPECT_FALSE(router.route(1, 4097, why));
    EXPECT_EQ(why, "has sources 1..4096, not 4097");
}

TEST(SimulatedRouter, RenameReportsEveryDestinationFedByTheSource) {
    BackendEvents events;
    SimulatedRouter router(5, 16, events);
    std::string why;
    router.route(1, 3, why);
    router.route(2, 3, why);
    router.route(4, 6, why);
    events.take();
    router.rename(3, "CAM A", why);
    EXPECT_EQ(takeReports(events), "5/1=3:CAM A;5/2=3:CAM A;");
    EXPECT_EQ(describe(router.poll(1, 4).reports), "5/1=3:CAM A;5/2=3:CAM A;5/4=6:SRC 6;");
    router.resize(1);
    EXPECT_EQ(describe(router.poll(1, 4).reports), "5/1=3:CAM A;") << "shrinking drops routes beyond the size";
}

// A backend of the test's own: what the host asks and answers through the
// interface, whatever the protocol.
class FakeBackend : public RouterBackend {
public:
    bool live() const override { return true; }
    PollResult poll(int first, int last) const override {
        ++polls;
        if (!known) return PollResult{"is not connected", {}};
        return PollResult{"", first <= 2 && last >= 2 ? std::vector<Report>{{5, 2, 9, "FAKE"}} : std::vector<Report>{}};
    }
    std::vector<Report> knownRoutes(int first, int last) const override { return poll(first, last).reports; }
    bool route(int, int, std::string&) override { return true; }
    bool rename(int, const std::string&, std::string&) override { return true; }
    int announcedSize() const override { return 4; }
    bool known = true;
    mutable int polls = 0;
};

TEST(Backends, ThePollOfAnyBackendIsAnsweredThroughTheHost) {
    struct Case {
        const char* command;
        bool known;
        const char* expected;  // in the transcript
    };
    const Case cases[] = {
        {"RP 5 1 4", true, "<- event 1 device 5 index 2 info 9 \"FAKE\""},
        {"RP 5 3 4", true, "** nothing routed on device 5 in 3..4: poll unanswered"},
        {"RP 5 7 9", true, "** router device 5 has 4 destinations, none in 7..9: poll unanswered"},
        {"RP 5 1 4", false, "** router device 5 is not connected: poll unanswered"},
        {"RP 6 1 4", true, "** the router has no device 6: poll unanswered"},
    };
    for (const Case& c : cases) {
        FakeBehaviour b;
        const std::string command = c.command;
        b.onEvent = [command](HostEndpoint& host, void*, int type) -> char* {
            if (type == 3) FakeModule::command(host, command);
            return nullptr;
        };
        std::ostringstream out;
        Transcript transcript(out, false);
        FakeModule module(b);
        Components site(transcript);
        Emulator& emulator = site.slot("");
        emulator.setModule(&module);
        auto fake = std::make_unique<FakeBackend>();
        fake->known = c.known;
        FakeBackend& backend = *fake;
        emulator.backends().put(5, std::move(fake));
        ASSERT_TRUE(emulator.create(""));
        emulator.sendText(std::string("poll"));
        EXPECT_NE(out.str().find(c.expected), std::string::npos) << c.command << ":\n" << out.str();
        EXPECT_EQ(backend.polls, command.find("RP 5") == 0 ? 1 : 0) << c.command;
    }
}

TEST(Backends, RouterTargetsNameAProtocolFromTheTable) {
    struct Case {
        const char* text;
        const char* expected;  // formatRouterTarget, or the error
    };
    const Case cases[] = {
        {"127.0.0.1", "videohub://127.0.0.1:9990"},
        {"router.local:9991", "videohub://router.local:9991"},
        {"videohub://[::1]:7", "videohub://[::1]:7"},
        {"tally://127.0.0.1", "unknown router protocol \"tally\""},
        {"videohub://127.0.0.1:0", "expected HOST or HOST:PORT (port 1..65535), got \"127.0.0.1:0\""},
        {"videohub://127.0.0.1?level=2", "expected NAME=VALUE with a name videohub takes, got \"level=2\""},
    };
    for (const Case& c : cases) {
        std::string error;
        std::optional<RouterTarget> target = parseRouterTarget(c.text, error);
        EXPECT_EQ(target ? formatRouterTarget(*target) : error, c.expected) << "input: " << c.text;
    }
}

}  // namespace
