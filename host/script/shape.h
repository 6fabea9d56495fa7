// Shape checks for one statement's words, for the statements' check
// functions: each check sets `problem` (the first one wins) and returns false
// once there is one, so checks chain with &&.
#ifndef VESK_HOST_SCRIPT_SHAPE_H
#define VESK_HOST_SCRIPT_SHAPE_H

#include <optional>
#include <string>

#include "router_model.h"
#include "base/text.h"
#include "script/tokens.h"

class Shape {
public:
    explicit Shape(const Statement& s) : w_(s.words) {}

    std::optional<std::string> problem;

    bool count(size_t min, size_t max, const char* form) {
        if (problem) return false;
        if (w_.size() < min || w_.size() > max) problem = std::string("expected \"") + form + "\"";
        return !problem;
    }
    bool number(size_t i, const char* what, long long min = -2147483648LL) {
        if (problem || i >= w_.size()) return false;
        std::optional<int32_t> n = w_[i].quoted ? std::nullopt : parseInt32(w_[i].text);
        if (!n || *n < min)
            problem = std::string("expected a number from ") + std::to_string(min) + " to 2147483647 for " + what +
                      ", got " + quoteText(w_[i].text);
        return !problem;
    }
    bool word(size_t i, const char* expected, const char* form) {
        if (problem || i >= w_.size()) return false;
        if (w_[i].quoted || w_[i].text != expected) problem = std::string("expected \"") + form + "\"";
        return !problem;
    }
    bool oneOf(size_t i, const char* a, const char* b, const char* form) {
        if (problem || i >= w_.size()) return false;
        if (w_[i].quoted || (w_[i].text != a && w_[i].text != b)) problem = std::string("expected \"") + form + "\"";
        return !problem;
    }
    // The size of a simulated router, after number(): its model holds at
    // most kMaxRouterPorts destinations.
    bool routerSize(size_t i) {
        if (problem || i >= w_.size()) return false;
        if (*parseInt32(w_[i].text) > kMaxRouterPorts)
            problem = "expected a size from 0 to " + std::to_string(kMaxRouterPorts) +
                      " for a simulated router, got " + quoteText(w_[i].text) +
                      " (\"config D size N\" writes any size to dev_D.ini)";
        return !problem;
    }
    bool bare(size_t i, const char* what) {
        return i < w_.size() && !w_[i].quoted && w_[i].text == what;
    }

private:
    const std::vector<Token>& w_;
};


#endif  // VESK_HOST_SCRIPT_SHAPE_H
