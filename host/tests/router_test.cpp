#include "router.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string describe(const std::vector<Report>& reports) {
    std::string out;
    for (const Report& r : reports)
        out += std::to_string(r.device) + "/" + std::to_string(r.index) + "=" + std::to_string(r.info) + ":" + r.text +
               ";";
    return out;
}

struct RegistrationCase {
    const char* steps;  // for the failure message
    std::vector<Registration> registered;
    bool addSecond;
    std::vector<std::pair<int, bool>> expected;  // destination, registered
};

TEST(RouterRegistration, RangesReplaceOrAdd) {
    const RegistrationCase cases[] = {
        {"RR 5 10 12; RR 5 20 20", {{10, 12}, {20, 20}}, false, {{9, false}, {10, false}, {12, false}, {20, true}}},
        {"RR 5 10 12; RR 5 20 20 'ADD'", {{10, 12}, {20, 20}}, true,
         {{9, false}, {10, true}, {11, true}, {12, true}, {13, false}, {20, true}, {21, false}}},
        {"RR 5 12 12", {{12, 12}}, false, {{11, false}, {12, true}, {13, false}}},
    };
    for (const RegistrationCase& c : cases) {
        Router router;
        for (size_t i = 0; i < c.registered.size(); ++i)
            router.registerRange(5, c.registered[i].first, c.registered[i].last, i > 0 && c.addSecond);
        for (const auto& [destination, want] : c.expected)
            EXPECT_EQ(router.registered(5, destination), want)
                << "input: " << c.steps << ", destination " << destination;
        EXPECT_FALSE(router.registered(6, c.registered[0].first)) << "input: " << c.steps << ", device 6";
    }
}

TEST(RouterRegistration, UnregisterEndsOnlyThatDevice) {
    Router router;
    router.registerRange(5, 12, 12, false);
    router.registerRange(5, 14, 14, true);
    router.registerRange(7, 12, 12, false);
    router.unregister(5);
    EXPECT_FALSE(router.registered(5, 12));
    EXPECT_FALSE(router.registered(5, 14));
    EXPECT_TRUE(router.registered(7, 12));
    EXPECT_EQ(router.registeredDevices(), std::vector<int>{7});
}

TEST(RouterReports, RouteReportsOnlyToRegisteredOnlineDestinations) {
    Router router;
    router.define(5, 16);
    router.rename(5, 3, "CAM 3");
    EXPECT_EQ(describe(router.route(5, 12, 3)), "") << "not registered";
    router.registerRange(5, 10, 12, false);
    router.registerRange(5, 12, 14, true);
    EXPECT_EQ(describe(router.route(5, 12, 3)), "5/12=3:CAM 3;") << "overlapping registrations report once";
    EXPECT_EQ(describe(router.route(5, 12, 3)), "5/12=3:CAM 3;") << "a repeated take is confirmed again";
    EXPECT_EQ(describe(router.route(5, 15, 3)), "") << "outside the ranges";
    router.setOnline(5, false);
    EXPECT_EQ(describe(router.route(5, 12, 4)), "") << "offline";
    EXPECT_EQ(router.routed(5, 12), 4) << "the route changes while offline";
    router.setOnline(5, true);
    EXPECT_EQ(describe(router.route(5, 17, 4)), "") << "beyond the size";
    EXPECT_EQ(router.routed(5, 17), 0);
}

TEST(RouterReports, PollAnswersRoutedDestinationsInRange) {
    Router router;
    router.define(5, 16);
    router.route(5, 1, 7);
    router.route(5, 3, 8);
    router.route(5, 9, 9);
    EXPECT_EQ(describe(router.poll(5, 1, 4)), "5/1=7:SRC 7;5/3=8:SRC 8;") << "unregistered, unrouted 2 and 4 skipped";
    EXPECT_EQ(describe(router.poll(5, 4, 8)), "");
    EXPECT_EQ(describe(router.poll(6, 1, 4)), "") << "unknown device";
    router.setOnline(5, false);
    EXPECT_EQ(describe(router.poll(5, 1, 4)), "") << "offline";
}

TEST(RouterReports, RenameReportsRegisteredDestinationsFedByTheSource) {
    Router router;
    router.define(5, 16);
    router.route(5, 1, 3);
    router.route(5, 2, 3);
    router.route(5, 4, 6);
    router.registerRange(5, 1, 4, false);
    EXPECT_EQ(describe(router.rename(5, 3, "CAM A")), "5/1=3:CAM A;5/2=3:CAM A;");
    EXPECT_EQ(router.sourceName(5, 3), "CAM A");
    EXPECT_EQ(router.sourceName(5, 4), "SRC 4");
}

TEST(RouterDevices, ShrinkingDropsRoutesBeyondTheNewSize) {
    Router router;
    router.define(5, 16);
    router.route(5, 16, 2);
    router.route(5, 8, 2);
    router.define(5, 8);
    EXPECT_EQ(router.size(5), 8);
    EXPECT_EQ(router.routed(5, 16), 0);
    EXPECT_EQ(router.routed(5, 8), 2);
}

}  // namespace
