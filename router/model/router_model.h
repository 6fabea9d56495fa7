// One video router's state: its presence, its sizes, the labels of its inputs
// and outputs, the input routed to each output and each output's lock.
//
// Numbering is the Videohub protocol's: inputs 0..inputs()-1 and outputs
// 0..outputs()-1. The host numbers from 1: destination n is output n-1 and
// source s is input s-1 (see the helpers at the end).
//
// Invariants, whatever the operations are given:
//   - 0 <= inputs(), outputs() <= kMaxRouterPorts;
//   - every label holds at most kMaxLabelBytes bytes (longer ones are cut at
//     a UTF-8 character boundary);
//   - a route is either kNoInput or an input below inputs().
// So the model never holds more than a few megabytes.
//
// It does no I/O and formats nothing: each operation says what it changed,
// and the caller decides what to report.
#ifndef VESK_ROUTER_MODEL_H
#define VESK_ROUTER_MODEL_H

#include <string>
#include <string_view>
#include <vector>

// The largest Videohub has 288 ports a side; 4096 leaves room for any router.
constexpr int kMaxRouterPorts = 4096;
// Room of the host's report record less its terminating zero.
constexpr size_t kMaxLabelBytes = 255;
// The route of an output that has none (yet).
constexpr int kNoInput = -1;

enum class Presence { Present, Absent, NeedsUpdate };
// As one client sees an output: unlocked, locked by it, locked by another.
enum class Lock { Unlocked, Owned, Locked };

// What an operation changed. `index` is the output (Route, OutputLabel, Lock)
// or the input (InputLabel); -1 for Device (presence or sizes). `level`: the
// level of a Route change on a router of several levels (vesk-router's
// SharedRouter); 1 everywhere else, the model's own routes.
enum class ChangeKind { Device, Route, InputLabel, OutputLabel, Lock };
struct RouterChange {
    ChangeKind kind;
    int index;
    int level = 1;
    bool operator==(const RouterChange& o) const { return kind == o.kind && index == o.index && level == o.level; }
};

// Result of one operation on one port.
enum class Applied { Changed, Unchanged, OutOfRange };

class RouterModel {
public:
    // Labels a port gets when it is created: prefix + its 1-based number
    // ("Input 3" for input 2). The host's simulated router names sources
    // "SRC <n>".
    struct Naming {
        std::string input = "Input ";
        std::string output = "Output ";
    };

    // A present router of `inputs` x `outputs` (each clamped to
    // 0..kMaxRouterPorts), default labels, no routes, every output unlocked.
    RouterModel(int inputs, int outputs, Naming naming);
    RouterModel(int inputs, int outputs) : RouterModel(inputs, outputs, Naming()) {}

    Presence presence() const { return presence_; }
    bool present() const { return presence_ == Presence::Present; }
    int inputs() const { return static_cast<int>(inputLabels_.size()); }
    int outputs() const { return static_cast<int>(outputLabels_.size()); }

    // Changes presence. True when it changed.
    bool setPresence(Presence presence);
    // Changes the sizes (each clamped to 0..kMaxRouterPorts). New ports get
    // default labels, no route and no lock; routes of removed outputs and
    // routes to removed inputs are dropped. True when a size changed.
    bool resize(int inputs, int outputs);

    const std::string& inputLabel(int input) const;    // "" when out of range
    const std::string& outputLabel(int output) const;  // "" when out of range
    int route(int output) const;                       // kNoInput when none or out of range
    Lock lock(int output) const;                       // Unlocked when out of range

    // `label` is cut to kMaxLabelBytes. OutOfRange when the port does not exist.
    Applied setInputLabel(int input, std::string_view label);
    Applied setOutputLabel(int output, std::string_view label);
    // OutOfRange when the output or the input does not exist.
    Applied setRoute(int output, int input);
    Applied setLock(int output, Lock lock);

    // Outputs whose route is `input`, lowest first.
    std::vector<int> outputsFedBy(int input) const;

    // `label` cut to at most kMaxLabelBytes bytes without splitting a UTF-8
    // sequence.
    static std::string_view cutLabel(std::string_view label);

private:
    Naming naming_;
    Presence presence_ = Presence::Present;
    std::vector<std::string> inputLabels_;
    std::vector<std::string> outputLabels_;
    std::vector<int> routes_;  // by output
    std::vector<Lock> locks_;  // by output
};

// The host's 1-based numbers and the protocol's 0-based ones.
inline int outputOfDestination(int destination) { return destination - 1; }
inline int destinationOfOutput(int output) { return output + 1; }
inline int inputOfSource(int source) { return source - 1; }
inline int sourceOfInput(int input) { return input + 1; }

#endif  // VESK_ROUTER_MODEL_H
