#include "output/host_event.h"

#include <type_traits>

namespace {

template <class E, class = void>
struct HasComponent : std::false_type {};
template <class E>
struct HasComponent<E, std::void_t<decltype(std::declval<const E&>().component)>> : std::true_type {};

}  // namespace

const std::string& componentOf(const HostEvent& event) {
    static const std::string none;
    return std::visit(
        [](const auto& e) -> const std::string& {
            if constexpr (HasComponent<std::decay_t<decltype(e)>>::value)
                return e.component;
            else
                return none;
        },
        event);
}
