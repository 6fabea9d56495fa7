#include "routers/protocols.h"

#include "host_port.h"
#include "swp08/swp08_codec.h"
#include "videohub_codec.h"

static std::unique_ptr<RouterCodec> makeVideohub(const std::map<std::string, std::string>&, std::string&) {
    return std::make_unique<VideohubCodec>();
}

static std::unique_ptr<RouterCodec> makeSwp08(const std::map<std::string, std::string>& given, std::string& error) {
    std::optional<swp08::Codec::Options> options = swp08::Codec::Options::parse(given, error);
    if (!options) return nullptr;
    return std::make_unique<swp08::Codec>(*options);
}

const std::vector<RouterProtocol>& protocols() {
    static const std::vector<RouterProtocol> rows = {
        {"videohub", "Videohub", 9990, {}, std::chrono::milliseconds(0), 0, makeVideohub},
        {"swp08",
         "SW-P-08",
         8910,
         {{"matrix", "M", "1..256, counted from 1 (1)"},
          {"level", "L", "1..256, counted from 1 (1)"},
          {"names", "N", "name length: 4, 8, 12, 16 or 32 characters (16)"}},
         std::chrono::milliseconds(1000),
         5,
         makeSwp08},
    };
    return rows;
}

const RouterProtocol* findProtocol(const std::string& scheme) {
    for (const RouterProtocol& p : protocols())
        if (scheme == p.scheme) return &p;
    return nullptr;
}

static bool parseOptions(const std::string& text, const RouterProtocol& protocol, RouterTarget& target,
                         std::string& error) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('&', at);
        if (end == std::string::npos) end = text.size();
        const std::string pair = text.substr(at, end - at);
        const size_t equals = pair.find('=');
        const std::string name = pair.substr(0, equals);
        bool known = false;
        for (const ProtocolOption& option : protocol.options) known = known || name == option.name;
        if (equals == std::string::npos || !known) {
            error = "expected NAME=VALUE with a name " + std::string(protocol.scheme) + " takes, got \"" + pair + "\"";
            return false;
        }
        target.options[name] = pair.substr(equals + 1);
        at = end + 1;
    }
    return true;
}

std::optional<RouterTarget> parseRouterTarget(const std::string& text, std::string& error) {
    RouterTarget target;
    std::string rest = text;
    const size_t scheme = text.find("://");
    target.protocol = scheme == std::string::npos ? protocols().front().scheme : text.substr(0, scheme);
    if (scheme != std::string::npos) rest = text.substr(scheme + 3);
    const RouterProtocol* protocol = findProtocol(target.protocol);
    if (!protocol) {
        error = "unknown router protocol \"" + target.protocol + "\"";
        return std::nullopt;
    }
    const size_t query = rest.find('?');
    std::optional<HostPort> address = parseHostPort(rest.substr(0, query), protocol->defaultPort);
    if (!address) {
        error = "expected HOST or HOST:PORT (port 1..65535), got \"" + rest.substr(0, query) + "\"";
        return std::nullopt;
    }
    target.host = address->host;
    target.port = address->port;
    if (query != std::string::npos && !parseOptions(rest.substr(query + 1), *protocol, target, error)) return std::nullopt;
    if (!protocol->makeCodec(target.options, error)) return std::nullopt;
    return target;
}

std::string formatRouterTarget(const RouterTarget& target) {
    return target.protocol + "://" + formatHostPort(HostPort{target.host, target.port});
}

// Help ------------------------------------------------------------------------------

std::string deviceUsage(const RouterProtocol& protocol, const char* device) {
    std::string usage = std::string("device ") + device + " " + protocol.scheme + " HOST[:PORT]";
    for (const ProtocolOption& option : protocol.options)
        usage += std::string(" [") + option.name + " " + option.placeholder + "]";
    return usage;
}

static const char kHelpIndent[] = "                                ";

// "  LEFT" padded to the help column, then `text`; LEFT alone on its line
// when it is too long for the column.
static std::string helpLine(const std::string& left, const std::string& text) {
    const std::string head = "  " + left;
    const size_t column = sizeof kHelpIndent - 1;
    if (head.size() < column) return head + std::string(column - head.size(), ' ') + text + "\n";
    return head + "\n" + kHelpIndent + text + "\n";
}

std::string deviceHelp() {
    std::string help;
    for (const RouterProtocol& p : protocols()) {
        help += helpLine(deviceUsage(p), std::string("the ") + p.title + " router there (port " +
                                             std::to_string(p.defaultPort) + " by default)");
        for (const ProtocolOption& option : p.options)
            help += std::string(kHelpIndent) + option.name + ": " + option.help + "\n";
    }
    return help + kHelpIndent + "a live router puts the script on the wall clock\n";
}

std::string routerOptionHelp() {
    std::string help =
        "  --router D=[PROTOCOL://]HOST[:PORT][?NAME=VALUE&...]  router device D\n"
        "                 (1..999) follows the router there in every script and at\n"
        "                 the prompt; PROTOCOL (" + std::string(protocols().front().scheme) + " when left out):\n";
    for (const RouterProtocol& p : protocols()) {
        std::string line = std::string("                   ") + p.scheme + "  " + p.title + ", port " +
                           std::to_string(p.defaultPort);
        std::string names;
        for (const ProtocolOption& option : p.options)
            names += (names.empty() ? "?" : "&") + std::string(option.name) + "=" + option.placeholder;
        help += line + (names.empty() ? "" : "; " + names) + "\n";
        for (const ProtocolOption& option : p.options)
            help += std::string("                     ") + option.name + ": " + option.help + "\n";
    }
    return help;
}
