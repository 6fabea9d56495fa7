// vesk-router with several levels (--levels): each has crosspoints of its own
// over SW-P-08 and on the console, and Videohub shows level 1. Started on
// 127.0.0.1 with free ports; every wait is bounded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "router_process.h"
#include "swp08_test_client.h"
#include "videohub_test_client.h"

namespace {

using namespace router_test;
using namespace std::chrono_literals;
using swp08::Bytes;
using swp08::Message;
using swp08::MessageKind;

struct Levels {
    explicit Levels(std::vector<std::string> extra)
        : router([&extra] {
              extra.insert(extra.begin(), {"--listen", "127.0.0.1:0", "--swp08", "127.0.0.1:0"});
              return extra;
          }()) {
        const std::string line = router.waitForLine("swp08 listening on ");
        swp08Port = std::atoi(line.c_str() + line.rfind(':') + 1);
    }
    RouterProcess router;
    int swp08Port = 0;
};

Message on(MessageKind kind, int level, int destination = 0, int source = 0) {
    Message m;
    m.kind = kind;
    m.level = level;
    m.destination = destination;
    m.source = source;
    return m;
}

// "3 l2 d5 s9": a reply's command, wire level, destination and source; a 99
// as "99 about N"; a dump as "22 l2 @0+16 d5 s9" (the tally of destination 5).
std::string describe(const Bytes& data) {
    if (data.empty()) return "nothing";
    const swp08::DecodeResult r = swp08::decodeMessage(data);
    const Message& m = r.message;
    if (!r.ok()) return "unreadable";
    if (m.kind == MessageKind::Invalid) return "99 about " + std::to_string(m.detail.at(0));
    std::string out = std::to_string(data[0]) + " l" + std::to_string(m.level);
    if (m.kind == MessageKind::TallyDumpByte || m.kind == MessageKind::TallyDumpWord)
        return out + " @" + std::to_string(m.first) + "+" + std::to_string(m.sources.size()) + " d5 s" +
               std::to_string(m.sources.at(5));
    if (m.kind == MessageKind::SourceNames) return out + " " + m.names.at(0);
    return out + " d" + std::to_string(m.destination) + " s" + std::to_string(m.source);
}

TEST(VeskRouterLevels, EachLevelHasItsOwnCrosspoints) {
    Levels levels({"--levels", "3"});
    Connected hub(levels.router.port());
    ASSERT_FALSE(hub.dump.empty());
    Swp08Client asker(levels.swp08Port), other(levels.swp08Port);
    ASSERT_NE(levels.router.waitForLine("swp08 client 3 connected"), "");
    const struct {
        const char* what;
        Message sent;
        const char* reply;  // to the asker
    } cases[] = {
        {"a take on level 2", on(MessageKind::Connect, 1, 5, 9), "4 l1 d5 s9"},
        {"level 2 has it", on(MessageKind::Interrogate, 1, 5), "3 l1 d5 s9"},
        {"level 1 has not", on(MessageKind::Interrogate, 0, 5), "3 l0 d5 s5"},
        {"level 3 has not", on(MessageKind::Interrogate, 2, 5), "3 l2 d5 s5"},
        {"level 2's dump", on(MessageKind::TallyDumpRequest, 1), "22 l1 @0+16 d5 s9"},
        {"level 2's names", on(MessageKind::AllSourceNames, 1), "106 l1 Input 1"},
        {"no level 4", on(MessageKind::Interrogate, 3, 5), "99 about 1"},
    };
    for (const auto& c : cases) {
        asker.send(c.sent);
        EXPECT_EQ(describe(asker.nextFrame(500ms)), c.reply) << c.what;
    }
    EXPECT_EQ(describe(other.nextFrame()), "4 l1 d5 s9") << "every client hears of a take on any level";
    levels.router.command("route 7 2 3");
    EXPECT_EQ(describe(other.nextFrame()), "4 l2 d7 s2");
    EXPECT_NE(levels.router.waitForLine("route 7 2 level 3 by the console"), "");
    levels.router.command("route 7 2 4");
    EXPECT_NE(levels.router.waitForLine("error: no level 4"), "");
    // Videohub shows level 1 alone: the first route it is told of is this one.
    levels.router.command("route 6 1");
    const std::vector<VideohubBlock> got = hub.client.readUntilKind(BlockKind::Routing);
    ASSERT_TRUE(!got.empty() && got.back().routes.size() == 1) << kinds(got);
    EXPECT_EQ(got.back().routes[0].output, 6);
    EXPECT_EQ(describe(other.nextFrame()), "4 l0 d6 s1");
}

// --swp08-level gives the wire level of level 1; the others follow it.
TEST(VeskRouterLevels, LevelsFollowTheSwp08Level) {
    Levels levels({"--levels", "3", "--swp08-level", "14"});
    Swp08Client client(levels.swp08Port);
    const struct {
        int level;
        const char* reply;
    } cases[] = {{13, "99 about 1"}, {14, "3 l14 d5 s5"}, {16, "131 l16 d5 s5"}, {17, "99 about 129"}};
    for (const auto& c : cases) {
        client.send(on(MessageKind::Interrogate, c.level, 5));
        EXPECT_EQ(describe(client.nextFrame(500ms)), c.reply) << "level " << c.level;
    }
}

}  // namespace
