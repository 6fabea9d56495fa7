// What vesk-router answers to one SW-P-08 request: pure code over a
// RouterModel, no sockets. Swp08Service sends the replies and applies the
// take; tests check the answers directly.
//
// The model is one table of the router: `Swp08Table`'s matrix and level.
// Numbers map directly (destination n is output n, source s is input s).
// Replies come in the form the request came in (extended for extended),
// and in the extended form whenever a value needs it. Anything the router
// does not serve gets INVALID MESSAGE (99) carrying the request's command
// byte, with the reason in `refusal` for the log:
//   - a frame this code cannot read (unknown command, bad length or value);
//   - a message only a router sends (tally, connected, dumps, names, 30, 99);
//   - another matrix or level than the table's (destination names: another
//     matrix);
//   - a destination or source beyond the model, an interrogate of an output
//     with no route (the protocol has no "no source");
//   - any request while the device is not present.
#ifndef VESK_ROUTER_SERVER_SWP08_ANSWERS_H
#define VESK_ROUTER_SERVER_SWP08_ANSWERS_H

#include <string>
#include <vector>

#include "router_model.h"
#include "swp08/swp08_message.h"

// The table the model stands for.
struct Swp08Table {
    int matrix = 0;  // 0..swp08::kMaxMatrix
    int level = 0;   // 0..swp08::kMaxMatrix
};

struct Swp08Answer {
    std::vector<swp08::Message> replies;  // to the asker, in order (maybe none)
    // A connect to apply: `destination` and `source` are in the model's
    // range; the caller checks the locks and tells every client.
    bool take = false;
    bool extended = false;  // the connect came in the extended form
    int destination = 0;
    int source = 0;
    std::string refusal;  // not empty: `replies` is one 99; why, for the log
};

// The answer to a frame's DATA as decodeMessage read it (`decoded`), for
// `model` serving `table`. Never fails otherwise than by a 99 answer.
Swp08Answer answerSwp08(const RouterModel& model, const swp08::DecodeResult& decoded, const Swp08Table& table);

// INVALID MESSAGE (99) about the request whose command byte is `command`.
swp08::Message swp08Invalid(uint8_t command);

#endif  // VESK_ROUTER_SERVER_SWP08_ANSWERS_H
