// vesk-host against vesk-router on 127.0.0.1: the component follows the
// router's state, its takes and label changes, a router stopped and started
// again, and the site-size check. The router runs as its own process, driven
// through its standard input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "live_support.h"
#include "router_process.h"

namespace {

using router_test::RouterProcess;

// A script run statement by statement, so the router can be driven between.
class Session {
public:
    explicit Session(std::vector<std::pair<int, RouterTarget>> routers = {})
        : transcript_(out_, false), runner_(transcript_, modules_, RunOptions{VESK_HOST_TEST_MODULE, routers}) {
        runner_.begin("loopback", ".");
    }
    void run(const std::string& statements) {
        size_t start = 0;
        while (start < statements.size()) {
            size_t end = statements.find('\n', start);
            if (end == std::string::npos) end = statements.size();
            runner_.runLine(statements.substr(start, end - start), ++line_);
            start = end + 1;
        }
    }
    bool end() { return runner_.end(); }
    std::string transcript() const { return out_.str(); }
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (size_t at = out_.str().find(text); at != std::string::npos; at = out_.str().find(text, at + 1)) ++n;
        return n;
    }

private:
    std::ostringstream out_;
    Transcript transcript_;
    ModuleCache modules_;
    ScenarioRunner runner_;
    int line_ = 0;
};

std::string followDestination12(int port) {
    return "site temp\nconfig 5 size 16\ndevice 5 videohub 127.0.0.1:" + std::to_string(port) +
           "\ncreate\nsend driverid=5\nsend destid=12\n";
}

TEST(VeskRouterLoopback, ThePanelFollowsTheRoutersStateTakesAndLabels) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    ASSERT_GT(router.port(), 0);
    router.command("route 11 2");
    Session session;
    session.run(followDestination12(router.port()));
    session.run("expect text \"Input 3\" within 3000");
    router.command("route 11 6");
    session.run("expect text \"Input 7\" within 3000");
    router.command("label 4 Studio B");
    router.command("route 11 4");
    session.run("expect text \"Studio B\" within 3000");
    router.command("label 4 Studio C");
    session.run("expect text \"Studio C\" within 3000");
    session.run("route 5 12 9\nexpect text \"Input 9\" within 3000\nstate");
    EXPECT_EQ(session.count("route device 5 destination 12: source 9 \"Input 9\""), 1u) << session.transcript();
    EXPECT_TRUE(session.end()) << session.transcript();
    EXPECT_EQ(session.count("!! "), 0u) << session.transcript();
}

TEST(VeskRouterLoopback, ARouterStoppedAndStartedAgainIsFollowedAgain) {
    auto router = std::make_unique<RouterProcess>(std::vector<std::string>{"--listen", "127.0.0.1:0"});
    const int port = router->port();
    ASSERT_GT(port, 0);
    router->command("route 11 1");
    Session session;
    session.run(followDestination12(port));
    session.run("expect text \"Input 2\" within 3000");
    router.reset();
    session.run("wait 500\nroute 5 12 3\nexpect text \"Input 2\"");
    router = std::make_unique<RouterProcess>(std::vector<std::string>{"--listen", "127.0.0.1:" + std::to_string(port)});
    ASSERT_EQ(router->port(), port);
    router->command("route 11 9");
    session.run("expect text \"Input 10\" within 5000");
    EXPECT_TRUE(session.end()) << session.transcript();
    EXPECT_EQ(session.count("connected to 127.0.0.1:" + std::to_string(port)), 2u) << session.transcript();
    EXPECT_EQ(session.count("lost the connection"), 1u) << session.transcript();
    EXPECT_EQ(session.count("is not connected: route not sent"), 1u) << session.transcript();
}

TEST(VeskRouterLoopback, ARouterOfAnotherSizeThanTheSiteIsAWarning) {
    struct Case {
        int outputs;
        int site;
        const char* consequence;
    };
    for (const Case& c : {Case{12, 16, "accept destinations the router does not have"},
                          Case{20, 16, "refuse destinations the router has"}, Case{16, 16, nullptr}}) {
        RouterProcess router({"--listen", "127.0.0.1:0", "--outputs", std::to_string(c.outputs)});
        Session session;
        session.run("site temp\nconfig 5 size " + std::to_string(c.site) + "\ndevice 5 videohub 127.0.0.1:" +
                    std::to_string(router.port()));
        const std::string warning = "warning: router device 5 has " + std::to_string(c.outputs) +
                                    " outputs, but dev_005.ini gives DatabaseSize_1=" + std::to_string(c.site);
        EXPECT_EQ(session.count(warning), c.consequence ? 1u : 0u)
            << "outputs " << c.outputs << ", site " << c.site << ":\n" << session.transcript();
        if (c.consequence) {
            EXPECT_EQ(session.count(c.consequence), 1u) << session.transcript();
        }
        session.end();
    }
}

}  // namespace

namespace {

TEST(VeskRouterLoopback, TheSiteIsCheckedAgainWhenTheScriptChangesIt) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Session session;
    session.run("site temp\ndevice 5 videohub 127.0.0.1:" + std::to_string(router.port()));
    EXPECT_EQ(session.count("gives DatabaseSize_1=0 (none given)"), 1u) << session.transcript();
    session.run("config 5 size 12\nwait 10\nconfig 5 size 16\nwait 10\nsay done");
    EXPECT_EQ(session.count("gives DatabaseSize_1=12: the component will refuse"), 1u) << session.transcript();
    EXPECT_EQ(session.count("warning:"), 2u) << session.transcript();
    session.end();
}

TEST(VeskRouterLoopback, ARouterFromTheCommandLineIsConnectedAfterTheSiteIsReady) {
    RouterProcess router({"--listen", "127.0.0.1:0"});
    Session session({{5, RouterTarget{"videohub", "127.0.0.1", static_cast<uint16_t>(router.port()), {}}}});
    session.run("site temp\nconfig 5 size 16\ncreate\nsend driverid=5\nsend destid=3\n"
                "expect text \"Input 3\" within 3000");
    EXPECT_TRUE(session.end()) << session.transcript();
    EXPECT_EQ(session.count("warning:"), 0u) << session.transcript();
    EXPECT_TRUE(inOrder(session.transcript(), "connected to", "<- create"))
        << session.transcript();
}

}  // namespace
