// vesk-host against a misbehaving SW-P-08 router: each bad input gives a note,
// the script goes on, nothing crashes or hangs, the state is still followed.
#include <gtest/gtest.h>

#include <vector>

#include "live_support.h"
#include "swp08_support.h"

namespace {

struct HostileCase {
    const char* name;
    std::string greeting;
    Swp08Router::Answer answer;
    bool closeAfterGreeting;
    // Statements after the component follows destination 2 of device 5.
    std::string statements;
    std::vector<std::string> notes;  // each must appear in the transcript
};

std::vector<HostileCase> hostileCases() {
    SmallRouter careful, never, controls;
    never.ack = false;
    controls.sourceNames = std::string("Cam A   Cam\x01\x1b[2J", 16) + "Cam C   Cam D   ";
    const std::string connected = frameOf(bytes({4, 0, 0, 1, 3}));  // destination 2 fed by source 4
    std::string flood;
    for (int i = 0; i < 100000; ++i) flood += frameOf(bytes({4, 0, 0, 1, i % 4}));
    auto nak = [](const std::string&) { return kNak; };
    auto silent = [](const std::string&) { return std::string(); };
    auto floodAfterDump = [careful, flood](const std::string& data) {
        return careful.reply(data) + (data[0] == 21 ? flood : "");
    };
    const std::string expectCamB = "expect text \"Cam B\" within 2000\n";
    return {
        {"garbage before 10 02", "junk\xff" + connected, careful.answer(), false, "wait 100\n",
         {"skipped 5 byte(s) outside any frame"}},
        {"a new 10 02 inside an unfinished frame", bytes({0x10, 2, 4, 0}) + connected, careful.answer(), false,
         "wait 100\n", {"answered NAK to a broken frame (frame restarted, 2 byte(s))"}},
        {"a frame that never ends", bytes({0x10, 2}) + std::string(70000, 'x'), silent, false, "wait 300\n",
         {"a frame still unfinished after 65536 bytes; connecting again"}},
        {"bad checksum", bytes({0x10, 2, 4, 0, 0, 1, 3, 5, 0, 0x10, 3}), careful.answer(), false, expectCamB,
         {"answered NAK to a broken frame (bad checksum, 7 byte(s))"}},
        {"NAK for everything", "", nak, false, "wait 1200\n",
         {"refused the source names request (NAK): it goes again",
          "gave up on the source names request after 5 re-sends", ": poll unanswered"}},
        {"never an ACK", "", never.answer(), false, expectCamB, {}},
        {"out-of-range numbers", frameOf(bytes({0x84, 0, 0, 0x13, 0x88, 0, 1})), careful.answer(), false, expectCamB,
         {"skipped 1 entry of a connected message beyond the 4096 destinations and sources kept"}},
        {"names with control bytes", "", controls.answer(), false, "wait 200\n",
         {"named source 2 \"Cam\\x01\\x1B[2J\", with control bytes: kept as sent"}},
        {"a flood of 04s after the dump", "", floodAfterDump, false, "expect text \"Cam D\" within 2000\nwait 100\n",
         {"sent changes faster than the component took them: each destination got its newest state"}},
        {"a close mid-frame", bytes({0x10, 2, 4, 0, 0}), careful.answer(), true, "wait 100\n",
         {"the router closed it in the middle of a frame; connecting again"}},
    };
}

TEST(Swp08HostileRouter, EachBadInputGivesANoteAndTheScriptGoesOn) {
    for (const HostileCase& c : hostileCases()) {
        Swp08Router router(c.greeting, c.answer, c.closeAfterGreeting);
        expectNotesAndTheScriptGoesOn(c.name, "swp08", router.port(), c.statements, c.notes);
    }
}

}  // namespace
