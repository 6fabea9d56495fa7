// The live driver's connection keeping, with short times: a silent router is
// pinged, and dropped and called again when it stays silent.
#include "live_driver.h"

#include <gtest/gtest.h>

#include "live_support.h"

namespace {

// A driver with short times and no component, its notes in `out`.
class LiveDriverTest : public ::testing::Test {
protected:
    static LinkTiming quickTiming() {
        LinkTiming t;
        t.pingAfter = std::chrono::milliseconds(50);
        t.deadAfter = std::chrono::milliseconds(200);
        t.firstRetry = std::chrono::milliseconds(20);
        t.maxRetry = std::chrono::milliseconds(40);
        return t;
    }
    bool has(const std::string& text) const { return out.str().find(text) != std::string::npos; }

    std::ostringstream out;
    Transcript transcript{out, false};
    Emulator emulator{transcript};
    LiveDriver driver{emulator, transcript, [](int) { return 4; }, quickTiming()};
};

TEST_F(LiveDriverTest, ARouterThatAnswersPingsKeepsItsConnection) {
    ScriptedRouter router(smallDump(), "ACK\n\n", false);
    driver.add(5, RouterAddress{"127.0.0.1", router.port()});
    driver.serve(600);
    EXPECT_EQ(router.connections(), 1) << out.str();
    EXPECT_FALSE(has("lost the connection")) << out.str();
}

TEST_F(LiveDriverTest, ASilentRouterIsDroppedAndCalledAgain) {
    ScriptedRouter router(smallDump(), "", false);
    driver.add(5, RouterAddress{"127.0.0.1", router.port()});
    driver.serve(600);
    EXPECT_GE(router.connections(), 2) << out.str();
    EXPECT_TRUE(has("lost the connection to 127.0.0.1:" + std::to_string(router.port()) +
                    ": no data for 0.2 s; connecting again"))
        << out.str();
    EXPECT_TRUE(has("dropped 1 request(s) the router had not answered")) << out.str();
}

TEST_F(LiveDriverTest, ARefusedConnectIsOneNoteAndIsTriedAgain) {
    unsigned short port;
    {
        ScriptedRouter closed("", "", true);
        port = closed.port();
    }
    driver.add(5, RouterAddress{"127.0.0.1", port});
    driver.serve(300);
    std::vector<Report> reports;
    std::string why;
    driver.poll(5, 1, 4, reports, why);
    EXPECT_EQ(why, "is not connected");
    const std::string note = "cannot connect to 127.0.0.1:" + std::to_string(port);
    const size_t first = out.str().find(note);
    EXPECT_NE(first, std::string::npos) << out.str();
    EXPECT_EQ(out.str().find(note, first + 1), std::string::npos) << out.str();
}

}  // namespace
