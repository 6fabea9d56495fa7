#include "shared_router.h"

#include "text_bytes.h"

std::string Origin::describe() const {
    return isConsole() ? "the console" : std::string(kind) + " " + std::to_string(client);
}

SharedRouter::SharedRouter(RouterModel& model, int levels) : model_(model) {
    std::vector<int> routes(static_cast<size_t>(model.outputs()));
    for (int o = 0; o < model.outputs(); ++o) routes[static_cast<size_t>(o)] = model.route(o);
    const int count = levels < 1 ? 1 : levels > kMaxLevels ? kMaxLevels : levels;
    moreLevels_.assign(static_cast<size_t>(count - 1), routes);
}

int SharedRouter::route(int level, int output) const {
    if (level == 1) return model_.route(output);
    if (level < 2 || level > levels() || output < 0 || output >= model_.outputs()) return kNoInput;
    const std::vector<int>& routes = moreLevels_[static_cast<size_t>(level - 2)];
    return static_cast<size_t>(output) < routes.size() ? routes[static_cast<size_t>(output)] : kNoInput;
}

int SharedRouter::subscribe(Listener listener) {
    listeners_.emplace_back(nextToken_, std::move(listener));
    return nextToken_++;
}

void SharedRouter::unsubscribe(int token) {
    for (auto it = listeners_.begin(); it != listeners_.end(); ++it)
        if (it->first == token) {
            listeners_.erase(it);
            return;
        }
}

void SharedRouter::tell(const RouterChange& change, const Origin& origin) {
    // A copy: a listener may subscribe or unsubscribe.
    const auto listeners = listeners_;
    for (const auto& entry : listeners) entry.second(change, origin);
}

static std::string outOfRange(const char* what, int index) {
    return std::string("no ") + what + " " + std::to_string(index);
}

std::string SharedRouter::route(int output, int input, const Origin& origin, int level) {
    if (level < 1 || level > levels()) return outOfRange("level", level);
    if (output < 0 || output >= model_.outputs()) return outOfRange("output", output);
    if (input < 0 || input >= model_.inputs()) return outOfRange("input", input);
    if (level == 1) {
        model_.setRoute(output, input);
    } else {
        std::vector<int>& routes = moreLevels_[static_cast<size_t>(level - 2)];
        if (static_cast<size_t>(output) >= routes.size()) routes.resize(static_cast<size_t>(output) + 1, kNoInput);
        routes[static_cast<size_t>(output)] = input;
    }
    tell(RouterChange{ChangeKind::Route, output, level}, origin);
    return "";
}

std::string SharedRouter::label(ChangeKind kind, int index, std::string_view text, const Origin& origin) {
    const bool input = kind == ChangeKind::InputLabel;
    if (!input && kind != ChangeKind::OutputLabel) return "not a label";
    if (findControlByte(text) != std::string_view::npos) return "a control byte in the label";
    const Applied applied = input ? model_.setInputLabel(index, text) : model_.setOutputLabel(index, text);
    if (applied == Applied::OutOfRange) return outOfRange(input ? "input" : "output", index);
    tell(RouterChange{kind, index}, origin);
    return "";
}

void SharedRouter::setPresence(Presence presence, const Origin& origin) {
    if (model_.setPresence(presence)) tell(RouterChange{ChangeKind::Device, -1}, origin);
}

Lock SharedRouter::lockAs(int client, int output) const {
    const auto it = lockOwners_.find(output);
    if (it == lockOwners_.end()) return Lock::Unlocked;
    return it->second == client ? Lock::Owned : Lock::Locked;
}

void SharedRouter::setOwner(int output, int client) {
    if (client)
        lockOwners_[output] = client;
    else
        lockOwners_.erase(output);
    // The model's own view: locked by someone or not.
    model_.setLock(output, client ? Lock::Locked : Lock::Unlocked);
}

std::string SharedRouter::lock(int output, const Origin& origin) {
    if (output < 0 || output >= model_.outputs()) return outOfRange("output", output);
    if (origin.isConsole()) return "the console takes no locks";
    if (lockAs(origin.client, output) == Lock::Locked)
        return "output " + std::to_string(output) + " is locked by another client";
    setOwner(output, origin.client);
    tell(RouterChange{ChangeKind::Lock, output}, origin);
    return "";
}

std::string SharedRouter::unlock(int output, const Origin& origin, bool force) {
    if (output < 0 || output >= model_.outputs()) return outOfRange("output", output);
    if (!force && lockAs(origin.client, output) == Lock::Locked)
        return "output " + std::to_string(output) + " is locked by another client";
    setOwner(output, 0);
    tell(RouterChange{ChangeKind::Lock, output}, origin);
    return "";
}

void SharedRouter::releaseClient(int client) {
    std::vector<int> freed;
    for (const auto& [output, owner] : lockOwners_)
        if (owner == client) freed.push_back(output);
    for (int output : freed) {
        setOwner(output, 0);
        tell(RouterChange{ChangeKind::Lock, output}, Origin{client});
    }
}
