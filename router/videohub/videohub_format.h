// The bytes of every block a Videohub client or server sends. Lines end in
// LF; each block ends with a blank line. Labels are written with control
// bytes other than tab replaced by blanks (the parser skips lines holding
// them), so a label can never end a line or a block early.
#ifndef VESK_VIDEOHUB_FORMAT_H
#define VESK_VIDEOHUB_FORMAT_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "router_model.h"
#include "videohub_block.h"

// The protocol version a server announces in its preamble.
constexpr std::string_view kVideohubVersion = "2.7";

// "HEADER:\n\n": asks for the whole block (or, for Ping, whether the other
// end still answers).
std::string formatRequest(BlockKind kind);
std::string formatPing();  // "PING:\n\n"
std::string formatAck();   // "ACK\n\n"
std::string formatNak();   // "NAK\n\n"

// Change blocks, or (on a server) change pushes: one line per entry.
std::string formatRoutes(const std::vector<RouteLine>& routes);
// `kind` is InputLabels or OutputLabels.
std::string formatLabels(BlockKind kind, const std::vector<LabelLine>& labels);
std::string formatLocks(const std::vector<LockLine>& locks);

std::string formatPreamble();
// Presence, model name and sizes; only the presence when the device is not
// present.
std::string formatDevice(const RouterModel& model, std::string_view modelName);

// Whole blocks from the model, every entry: labels of every port, the route
// of every routed output, every output's lock.
std::string formatModelLabels(const RouterModel& model, BlockKind kind);
std::string formatModelRoutes(const RouterModel& model);
// `lockOf(output)` gives each lock as the receiving client sees it; when
// empty, the model's own locks.
std::string formatModelLocks(const RouterModel& model, const std::function<Lock(int)>& lockOf = {});

// What a server sends a client on connect: preamble, device, input labels,
// output labels, locks, routing, END PRELUDE:. While the device is not present
// only the preamble and the device block.
std::string formatDump(const RouterModel& model, std::string_view modelName,
                       const std::function<Lock(int)>& lockOf = {});

char lockChar(Lock lock);  // 'U', 'O' or 'L'

#endif  // VESK_VIDEOHUB_FORMAT_H
