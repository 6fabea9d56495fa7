// Whole tables in SW-P-08 messages, and back: a router answers a tally dump
// or a name request with several messages, and a client folds the replies
// (and the router's unsolicited Connected messages) into a RouterModel.
//
// One RouterModel mirrors one matrix/level of a router. Numbers map
// directly: destination n is output n, source s is input s (both 0-based;
// the host's 1-based numbers are in router_model.h).
#ifndef VESK_SWP08_TABLES_H
#define VESK_SWP08_TABLES_H

#include <cstddef>
#include <string>
#include <vector>

#include "router_model.h"
#include "swp08_message.h"

namespace swp08 {

// Router side ----------------------------------------------------------------

// The tally dump of one matrix/level. `routes[d]` is the source routed to
// destination d, or kNoInput: the protocol has no "no source", so an unrouted
// destination is left out and the next routed one starts a new message.
// Messages hold consecutive destinations, lowest first: at most
// kMaxDumpTallies, and no more than keep a message's DATA within
// kMaxMessageData (the extended word form, 151: 63). The byte form (22) is
// used when every destination and source sent is at most kMaxByteDumpNumber
// (191), matrix and level are at most 15 and `extended` is false; the word
// form otherwise (extended, 151, when matrix or level is above 15, or when
// `extended`). Empty when nothing is routed. Values the protocol cannot
// carry (negative, above 65535) are left out like kNoInput.
std::vector<Message> tallyDumpMessages(int matrix, int level, const std::vector<int>& routes, bool extended = false);
// The same from a model: its routes by output.
std::vector<Message> tallyDumpMessages(const RouterModel& model, int matrix, int level, bool extended = false);

// The replies to an "all names" request: `names[i]` is the name of number i,
// sent in order in messages of at most maxNamesPerMessage(length) names.
// `kind` is SourceNames or DestinationNames (anything else gives nothing);
// `level` is not carried by destination names. The writer cuts or pads each
// name to the width. A list of more than 65536 names is cut there.
std::vector<Message> nameMessages(MessageKind kind, int matrix, int level, NameLength length,
                                  const std::vector<std::string>& names, bool extended = false);
// The same from a model: input labels (SourceNames) or output labels
// (DestinationNames).
std::vector<Message> nameMessages(MessageKind kind, const RouterModel& model, int matrix, int level,
                                  NameLength length, bool extended = false);

// Client side ----------------------------------------------------------------

// What applying a message changed. `rejected` counts entries the model does
// not hold (a destination or source beyond its size); `ignored` is set for a
// message that carries nothing for this table (another matrix or level, a
// request, NamesUpdated, Invalid).
struct TableUpdate {
    std::vector<RouterChange> changes;
    size_t rejected = 0;
    bool ignored = false;
};

// Applies a router's message to `model`, which mirrors `matrix`/`level`:
// routes from Tally, Connected and both tally dumps; input labels from
// SourceNames, output labels from DestinationNames (any level). Entries are
// applied one by one; those out of the model's range are counted in
// `rejected` and change nothing.
TableUpdate applyMessage(RouterModel& model, const Message& message, int matrix, int level);

}  // namespace swp08

#endif  // VESK_SWP08_TABLES_H
