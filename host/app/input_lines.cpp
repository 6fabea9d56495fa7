#include "app/input_lines.h"

static void dropReturn(std::string& line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

bool InputLines::takeMore() {
    const size_t before = buffer_.size();
    bool ended = false;
    std::string error;
    reader_.take(buffer_, ended, error);
    if (ended) {
        ended_ = true;
        error_ = error;
    }
    return ended || buffer_.size() > before;
}

InputLines::Next InputLines::next(std::string& line) {
    while (true) {
        const size_t end = buffer_.find('\n', scanned_);
        if (end != std::string::npos && skipping_) {  // the end of a line already reported
            buffer_.erase(0, end + 1);
            scanned_ = 0;
            skipping_ = false;
            continue;
        }
        if (end != std::string::npos) {
            const bool overlong = end > limit_ + 1;
            line.assign(buffer_, 0, overlong ? limit_ + 1 : end);
            buffer_.erase(0, end + 1);
            scanned_ = 0;
            if (!overlong) dropReturn(line);
            return overlong ? Next::overlong : Next::line;
        }
        if (skipping_) buffer_.clear();
        if (buffer_.size() > limit_ + 1) {  // overlong, its end still to come
            line.assign(buffer_, 0, limit_ + 1);
            buffer_.clear();
            scanned_ = 0;
            skipping_ = true;
            return Next::overlong;
        }
        scanned_ = buffer_.size();
        if (ended_ && !buffer_.empty()) {  // a last line without its "\n"
            line.swap(buffer_);
            buffer_.clear();
            scanned_ = 0;
            dropReturn(line);
            return Next::line;
        }
        if (ended_) return error_.empty() ? Next::ended : Next::failed;
        if (!takeMore()) return Next::none;
    }
}
