// SharedRouter: every change told to every listener with its origin, the lock
// rules, one label rule for everyone; and two services on one SharedRouter,
// each on its own TcpServer, seeing each other's changes on the wire.
#include "shared_router.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tcp_server.h"
#include "videohub_test_client.h"
#include "videohub_service.h"

namespace {

struct Told {
    ChangeKind kind;
    int index;
    int client;
};

// Every change told, as "kind index client".
struct Listener {
    explicit Listener(SharedRouter& router) {
        router.subscribe([this](const RouterChange& c, const Origin& o) { told.push_back({c.kind, c.index, o.client}); });
    }
    std::vector<Told> told;
};

TEST(SharedRouter, TellsEveryListenerEachChangeAndItsOrigin) {
    RouterModel model(4, 4);
    SharedRouter router(model);
    Listener first(router), second(router);
    const int client = router.newClient();
    EXPECT_EQ(router.route(1, 2, Origin{client}), "");
    EXPECT_EQ(router.route(1, 2, Origin::console()), "") << "unchanged, still told";
    EXPECT_EQ(router.label(ChangeKind::OutputLabel, 3, "PGM", Origin{client}), "");
    EXPECT_NE(router.route(4, 0, Origin::console()), "");
    router.setPresence(Presence::Absent, Origin::console());
    for (const Listener* l : {&first, &second}) {
        ASSERT_EQ(l->told.size(), 4u);
        EXPECT_TRUE(l->told[0].kind == ChangeKind::Route && l->told[0].index == 1 && l->told[0].client == client);
        EXPECT_EQ(l->told[1].client, 0);
        EXPECT_TRUE(l->told[2].kind == ChangeKind::OutputLabel && l->told[2].index == 3);
        EXPECT_TRUE(l->told[3].kind == ChangeKind::Device && l->told[3].index == -1);
    }
    EXPECT_EQ(model.route(1), 2);
    EXPECT_EQ(model.outputLabel(3), "PGM");
}

TEST(SharedRouter, RefusesControlBytesInLabelsFromAnyone) {
    RouterModel model(4, 4);
    SharedRouter router(model);
    Listener l(router);
    for (const Origin& origin : {Origin::console(), Origin{router.newClient()}}) {
        EXPECT_NE(router.label(ChangeKind::InputLabel, 0, "a\x1b[2J", origin), "") << origin.describe();
        EXPECT_NE(router.label(ChangeKind::InputLabel, 0, "a\nb", origin), "") << origin.describe();
        EXPECT_EQ(router.label(ChangeKind::InputLabel, 1, "tab\tok", origin), "") << origin.describe();
    }
    EXPECT_EQ(model.inputLabel(0), "Input 1");
    EXPECT_EQ(l.told.size(), 2u);
}

TEST(SharedRouter, LocksBelongToOneClient) {
    RouterModel model(4, 4);
    SharedRouter router(model);
    const Origin a{router.newClient()}, b{router.newClient()};
    EXPECT_EQ(router.lock(1, a), "");
    EXPECT_EQ(router.lockAs(a.client, 1), Lock::Owned);
    EXPECT_EQ(router.lockAs(b.client, 1), Lock::Locked);
    EXPECT_NE(router.lock(1, b), "");
    EXPECT_NE(router.unlock(1, b, false), "");
    EXPECT_NE(router.lock(2, Origin::console()), "");
    EXPECT_EQ(router.unlock(1, b, true), "") << "forced";
    EXPECT_EQ(router.lockAs(a.client, 1), Lock::Unlocked);
    EXPECT_EQ(router.lock(2, b), "");
    EXPECT_EQ(router.lock(3, b), "");
    Listener l(router);
    router.releaseClient(b.client);
    ASSERT_EQ(l.told.size(), 2u);
    EXPECT_EQ(l.told[0].index, 2);
    EXPECT_EQ(l.told[1].index, 3);
    EXPECT_EQ(router.lockAs(a.client, 3), Lock::Unlocked);
}

// Two services on one model, on two servers: a take through one reaches the
// clients of the other, and so does a lock.
TEST(SharedRouter, AChangeThroughOneServiceReachesTheOthersClients) {
    using namespace router_test;
    RouterModel model(4, 4);
    SharedRouter router(model);
    std::ostringstream log;
    VideohubService first(router, "one", log), second(router, "two", log);
    asio::io_context io;
    const asio::ip::tcp::endpoint loopback(asio::ip::make_address("127.0.0.1"), 0);
    TcpServer one(io, loopback, first.factory(), log), two(io, loopback, second.factory(), log);
    auto work = asio::make_work_guard(io);
    std::thread thread([&io] { io.run(); });
    {
        Connected a(one.endpoint().port()), b(two.endpoint().port());
        ASSERT_FALSE(a.dump.empty());
        ASSERT_FALSE(b.dump.empty());
        a.client.send("VIDEO OUTPUT ROUTING:\n2 3\n\nVIDEO OUTPUT LOCKS:\n2 O\n\n");
        const std::vector<VideohubBlock> routed = b.client.readUntilKind(BlockKind::Routing);
        ASSERT_TRUE(!routed.empty() && routed.back().routes.size() == 1) << kinds(routed);
        EXPECT_EQ(routed.back().routes[0].input, 3);
        const std::vector<VideohubBlock> locked = b.client.readUntilKind(BlockKind::Locks);
        ASSERT_TRUE(!locked.empty() && locked.back().locks.size() == 1) << kinds(locked);
        EXPECT_EQ(locked.back().locks[0].state, 'L');
        b.client.send("VIDEO OUTPUT ROUTING:\n2 0\n\n");
        EXPECT_EQ(kinds(b.client.readAnswer()), "NAK ") << "locked through the other service";
    }
    asio::post(io, [&] {
        one.close();
        two.close();
    });
    work.reset();
    thread.join();
    EXPECT_EQ(second.counters().naks, 1u);
    EXPECT_EQ(first.counters().acks, 2u);
}

}  // namespace
