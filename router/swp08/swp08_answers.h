// What vesk-router answers to one SW-P-08 request: pure code over the
// router's state, no sockets. Swp08Service sends the replies and applies the
// take; tests check the answers directly.
//
// The router is one matrix of `Swp08Table::levels` levels: wire level
// `table.level + k - 1` is the router's level k (1..levels), and level 1 is
// the one the Videohub service shows. Every level has the router's size and
// names and crosspoints of its own. Numbers map directly (destination n is
// output n, source s is input s). Replies come in the form the request came
// in (extended for extended), and in the extended form whenever a value needs
// it.
//
// Answers:
//   - interrogate (1 / 129): tally (3 / 131) of the level asked;
//   - connect (2 / 130): a take for the caller (`take`), who checks the locks,
//     applies it and tells every client connected (4 / 132); no reply here;
//   - tally dump request (21 / 149): the level's routes (swp08_tables.h);
//   - all / single source and destination names (100..103 / 228..231): 106 /
//     107 (234 / 235);
//   - dual controller status request (08): 09, this controller active (see
//     swp08DualStatus);
//   - implementation request (97): 98, the commands this router sends and
//     the ones it accepts (see swp08Implementation);
//   - invalid message (99) from a client: nothing at all (`ignored`, with
//     `note` for the log), since two devices that both answer 99 with 99
//     loop for ever.
// 08 and 97 are answered whether or not the device is present: they are
// about the controller, not its matrix. Anything else gets INVALID MESSAGE
// (99) carrying the request's command byte, with the reason in `refusal`:
//   - a frame this code cannot read (unknown command, bad length or value);
//   - a message only a router sends (tally, connected, dumps, names, 30, 09,
//     98);
//   - another matrix, or a level the router does not have (destination names:
//     another matrix);
//   - a destination or source beyond the router, an interrogate of an output
//     with no route (the protocol has no "no source");
//   - any other request while the device is not present.
#ifndef VESK_SWP08_ANSWERS_H
#define VESK_SWP08_ANSWERS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "router_model.h"
#include "swp08_message.h"

// The matrix and levels the router is.
struct Swp08Table {
    int matrix = 0;  // 0..swp08::kMaxMatrix
    int level = 0;   // the wire level of the router's level 1
    int levels = 1;  // 1..16; level + levels - 1 is at most swp08::kMaxMatrix
};

// What the answers read: sizes, names and presence from `model`; the route
// of `output` on the router's level 1..levels from `route` (kNoInput when
// none).
struct Swp08Router {
    const RouterModel& model;
    std::function<int(int level, int output)> route;
};

struct Swp08Answer {
    std::vector<swp08::Message> replies;  // to the asker, in order (maybe none)
    // A connect to apply: `destination` and `source` are in the model's
    // range, `level` is the router's level (1..levels).
    bool take = false;
    bool extended = false;  // the connect came in the extended form
    int level = 1;
    int destination = 0;
    int source = 0;
    std::string refusal;  // not empty: `replies` is one 99; why, for the log
    bool ignored = false;  // nothing is answered; `note` says what came
    std::string note;
};

// The answer to a frame's DATA as decodeMessage read it (`decoded`), for
// `router` serving `table`. Never fails otherwise than by a 99 answer.
Swp08Answer answerSwp08(const Swp08Router& router, const swp08::DecodeResult& decoded, const Swp08Table& table);

// INVALID MESSAGE (99) about the request whose command byte is `command`.
swp08::Message swp08Invalid(uint8_t command);

// DUAL CONTROLLER STATUS (09): 09 02 00. Byte 1 bit 0 clear: the master
// controller is the active one; bit 1 set: this controller is active. Byte
// 2, 0: the idle controller is not faulty (there is none).
swp08::Message swp08DualStatus();

// PROTOCOL IMPLEMENTATION (98): the number of commands this router sends,
// the number it accepts, then those sent and those accepted, each list in
// ascending order.
swp08::Message swp08Implementation();
const std::vector<uint8_t>& swp08CommandsSent();
const std::vector<uint8_t>& swp08CommandsAccepted();

// NAMES UPDATED (30) after a rename on `matrix`, with its 8 data bytes: four
// words (high byte first), each a bit per matrix 0..15 (bit n: matrix n)
// whose names of one type changed: source names, source association names,
// destination association (destination) names, UMD labels. vesk-router's
// renames change source and destination names; a matrix above 15 has no bit
// and leaves the words clear.
swp08::Message swp08NamesUpdated(int matrix);

#endif  // VESK_SWP08_ANSWERS_H
