// vesk-router's log of changes: one line per change a SharedRouter tells,
// naming its origin, e.g. "route 2 7 by client 1", "route 2 7 level 3 by
// swp08 client 2" (a level other than 1), "label 3 Cam four by the console", "lock 1 taken by client 2", "device absent by the console".
// Labels are escaped (escapeText), so a line is always one printable line.
#ifndef VESK_ROUTER_SERVER_CHANGE_LOG_H
#define VESK_ROUTER_SERVER_CHANGE_LOG_H

#include <ostream>
#include <string>

#include "shared_router.h"

// The log line of `change` (without its end), as `router` holds it now.
std::string describeChange(const SharedRouter& router, const RouterChange& change, const Origin& origin);

// Writes describeChange of every change of `router` to `log` (which must
// outlive the subscription); the result is the SharedRouter token.
int logChanges(SharedRouter& router, std::ostream& log);

#endif  // VESK_ROUTER_SERVER_CHANGE_LOG_H
