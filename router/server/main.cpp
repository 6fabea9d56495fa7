// vesk-router: a router model served over the Videohub Ethernet protocol, for
// desks without a router, for other tools and for the project's tests.
//
//   vesk-router [--listen ADDR:PORT] [--inputs N] [--outputs M] [--labels FILE]
//
// The first line written is "listening on ADDR:PORT" with the port really
// bound (give port 0 for a free one). Commands on standard input, with ports
// numbered from 0 as on the wire:
//   route OUT IN          routes input IN to output OUT
//   label IN TEXT         names input IN
//   output-label OUT TEXT names output OUT
//   present true|false|needs_update
//   quit
// It runs until "quit", SIGINT or SIGTERM; the end of standard input does not
// stop it, so it can run in the background with no input.
#include <csignal>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "router_model.h"
#include "router_server.h"
#include "stdin_lines.h"
#include "videohub_parser.h"

namespace {

const char kUsage[] =
    "usage: vesk-router [--listen ADDR:PORT] [--inputs N] [--outputs M] [--labels FILE]\n"
    "  --listen   address and port to serve (default 127.0.0.1:9990; port 0 picks a free one)\n"
    "  --inputs   number of inputs, 0..4096 (default 16)\n"
    "  --outputs  number of outputs, 0..4096 (default 16)\n"
    "  --labels   a file of INPUT LABELS:, OUTPUT LABELS: and VIDEO OUTPUT ROUTING: blocks\n"
    "commands (ports from 0): route OUT IN | label IN TEXT | output-label OUT TEXT |\n"
    "                         present true|false|needs_update | quit\n";

struct Options {
    std::string address = "127.0.0.1";
    unsigned short port = 9990;
    int inputs = 16;
    int outputs = 16;
    std::string labels;
};

// A decimal in 0..limit, digits only.
std::optional<int> number(const std::string& text, int limit) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(text);
    return value <= limit ? std::optional<int>(value) : std::nullopt;
}

// "ADDR:PORT", the address of IPv6 in brackets.
bool parseListen(const std::string& text, Options& options) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    std::string address = text.substr(0, colon);
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    const std::optional<int> port = number(text.substr(colon + 1), 65535);
    if (!port || address.empty()) return false;
    options.address = address;
    options.port = static_cast<unsigned short>(*port);
    return true;
}

// False with `error` set on a bad option.
bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || i + 1 >= argc) {
            error = option == "--help" ? "" : "missing value or unknown option: " + option;
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (option == "--listen") {
            ok = parseListen(value, options);
        } else if (option == "--inputs" || option == "--outputs") {
            const std::optional<int> count = number(value, kMaxRouterPorts);
            ok = count.has_value();
            if (ok) (option == "--inputs" ? options.inputs : options.outputs) = *count;
        } else if (option == "--labels") {
            options.labels = value;
        } else {
            ok = false;
        }
        if (!ok) {
            error = "bad option: " + option + " " + value;
            return false;
        }
    }
    return true;
}

// Applies the labels file to `model`. False with `error` naming the first
// problem: an unreadable file, a block other than labels or routing, a line
// the parser skips or an entry beyond the model's size.
bool loadLabels(const std::string& path, RouterModel& model, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    VideohubParser parser;
    std::vector<VideohubBlock> blocks;
    if (!parser.feed(text.str() + "\n\n", blocks)) {
        error = path + ": a line over " + std::to_string(kMaxVideohubLine) + " bytes";
        return false;
    }
    for (const VideohubBlock& block : blocks) {
        if (block.kind != BlockKind::InputLabels && block.kind != BlockKind::OutputLabels &&
            block.kind != BlockKind::Routing) {
            error = path + ": only INPUT LABELS:, OUTPUT LABELS: and VIDEO OUTPUT ROUTING: blocks, not " +
                    (block.header.empty() ? block.skipped.at(0).text : block.header);
            return false;
        }
        if (block.skippedCount) {
            error = path + ": " + block.skipped[0].reason + ": " + block.skipped[0].text;
            return false;
        }
        const ApplyResult result = applyBlock(model, block);
        if (result.rejectedCount) {
            error = path + ": " + result.rejected[0].reason + ": " + result.rejected[0].text;
            return false;
        }
    }
    return true;
}

// Runs one command line; false when it asks to quit.
bool command(const std::string& line, RouterServer& server) {
    std::istringstream in(line);
    std::string verb, first;
    in >> verb >> first;
    std::string error;
    const std::optional<int> index = number(first, kMaxRouterPorts);
    if (verb == "quit" && first.empty()) return false;
    if (verb.empty()) return true;
    if (verb == "route") {
        std::string second, extra;
        in >> second >> extra;
        const std::optional<int> input = number(second, kMaxRouterPorts);
        if (!index || !input || !extra.empty())
            error = "usage: route OUT IN";
        else
            server.route(*index, *input, error);
    } else if (verb == "label" || verb == "output-label") {
        const size_t start = line.find(' ', line.find(first) + first.size());
        if (!index || start == std::string::npos)
            error = "usage: " + verb + " INDEX TEXT";
        else
            server.label(verb == "label" ? BlockKind::InputLabels : BlockKind::OutputLabels, *index,
                         line.substr(start + 1), error);
    } else if (verb == "present" && (first == "true" || first == "false" || first == "needs_update")) {
        server.setPresence(first == "true" ? Presence::Present : first == "false" ? Presence::Absent : Presence::NeedsUpdate);
    } else {
        error = "unknown command: " + line;
    }
    if (!error.empty()) std::cout << "error: " << error << std::endl;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        if (!error.empty()) std::cerr << "vesk-router: " << error << "\n";
        std::cerr << kUsage;
        return error.empty() ? 0 : 2;
    }
    RouterModel model(options.inputs, options.outputs);
    for (int output = 0; options.inputs > 0 && output < options.outputs; ++output)
        model.setRoute(output, output % options.inputs);
    if (!options.labels.empty() && !loadLabels(options.labels, model, error)) {
        std::cerr << "vesk-router: " << error << "\n";
        return 2;
    }

    try {
        asio::io_context io;
        asio::error_code bad;
        const asio::ip::address address = asio::ip::make_address(options.address, bad);
        if (bad) {
            std::cerr << "vesk-router: bad address: " << options.address << "\n";
            return 2;
        }
        RouterServer server(io, asio::ip::tcp::endpoint(address, options.port), model, "vesk-router", std::cout);
        asio::signal_set signals(io, SIGINT, SIGTERM);
        const auto stop = [&]() {
            std::cout << "stopping" << std::endl;
            server.close();
            io.stop();
        };
        signals.async_wait([&](const asio::error_code& e, int) {
            if (!e) stop();
        });
        StdinLines lines(io, [&](std::optional<std::string> line) {
            if (line && !command(*line, server)) stop();
        });
        // Last, so that whoever waits for this line can signal or type at once.
        std::cout << "listening on " << server.endpoint() << std::endl;
        io.run();
    } catch (const std::exception& e) {
        std::cerr << "vesk-router: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
