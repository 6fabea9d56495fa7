#include "service_table.h"

#include "swp08_service.h"
#include "videohub_service.h"

namespace {

std::unique_ptr<RouterService> makeVideohub(const ServiceContext& context) {
    return std::make_unique<VideohubService>(context.router, "vesk-router", context.log);
}

std::unique_ptr<RouterService> makeSwp08(const ServiceContext& context) {
    const RouterOptions& o = context.options;
    return std::make_unique<Swp08Service>(context.io, context.router, Swp08Table{o.swp08Matrix, o.swp08Level, o.levels},
                                          context.log);
}

}  // namespace

const std::vector<ServiceRow>& serviceRows() {
    static const std::vector<ServiceRow> rows{
        {"Videohub", "--listen", "serve Videohub clients here (no port: 9990); port 0 picks a free one", 9990,
         "127.0.0.1:9990", "listening on ", makeVideohub},
        {"SW-P-08", "--swp08", "serve SW-P-08 clients here; port 0 picks a free one", std::nullopt, nullptr,
         "swp08 listening on ", makeSwp08},
    };
    return rows;
}
