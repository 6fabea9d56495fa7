#include "core/reply_book.h"

#include <cstring>

char* ReplyBook::add(const std::string& command, const std::string& text, bool handBackDue) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    char* p = copy.get();
    book_[p] = Entry{command, handBackDue ? State::Due : State::Kept, std::move(copy)};
    return p;
}

ReplyBook::HandBack ReplyBook::handBack(char* text, std::string& command) {
    if (!text) return HandBack::Null;
    auto it = book_.find(text);
    if (it == book_.end()) return HandBack::Unknown;
    Entry& entry = it->second;
    command = entry.command;
    switch (entry.state) {
        case State::Due:
            entry.state = State::Back;
            returned_.push_back(text);
            if (returned_.size() > kKeptReturned) {
                book_.erase(returned_.front());
                returned_.pop_front();
            }
            return HandBack::Accepted;
        case State::Back: return HandBack::Twice;
        case State::Expired: return HandBack::AfterItsCall;
        case State::Kept: return HandBack::NeverDue;
    }
    return HandBack::Unknown;
}

std::vector<std::string> ReplyBook::expireDue() {
    std::vector<std::string> commands;
    for (auto& entry : book_) {
        if (entry.second.state != State::Due) continue;
        entry.second.state = State::Expired;
        commands.push_back(entry.second.command);
    }
    return commands;
}
