// vesk-host against a misbehaving Videohub server: each bad input gives a
// note, the script goes on, nothing crashes or hangs.
#include <gtest/gtest.h>

#include <vector>

#include "live_support.h"

namespace {

struct HostileCase {
    const char* name;
    std::string greeting;
    std::string answer;
    bool closeAfterGreeting;
    // Statements after the component follows destination 2 of device 5.
    std::string statements;
    std::vector<std::string> notes;  // each must appear in the transcript
};

std::vector<HostileCase> hostileCases() {
    const std::string longLine(70000, 'x');
    return {
        {"garbage", std::string("\x01\x02 garbage\xff\nmore\n\n", 19) + smallDump(), "", false, "wait 200\n",
         {"line(s) outside any block"}},
        {"line that never ends", longLine, "", false, "wait 300\n",
         {"a line longer than 65536 bytes; connecting again"}},
        {"label of 100000 bytes", smallDump() + "INPUT LABELS:\n1 " + std::string(100000, 'L') + "\n\n", "", false,
         "wait 300\n", {"a line longer than 65536 bytes"}},
        {"bad indices and fields",
         smallDump("VIDEO OUTPUT ROUTING:\n-1 2\n9 0\n1 9\nx y\n1 1\n\n"), "", false, "wait 100\n",
         {"skipped", "of \"VIDEO OUTPUT ROUTING:\""}},
        {"device not present", "PROTOCOL PREAMBLE:\nVersion: 2.7\n\nVIDEOHUB DEVICE:\nDevice present: false\n\n", "",
         false, "wait 100\n",
         {"says its device is not present", "router device 5 says its device is not present: poll unanswered"}},
        {"NAK for everything", smallDump(), "NAK\n\n", false, "route 5 2 3\nwait 300\n",
         {"refused the route of destination 2 to source 3 (NAK)"}},
        {"close in the middle of a block", smallDump() + "VIDEO OUTPUT ROUTING:\n1 2\n", "", true, "wait 100\n",
         {"the router closed it in the middle of a block"}},
        {"dump without routing", smallDump(""), "", false, "wait 100\n",
         {"sent its state without the routing", "has not sent its routing yet: poll unanswered"}},
    };
}

TEST(HostileRouter, EachBadInputGivesANoteAndTheScriptGoesOn) {
    for (const HostileCase& c : hostileCases()) {
        ScriptedRouter router(c.greeting, c.answer, c.closeAfterGreeting);
        expectNotesAndTheScriptGoesOn(c.name, "videohub", router.port(), c.statements, c.notes);
    }
}

}  // namespace
