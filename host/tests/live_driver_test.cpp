// The live driver's connection keeping, with short times: a silent router is
// pinged, and dropped and called again when it stays silent.
#include "live_driver.h"

#include <gtest/gtest.h>

#include "live_support.h"

namespace {

LinkTiming quickTiming() {
    LinkTiming t;
    t.pingAfter = std::chrono::milliseconds(50);
    t.deadAfter = std::chrono::milliseconds(200);
    t.firstRetry = std::chrono::milliseconds(20);
    t.maxRetry = std::chrono::milliseconds(40);
    return t;
}

TEST(LiveDriver, ARouterThatAnswersPingsKeepsItsConnection) {
    ScriptedRouter router(smallDump(), "ACK\n\n", false);
    std::ostringstream out;
    Transcript transcript(out, false);
    Emulator emulator(transcript);
    LiveDriver driver(emulator, transcript, [](int) { return 4; }, quickTiming());
    driver.add(5, RouterAddress{"127.0.0.1", router.port()});
    driver.serve(600);
    EXPECT_EQ(router.connections(), 1) << out.str();
    EXPECT_EQ(out.str().find("lost the connection"), std::string::npos) << out.str();
}

TEST(LiveDriver, ASilentRouterIsDroppedAndCalledAgain) {
    ScriptedRouter router(smallDump(), "", false);
    std::ostringstream out;
    Transcript transcript(out, false);
    Emulator emulator(transcript);
    LiveDriver driver(emulator, transcript, [](int) { return 4; }, quickTiming());
    driver.add(5, RouterAddress{"127.0.0.1", router.port()});
    driver.serve(600);
    EXPECT_GE(router.connections(), 2) << out.str();
    EXPECT_NE(out.str().find("lost the connection to 127.0.0.1:" + std::to_string(router.port()) +
                             ": no data for 0.2 s; connecting again"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("dropped 1 request(s) the router had not answered"), std::string::npos) << out.str();
}

TEST(LiveDriver, ARefusedConnectIsOneNoteAndIsTriedAgain) {
    unsigned short port;
    {
        ScriptedRouter closed("", "", true);
        port = closed.port();
    }
    std::ostringstream out;
    Transcript transcript(out, false);
    Emulator emulator(transcript);
    LiveDriver driver(emulator, transcript, [](int) { return 4; }, quickTiming());
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
