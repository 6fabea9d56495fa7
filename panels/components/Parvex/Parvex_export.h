// The module's entry point, called by the host panel application.
//
// Lifecycle:
//   - The host loads the module and calls load_vesk_client_script once per
//     component it wants, with its own vesk_client_callback and the folder of
//     the component's panel files. While the call runs, the component already
//     sends its panel command to `host`.
//   - The host owns the returned object from then on and talks to it only
//     through vesk_client_callback: callback() for events, one at a time on its
//     own thread, and delete, through the virtual destructor, to end it. During
//     the delete the component may send "RU" and always sends "AS" last.
//   - The module keeps nothing between calls; each call creates an independent
//     component. The host's object and text stay the host's: `path` is copied.
#ifndef PARVEX_EXPORT_H
#define PARVEX_EXPORT_H

#include "vesk_script_helper.h"

// Creates a Parvex on `host` (null allowed: it then sends nothing) with panel
// folder `path` (null reads as empty). Returns it as the host sees it, or null
// when no memory could be obtained for it.
VESK_EXPORT vesk_client_callback* VESK_CDECL load_vesk_client_script(vesk_client_callback* host, const char* path);

#endif  // PARVEX_EXPORT_H
