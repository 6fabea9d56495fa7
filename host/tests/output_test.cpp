#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "output/json_renderer.h"
#include "output/sink.h"
#include "output/text_renderer.h"
#include "output/transcript.h"

namespace {

// A router report whose name holds a control byte, a truncated UTF-8
// sequence, a quote and a backslash.
const HostEvent kOddReport = event::RouterReport{Report{5, 12, 7, "CAM\x01 \xE2\x82\"x\\"}};

Panel twoControlPanel() {
    Panel panel;
    panel.title = "Desk";
    panel.controls.push_back(Control{"btn\xFF", "button", {{"text", "GO"}, {"k\xC0y", "v"}}});
    panel.controls.push_back(Control{"lbl", "label", {}});
    return panel;
}

HostState stateWith(const Panel& panel) {
    HostState s;
    s.clock = 40;
    s.timers.push_back(HostState::Timer{1, 20, 60});
    s.registrations.push_back({5, {Registration{1, 4}, Registration{9, 9}}});
    s.routes.push_back(Report{5, 2, 3, "SRC 3"});
    s.panels.emplace_back("main", &panel);
    s.siteRoot = "/site";
    s.siteSystem = "sys";
    s.files.push_back(HostState::DeviceFile{"dev_005.ini", 0, "missing"});
    return s;
}

struct Case {
    const char* name;
    HostEvent event;
    std::string text;  // the text renderer's output
    std::string json;  // the JSON renderer's output
};

std::vector<Case> cases(const Panel& panel) {
    const std::string fffd = "\xEF\xBF\xBD";
    return {
        {"report with odd bytes", kOddReport, "<- event 1 device 5 index 12 info 7 \"CAM\\x01 \\xE2\\x82\\\"x\\\\\"\n",
         // One U+FFFD for each byte of the truncated sequence.
         "{\"kind\":\"event\",\"type\":1,\"device\":5,\"index\":12,\"info\":7,\"text\":\"CAM\\u0001 " + fffd + fffd +
             "\\\"x\\\\\"}\n"},
        {"command, reply shown", event::Command{"TG 'a'", true, "b\n"}, "-> host  TG 'a'  => \"b\\n\"\n",
         "{\"kind\":\"command\",\"text\":\"TG 'a'\",\"reply\":\"b\\n\"}\n"},
        {"command, null reply shown", event::Command{"PS x", true, std::nullopt}, "-> host  PS x  => none\n",
         "{\"kind\":\"command\",\"text\":\"PS x\",\"reply\":null}\n"},
        {"command, reply not shown", event::Command{"RP 5 1 2", false, std::nullopt}, "-> host  RP 5 1 2\n",
         "{\"kind\":\"command\",\"text\":\"RP 5 1 2\"}\n"},
        {"violation at a statement", event::Violation{ScriptPlace{"a.vsc", 3}, "bad"}, "!! a.vsc:3: bad\n",
         "{\"kind\":\"violation\",\"file\":\"a.vsc\",\"line\":3,\"text\":\"bad\"}\n"},
        {"violation outside a script", event::Violation{ScriptPlace{}, "bad"}, "!! bad\n",
         "{\"kind\":\"violation\",\"file\":\"\",\"line\":0,\"text\":\"bad\"}\n"},
        {"error of a whole script", event::Error{ScriptPlace{"b\x01.vsc", 0}, "unreadable"},
         "ERROR b\\x01.vsc: unreadable\n", "{\"kind\":\"error\",\"file\":\"b\\u0001.vsc\",\"line\":0,\"text\":\"unreadable\"}\n"},
        {"panel not open", event::PanelShown{"p", std::nullopt}, "   (panel p is not open)\n",
         "{\"kind\":\"panel\",\"name\":\"p\",\"open\":false}\n"},
        {"state with a panel", event::State{stateWith(panel)},
         "   clock 40\n   timer 1 every 20, due at 60\n   registered device 5: 1-4 9-9\n"
         "   route device 5 destination 2: source 3 \"SRC 3\"\n"
         "   panel main btn\\xFF: text=\"GO\" k\\xC0y=\"v\"\n   panel main lbl:\n"
         "   site \"/site\" system \"sys\"\n   dev_005.ini: DatabaseSize_1 0 (missing)\n",
         "{\"kind\":\"state\",\"clock\":40,\"timers\":[{\"id\":1,\"interval\":20,\"due\":60}],"
         "\"registrations\":[{\"device\":5,\"ranges\":[{\"first\":1,\"last\":4},{\"first\":9,\"last\":9}]}],"
         "\"routes\":[{\"device\":5,\"destination\":2,\"source\":3,\"name\":\"SRC 3\"}],"
         "\"panels\":[{\"name\":\"main\",\"controls\":[{\"name\":\"btn" + fffd + "\",\"params\":{\"text\":\"GO\",\"k" +
             fffd + "y\":\"v\"}},{\"name\":\"lbl\",\"params\":{}}]}],"
             "\"site\":{\"root\":\"/site\",\"system\":\"sys\"},"
             "\"files\":[{\"name\":\"dev_005.ini\",\"size\":0,\"why\":\"missing\"}]}\n"},
    };
}

TEST(Renderers, WriteEachEventAsItsTextLineAndJsonRecord) {
    const Panel panel = twoControlPanel();
    for (const Case& c : cases(panel)) {
        std::ostringstream text, json;
        TextRenderer(text).emit(c.event);
        JsonRenderer(json).emit(c.event);
        EXPECT_EQ(text.str(), c.text) << c.name;
        EXPECT_EQ(json.str(), c.json) << c.name;
    }
}

TEST(Renderers, PanelRecordNamesEachControlsKind) {
    const std::string json = renderJson(event::PanelShown{"main", twoControlPanel()});
    EXPECT_EQ(json,
              "{\"kind\":\"panel\",\"name\":\"main\",\"open\":true,\"controls\":["
              "{\"name\":\"btn\xEF\xBF\xBD\",\"kind\":\"button\",\"params\":{\"text\":\"GO\",\"k\xEF\xBF\xBDy\":\"v\"}},"
              "{\"name\":\"lbl\",\"kind\":\"label\",\"params\":{}}]}");
}

TEST(Renderers, AlertOnlyFailuresErrorsAndViolations) {
    const std::vector<HostEvent> events = {
        event::Note{"n"},
        event::Failure{ScriptPlace{"a.vsc", 2}, "no"},
        kOddReport,
        event::Error{ScriptPlace{"a.vsc", 0}, "bad"},
        event::Violation{ScriptPlace{"a.vsc", 4}, "v"},
        event::Violation{ScriptPlace{}, "w"},
    };
    const std::string want = "a.vsc:2: no\na.vsc: error: bad\na.vsc:4: violation: v\nviolation: w\n";
    std::ostringstream out, textAlerts, jsonAlerts;
    TextRenderer text(out, &textAlerts);
    JsonRenderer json(out, &jsonAlerts);
    for (const HostEvent& e : events) {
        text.emit(e);
        json.emit(e);
    }
    EXPECT_EQ(textAlerts.str(), want);
    EXPECT_EQ(jsonAlerts.str(), want);
}

// Renders what it gets as text, one line each.
class Lines : public Sink {
public:
    void emit(const HostEvent& event) override { lines += renderText(event) + "\n"; }
    std::string lines;
};

TEST(FanOutSink, HandsEachEventToEverySinkInOrder) {
    Lines first, second;
    FanOutSink fan;
    fan.add(first);
    fan.add(second);
    fan.emit(event::Note{"one"});
    fan.emit(event::Ok{3});
    EXPECT_EQ(first.lines, "** one\n   ok\n");
    EXPECT_EQ(second.lines, "** one\n   ok\n");
}

TEST(HoldingSink, KeepsEventsWhileHeldAndReleasesThemInOrder) {
    Lines lines;
    HoldingSink holding(lines);
    holding.emit(event::Note{"before"});
    holding.hold();
    holding.emit(event::Note{"held 1"});
    holding.emit(event::Note{"held 2"});
    EXPECT_EQ(lines.lines, "** before\n");
    EXPECT_EQ(holding.held(), 2u);
    holding.release();
    EXPECT_EQ(holding.held(), 0u);
    holding.emit(event::Note{"after"});
    EXPECT_EQ(lines.lines, "** before\n** held 1\n** held 2\n** after\n");
}

// A held state shows the panels as they were when it was emitted: the
// emulator may change or close them before the prompt releases it.
TEST(HoldingSink, HeldStateKeepsCopiesOfItsPanels) {
    Lines lines;
    HoldingSink holding(lines);
    Panel panel = twoControlPanel();
    holding.hold();
    holding.emit(event::State{stateWith(panel)});
    panel.controls[0].name = "changed";
    holding.release();
    EXPECT_NE(lines.lines.find("panel main btn\\xFF: text=\"GO\""), std::string::npos) << lines.lines;
}

TEST(Transcript, ViolationsNameTheStatementRunningNow) {
    Lines lines;
    Transcript transcript(lines);
    transcript.violation("outside");
    transcript.at("s.vsc", 4);
    transcript.violation("in s");
    transcript.file("n.vsc");  // a new script: no statement yet
    transcript.violation("in n");
    EXPECT_EQ(lines.lines, "!! outside\n!! s.vsc:4: in s\n== n.vsc\n!! n.vsc: in n\n");
}

TEST(Transcript, OwnsTheRendererItsStreamConstructorAsksFor) {
    std::ostringstream text, json, alerts;
    Transcript(text, false).command("TG 'a'", true, nullptr);
    Transcript(json, true, &alerts).failure("a.vsc", 2, "no");
    EXPECT_EQ(text.str(), "-> host  TG 'a'  => none\n");
    EXPECT_EQ(json.str(), "{\"kind\":\"failure\",\"file\":\"a.vsc\",\"line\":2,\"text\":\"no\"}\n");
    EXPECT_EQ(alerts.str(), "a.vsc:2: no\n");
}

// A component's transcript names it on every line it renders, takes the
// place of the site's, and leaves the site's own events unnamed.
TEST(Transcript, AComponentsLinesNameIt) {
    Lines lines;
    Transcript site(lines);
    Transcript a(site, "a");
    site.at("s.vsc", 4);
    a.panel("main", nullptr);
    a.violation("bad");
    site.note("site");
    Panel panel = twoControlPanel();
    a.panel("main", &panel);
    const std::string drawn = lines.lines.substr(lines.lines.find("** site\n") + 8);
    EXPECT_EQ(lines.lines.substr(0, lines.lines.find(drawn)),
              "[a]    (panel main is not open)\n[a] !! s.vsc:4: bad\n** site\n");
    std::istringstream rows(drawn);
    for (std::string row; std::getline(rows, row);) EXPECT_EQ(row.compare(0, 4, "[a] "), 0) << drawn;
    EXPECT_EQ(*alertText(event::Violation{ScriptPlace{"s.vsc", 4}, "bad", "a"}), "s.vsc:4: violation: [a] bad");
}

}  // namespace
