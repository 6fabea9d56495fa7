// vesk-router's --labels file: INPUT LABELS:, OUTPUT LABELS: and VIDEO OUTPUT
// ROUTING: blocks as the Videohub protocol writes them, applied to the model
// before serving.
#ifndef VESK_ROUTER_SERVER_LABELS_FILE_H
#define VESK_ROUTER_SERVER_LABELS_FILE_H

#include <string>

#include "router_model.h"

// Reads `path` as a stream (memory stays bounded by the parser's limits,
// whatever the file's size) and applies its blocks to `model` in order.
// "" when every block applied; else the first problem, naming the file, with
// the file's bytes escaped (escapeText): not a regular file (a folder, a
// device), unreadable, a line over kMaxVideohubLine bytes, a block other than
// the three, a line the parser skips (malformed, control bytes) or an entry
// beyond the model's size. Blocks before the problem stay applied.
std::string loadLabelsFile(const std::string& path, RouterModel& model);

#endif  // VESK_ROUTER_SERVER_LABELS_FILE_H
