// vesk-router's commands on standard input, with ports numbered from 0 as on
// the wire and levels from 1:
//   route OUT IN [LEVEL]  routes input IN to output OUT on LEVEL (1 when left
//                         out), whatever the locks
//   label IN TEXT         names input IN (TEXT runs to the end of the line)
//   output-label OUT TEXT names output OUT
//   present true|false|needs_update
//   help                  lists these
//   quit
// Changes are made through the SharedRouter as the console's (Origin::console),
// so they follow the same rules as a client's, locks aside: a label holding a
// control byte is refused from either.
#ifndef VESK_ROUTER_SERVER_CONSOLE_H
#define VESK_ROUTER_SERVER_CONSOLE_H

#include <ostream>
#include <string>

#include "shared_router.h"

class Console {
public:
    enum class Result { Continue, Quit };

    // The text `help` writes (several lines, each ending in LF).
    static const char kHelp[];

    // Changes `router`; help and "error: ..." lines (the input escaped) go to
    // `out`. Both must outlive this.
    Console(SharedRouter& router, std::ostream& out) : router_(router), out_(out) {}

    // Runs one line (without its end). Quit for "quit"; blank lines do nothing.
    Result run(const std::string& line);

private:
    // "" when done, else the error.
    std::string route(const std::string& outputText, const std::string& inputText, const std::string& levelText);
    std::string label(const std::string& verb, const std::string& indexText, const std::string* text);

    SharedRouter& router_;
    std::ostream& out_;
};

#endif  // VESK_ROUTER_SERVER_CONSOLE_H
