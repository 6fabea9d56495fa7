#include "base/router_link.h"

const char* linkStateName(RouterLink::State state) {
    switch (state) {
        case RouterLink::State::Connecting: return "connecting";
        case RouterLink::State::Connected: return "connected";
        case RouterLink::State::Lost: return "lost";
        case RouterLink::State::Refused: return "refused";
    }
    return "connecting";
}
