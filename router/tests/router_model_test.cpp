#include "router_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "videohub_format.h"
#include "videohub_parser.h"

namespace {

ApplyResult applyText(RouterModel& model, const std::string& bytes) {
    VideohubParser parser;
    std::vector<VideohubBlock> blocks;
    EXPECT_TRUE(parser.feed(bytes, blocks)) << bytes;
    ApplyResult all;
    for (const VideohubBlock& block : blocks) {
        ApplyResult one = applyBlock(model, block);
        all.changes.insert(all.changes.end(), one.changes.begin(), one.changes.end());
        all.rejected.insert(all.rejected.end(), one.rejected.begin(), one.rejected.end());
        all.rejectedCount += one.rejectedCount;
    }
    return all;
}

std::string state(const RouterModel& m) {
    std::string out = std::to_string(static_cast<int>(m.presence())) + " " + std::to_string(m.inputs()) + "x" +
                      std::to_string(m.outputs());
    for (int i = 0; i < m.inputs(); ++i) out += " i" + std::to_string(i) + "=" + m.inputLabel(i);
    for (int o = 0; o < m.outputs(); ++o)
        out += " o" + std::to_string(o) + "=" + m.outputLabel(o) + "<" + std::to_string(m.route(o)) + lockChar(m.lock(o));
    return out;
}

TEST(RouterModel, ChangesOnlyWhatExists) {
    RouterModel model(4, 4, RouterModel::Naming{"SRC ", "DST "});
    EXPECT_EQ(model.inputLabel(2), "SRC 3");
    EXPECT_EQ(model.setRoute(3, 3), Applied::Changed);
    EXPECT_EQ(model.setRoute(1, 3), Applied::Changed);
    EXPECT_EQ(model.setRoute(0, 1), Applied::Changed);
    EXPECT_EQ(model.setRoute(0, 1), Applied::Unchanged);
    const std::string before = state(model);
    for (const auto& [output, input] : {std::pair{4, 0}, {0, 4}, {-1, 0}})
        EXPECT_EQ(model.setRoute(output, input), Applied::OutOfRange) << "route " << output << " " << input;
    EXPECT_EQ(model.setInputLabel(-1, "x"), Applied::OutOfRange);
    EXPECT_EQ(model.setLock(5, Lock::Owned), Applied::OutOfRange);
    EXPECT_EQ(state(model), before);
    EXPECT_EQ(model.outputsFedBy(3), (std::vector<int>{1, 3}));
    EXPECT_TRUE(model.resize(2, 3));
    EXPECT_EQ(model.route(3), kNoInput);
    EXPECT_EQ(model.route(1), kNoInput) << "its input 3 is gone";
    EXPECT_EQ(model.route(0), 1);
    EXPECT_TRUE(model.resize(kMaxRouterPorts + 10, -5));
    EXPECT_EQ(model.inputs(), kMaxRouterPorts);
    EXPECT_EQ(model.outputs(), 0);
    EXPECT_EQ(model.inputLabel(kMaxRouterPorts - 1), "SRC 4096");
}

TEST(RouterModel, LabelsAreCutAtACharacterBoundary) {
    const std::string euro = "\xe2\x82\xac";  // three bytes
    const std::string label = std::string(kMaxLabelBytes - 1, 'a') + euro;
    EXPECT_EQ(RouterModel::cutLabel(label), std::string(kMaxLabelBytes - 1, 'a'));
    EXPECT_EQ(RouterModel::cutLabel(std::string(kMaxLabelBytes, 'b')).size(), kMaxLabelBytes);
    RouterModel model(1, 1);
    EXPECT_EQ(model.setInputLabel(0, std::string(1000, 'c')), Applied::Changed);
    EXPECT_EQ(model.inputLabel(0).size(), kMaxLabelBytes);
}

TEST(VideohubApply, ReportsChangesAndRejectsWhatDoesNotFit) {
    RouterModel model(0, 0);
    ApplyResult r = applyText(model,
                              "VIDEOHUB DEVICE:\nDevice present: true\nVideo inputs: 3\nVideo outputs: 2\n\n"
                              "INPUT LABELS:\n0 Cam\n1 Input 2\n3 Far\n\n"
                              "VIDEO OUTPUT ROUTING:\n0 2\n1 1\n1 1\n2 0\n0 7\n\n"
                              "VIDEO OUTPUT LOCKS:\n1 L\n0 F\n\n");
    const std::vector<RouterChange> expected = {{ChangeKind::Device, -1},   {ChangeKind::InputLabel, 0},
                                                {ChangeKind::Route, 0},     {ChangeKind::Route, 1},
                                                {ChangeKind::Lock, 1}};
    EXPECT_EQ(r.changes, expected);
    ASSERT_EQ(r.rejectedCount, 4u);
    EXPECT_EQ(r.rejected[0].text, "3 Far");
    EXPECT_EQ(r.rejected[0].reason, "input out of range (router has 3)");
    EXPECT_EQ(r.rejected[1].text, "2 0");
    EXPECT_EQ(r.rejected[2].reason, "input out of range (router has 3)");
    EXPECT_EQ(r.rejected[3].reason, "a router never sends F");

    r = applyText(model, "VIDEOHUB DEVICE:\nDevice present: false\n\n");
    EXPECT_EQ(r.changes, (std::vector<RouterChange>{{ChangeKind::Device, -1}}));
    EXPECT_EQ(model.presence(), Presence::Absent);
    EXPECT_EQ(model.outputs(), 2) << "sizes stay when the block does not give them";
}

TEST(VideohubFormat, DumpReadsBackAsTheSameState) {
    RouterModel server(5, 3);
    server.setInputLabel(1, "Cam: two words");
    server.setInputLabel(2, "bad\nline\rbreak");
    server.setRoute(0, 4);
    server.setRoute(2, 1);
    server.setLock(2, Lock::Owned);
    RouterModel client(0, 0);
    const std::string dump = formatDump(server, "vesk-router");
    EXPECT_EQ(dump.rfind("END PRELUDE:\n\n"), dump.size() - 14) << dump;
    EXPECT_TRUE(applyText(client, dump).rejected.empty());
    server.setInputLabel(2, "bad line break");
    EXPECT_EQ(state(client), state(server)) << dump;

    server.setPresence(Presence::NeedsUpdate);
    EXPECT_EQ(formatDump(server, "x"), "PROTOCOL PREAMBLE:\nVersion: 2.7\n\nVIDEOHUB DEVICE:\nDevice present: needs_update\n\n");
}

TEST(VideohubFormat, ChangeBlocks) {
    EXPECT_EQ(formatRoutes({{11, 2}, {0, 0}}), "VIDEO OUTPUT ROUTING:\n11 2\n0 0\n\n");
    EXPECT_EQ(formatLabels(BlockKind::OutputLabels, {{6, "new output label seven", false}}),
              "OUTPUT LABELS:\n6 new output label seven\n\n");
    EXPECT_EQ(formatLocks({{7, 'F'}}), "VIDEO OUTPUT LOCKS:\n7 F\n\n");
    EXPECT_EQ(formatRequest(BlockKind::InputLabels), "INPUT LABELS:\n\n");
    EXPECT_EQ(formatPing() + formatAck() + formatNak(), "PING:\n\nACK\n\nNAK\n\n");
}

}  // namespace
