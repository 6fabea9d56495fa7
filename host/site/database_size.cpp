#include "site/database_size.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "site/site.h"
#include "base/text.h"

#include "os/os.h"

// The component's path buffer holds 259 characters.
static const size_t kMaxPath = 259;

bool leadingNumber(const std::string& text, int& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long magnitude = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
        magnitude = std::min(limit, magnitude * 10 + (text[i] - '0'));
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return digits > 0;
}

DatabaseSize readDatabaseSize(int device) {
    DatabaseSize out;
    out.file = Site::deviceFileName(device);
    const char* root = std::getenv("QX_ROOT");
    const char* system = std::getenv("QX_SYSTEM");
    if (!root || !system) {
        out.why = std::string(!root ? "QX_ROOT" : "QX_SYSTEM") + " is unset";
        return out;
    }
    const std::string path = std::string(root) + "\\" + system + "\\config\\system\\" + out.file;
    if (path.size() > kMaxPath) {
        out.why = "its path is longer than 259 characters";
        return out;
    }
    const std::string local = openablePath(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(local), ec)) {
        out.why = "the file is missing";
        return out;
    }
    char value[256];
    if (readProfileString("Database", "DatabaseSize_1", value, sizeof value, path) == 0) {
        out.why = "no DatabaseSize_1 in [Database], or an empty value";
        return out;
    }
    if (!leadingNumber(value, out.size)) out.why = "DatabaseSize_1 " + quoteText(value) + " has no leading number";
    return out;
}
