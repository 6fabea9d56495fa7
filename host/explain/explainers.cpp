#include "explain/explainers.h"

#include <cctype>

#include "explain/parvex_explainer.h"

namespace {

class SilentExplainer : public Explainer {
public:
    void reset() override {}
    std::vector<Silence> afterText(const std::string&, const std::vector<HostCommand>&) override { return {}; }
    std::vector<Silence> afterReport(const Report&, const std::vector<HostCommand>&) override { return {}; }
};

// The file name without folder and extension, in lower case.
std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

}  // namespace

std::unique_ptr<Explainer> explainerFor(const std::string& path) {
    if (baseName(path) == "parvex") return std::make_unique<ParvexExplainer>();
    return std::make_unique<SilentExplainer>();
}
