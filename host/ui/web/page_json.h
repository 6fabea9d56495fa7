// The messages the web view sends its pages, as JSON texts (one WebSocket
// frame each). Texts may hold any bytes: each byte that is not part of valid
// UTF-8 becomes U+FFFD. The page shows every text as text, never as markup.
//
//   {"kind":"view", "script":NAME|null, "stale":BOOL, "ended":BOOL,
//    "panels":[{"name","title","controls":[{"name","kind",
//               "params":[[KEY,VALUE],...],"colour":CSS|""}]}],
//    "routes":[{"device","destination","source","name","stale"}],
//    "registrations":[{"device","ranges":[[FIRST,LAST],...]}],
//    "routers":[{"device","protocol","address","state","why"}]}
// A route is stale, and the view too, while its live router is not
// connected: the route is the last one the router reported.
//   {"kind":"lines", "first":N, "lines":[TEXT,...]}   transcript lines N...
#ifndef VESK_HOST_UI_WEB_PAGE_JSON_H
#define VESK_HOST_UI_WEB_PAGE_JSON_H

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "output/host_event.h"

// The colour a state sheet is drawn in: a conventional name (red, green,
// amber, tally, onair, preview, ok, warning, alarm, off, ... see the guide;
// case, blanks, '-' and '_' ignored) gives its colour; another name of
// letters only, or "#" and 3 to 8 hex digits, is passed on for the browser
// to take when it is a CSS colour; anything else gives "".
std::string stateSheetColour(const std::string& sheet);

// The "view" message: `state` null when no script runs; `script` the name of
// the running script (empty: none); `ended` when this is what a script that
// has ended left (its final state: its routers and component are gone).
std::string viewJson(const std::optional<HostState>& state, const std::string& script, bool ended = false);

// The "lines" message: `lines` numbered from `first`.
std::string linesJson(uint64_t first, const std::deque<std::string>& lines, size_t from = 0);

#endif  // VESK_HOST_UI_WEB_PAGE_JSON_H
