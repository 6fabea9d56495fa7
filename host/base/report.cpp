#include "base/report.h"

std::string rangesText(const std::vector<Registration>& ranges) {
    std::string out;
    for (const Registration& r : ranges)
        out += (out.empty() ? "" : " ") + std::to_string(r.first) + "-" + std::to_string(r.last);
    return out;
}
