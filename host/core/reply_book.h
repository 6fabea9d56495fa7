// The replies the host hands a component (to TG, XI and PS) and what became
// of each. A reply stays allocated and known while the component may still
// hold it, so a second hand-back of the same text can be told from a new one.
// Of the replies handed back only the newest kKeptReturned stay; older ones
// are freed, so a session of hours stays bounded (a hand-back of one of those
// again reads as a text the host never gave).
#ifndef VESK_HOST_CORE_REPLY_BOOK_H
#define VESK_HOST_CORE_REPLY_BOOK_H

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ReplyBook {
public:
    static constexpr size_t kKeptReturned = 256;

    // A copy of `text` the component may read; the host owns it. With
    // `handBackDue` the component must hand it back (type 5) before the call
    // from the host ends; without, it must never hand it back.
    char* add(const std::string& command, const std::string& text, bool handBackDue);

    enum class HandBack { Accepted, Null, Unknown, Twice, AfterItsCall, NeverDue };
    // The component hands `text` back; `command` gets the command it answered.
    HandBack handBack(char* text, std::string& command);
    // Replies still due when a call from the host ended: each becomes
    // expired; their commands.
    std::vector<std::string> expireDue();
    size_t size() const { return book_.size(); }

private:
    enum class State { Due, Back, Expired, Kept };
    struct Entry {
        std::string command;
        State state;
        std::unique_ptr<char[]> text;
    };
    std::map<char*, Entry> book_;
    std::deque<char*> returned_;  // oldest first
};

#endif  // VESK_HOST_CORE_REPLY_BOOK_H
