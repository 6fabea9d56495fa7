#include "explain/parvex_explainer.h"

#include <cctype>

#include "site/database_size.h"
#include "base/text.h"

// The component reads numbers from their leading digits; none gives 0.
static int toInt(const std::string& text) {
    int value = 0;
    return leadingNumber(text, value) ? value : 0;
}

static std::string pairText(int device, int destination) {
    return "device " + std::to_string(device) + " destination " + std::to_string(destination);
}

static bool sameIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return i == a.size() && !b[i];
}

// Which of the component's tests refuses `destination`, in its order; empty
// when none does.
std::string ParvexExplainer::refusal(int destination) const {
    if (destination == destination_) return "it equals the current destination " + std::to_string(destination_);
    if (destination < 1) return "a destination is 1 or more";
    if (device_ == -1) return "no device yet (send driverid first)";
    if (device_ < 1 || device_ > 999) return "device " + std::to_string(device_) + " is outside 1..999";
    DatabaseSize d = readDatabaseSize(device_);
    if (destination <= d.size) return "";
    if (!d.why.empty()) return d.file + " gives database size 0: " + d.why;
    return "it is above DatabaseSize_1 " + std::to_string(d.size) + " of " + d.file;
}

std::vector<Silence> ParvexExplainer::afterText(const std::string& text, const std::vector<HostCommand>& commands) {
    // Split as the component splits: the command before the first '.' or
    // '=', the value after the first '='.
    const std::string command = text.substr(0, text.find_first_of(".="));
    const size_t equals = text.find('=');
    const std::string value = equals == std::string::npos ? "" : text.substr(equals + 1);
    const int number = toInt(value);
    const std::string subject =
        command + " " + (value == std::to_string(number) ? value : quoteText(value) + " (read as " + std::to_string(number) + ")");

    for (const HostCommand& c : commands) {
        if (c.code != "RR" || c.args.size() < 2) continue;
        std::optional<int32_t> device = parseInt32(c.args[0].text);
        std::optional<int32_t> first = parseInt32(c.args[1].text);
        if (!device || !first) continue;
        device_ = *device;
        destination_ = *first;
    }
    std::vector<Silence> out;
    if (command == "driverid") {
        // The component stores the device and refuses the pair at once.
        device_ = number;
        if (commands.empty())
            out.push_back({command, subject + ": stored as the device; nothing is sent until a destid" +
                                        (destination_ >= 1 ? " other than " + std::to_string(destination_) : "") +
                                        " sets up the pair"});
        return out;
    }
    if (!commands.empty()) return out;
    if (command == "destid") {
        std::string why = refusal(number);
        out.push_back({command, subject + (why.empty() ? " sent nothing, though it passes the component's tests"
                                                       : " refused: " + why)});
    } else if (command == "unusedtext") {
        if (device_ >= 1 && destination_ >= 1)
            out.push_back({command, "unusedtext stored, not shown: a pair is set (" + pairText(device_, destination_) + ")"});
        else
            out.push_back({command, "unusedtext sent nothing"});
    } else if (command == "statesheet") {
        out.push_back({command, "statesheet sent nothing"});
    } else {
        for (const char* name : {"driverid", "destid", "statesheet", "unusedtext"})
            if (sameIgnoringCase(command, name))
                out.push_back({command, quoteText(command) + " is no setting: names are compared exactly (" + name + ")"});
    }
    return out;
}

std::vector<Silence> ParvexExplainer::afterReport(const Report& report, const std::vector<HostCommand>& commands) {
    std::vector<Silence> out;
    for (const HostCommand& c : commands) {
        if (c.code == "TP" && !c.args.empty() && c.args[0].text.rfind("text=", 0) == 0) {
            lastSource_ = report.info;
            lastText_ = report.text;
        }
    }
    if (!commands.empty()) return out;
    const std::string subject = "report for " + pairText(report.device, report.index);
    if (destination_ < 1)
        out.push_back({"report", subject + " ignored: no pair is set"});
    else if (report.device != device_ || report.index != destination_)
        out.push_back({"report", subject + " ignored: the component follows " + pairText(device_, destination_)});
    else if (report.info == lastSource_ && report.text == lastText_)
        out.push_back({"report", subject + " ignored: source " + std::to_string(report.info) + " " +
                                     quoteText(report.text) + " is already shown"});
    else
        out.push_back({"report", subject + " sent nothing"});
    return out;
}
