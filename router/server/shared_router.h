// The one RouterModel that every service of vesk-router serves (Videohub
// today, SW-P-08 beside it), with the owners of its locks and the listeners
// of its changes.
//
// Every change goes through here, from a client of any service or from the
// console, and is told to every listener with its origin, so a change made
// through one service reaches the clients of the others. Listeners are called
// synchronously, in subscription order, on the caller's thread (vesk-router:
// the io_context's); a listener may make further changes (they are told at
// once, nested).
//
// Levels: the router has 1..kMaxLevels levels of the model's size, each with
// crosspoints of its own. Level 1's routes are the model's (the Videohub
// service serves level 1 alone); levels 2.. start with the model's routes as
// they are when this is made and change only through route().
//
// Locks: an output is locked by at most one client; the console is no client
// and takes no locks. Locks are on level 1's outputs. Who may change a locked
// output is the services' rule (each checks lockAs before a client's change
// on level 1); the console's changes pass whatever the locks.
#ifndef VESK_ROUTER_SERVER_SHARED_ROUTER_H
#define VESK_ROUTER_SERVER_SHARED_ROUTER_H

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "router_model.h"

// Who made a change: a client (ids from SharedRouter::newClient, unique across
// every service) or the console.
struct Origin {
    int client = 0;              // 0: the console
    const char* kind = "client";  // how logs name the client: a static text
    static Origin console() { return Origin{0}; }
    bool isConsole() const { return client == 0; }
    // "client 3" (`kind` and the id), or "the console".
    std::string describe() const;
};

class SharedRouter {
public:
    // Told each applied change: `change.index` is the output (Route,
    // OutputLabel, Lock), the input (InputLabel), or -1 (Device: presence).
    using Listener = std::function<void(const RouterChange& change, const Origin& origin)>;

    static constexpr int kMaxLevels = 16;

    // Serves `model`, which must outlive this, as `levels` levels (clamped to
    // 1..kMaxLevels).
    explicit SharedRouter(RouterModel& model, int levels = 1);
    SharedRouter(const SharedRouter&) = delete;
    SharedRouter& operator=(const SharedRouter&) = delete;

    const RouterModel& model() const { return model_; }
    int levels() const { return static_cast<int>(moreLevels_.size()) + 1; }
    // The route of `output` on `level` (1..levels()); kNoInput when none or
    // out of range.
    int route(int level, int output) const;

    // A new client id (1, 2, ...), never given twice.
    int newClient() { return nextClient_++; }
    // Adds a listener; the result is its token for unsubscribe.
    int subscribe(Listener listener);
    void unsubscribe(int token);

    // Changes: "" when applied and told (also when the value was already so:
    // a client sees its request confirmed), else why nothing was done and no
    // one is told. `text` of a label is cut to kMaxLabelBytes; a label
    // holding a control byte (see text_bytes.h) is refused, whoever sends it.
    // A route on `level` (1..levels()) is told with that level.
    std::string route(int output, int input, const Origin& origin, int level = 1);
    std::string label(ChangeKind kind, int index, std::string_view text, const Origin& origin);
    // Told only when the presence changes (index -1).
    void setPresence(Presence presence, const Origin& origin);

    // An output's lock as `client` sees it (Unlocked when out of range).
    Lock lockAs(int client, int output) const;
    // `origin.client` takes `output`; "" when taken (or already its own),
    // else why not (out of range, the console, another client's lock).
    std::string lock(int output, const Origin& origin);
    // Frees `output`: its owner's own, or anyone's with `force`. "" when freed
    // (or already free), else why not.
    std::string unlock(int output, const Origin& origin, bool force);
    // Frees every lock of `client` (its connection ended), each one told.
    void releaseClient(int client);

private:
    void tell(const RouterChange& change, const Origin& origin);
    void setOwner(int output, int client);

    RouterModel& model_;
    std::vector<std::vector<int>> moreLevels_;  // levels 2..: the route of each output
    int nextClient_ = 1;
    int nextToken_ = 1;
    std::vector<std::pair<int, Listener>> listeners_;
    std::map<int, int> lockOwners_;  // output -> client holding it
};

#endif  // VESK_ROUTER_SERVER_SHARED_ROUTER_H
