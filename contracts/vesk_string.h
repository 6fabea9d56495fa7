// The string library: an owned 8-bit text, an ordered list of texts and a
// position in such a list, all with value semantics.
//
// Memory comes from the module's own allocator (vesk_mem_alloc). Texts of up
// to vesk_string::kInlineCapacity characters, and lists of up to
// vesk_stringlist::kInlineItems texts, live inside the object and never touch
// the heap, so ordinary commands and settings cost no allocation.
//
// Nothing here throws or aborts. When memory cannot be obtained, the operation
// that needed it leaves its result empty and marks it failed (ok() turns
// false); a failed text stays failed through +=, copies and +, until it is
// assigned a good value. Callers that send or store text check ok() so that a
// half-built text never leaves the module.
//
// Decisions where the contract leaves a choice:
//   - A null text pointer reads as the empty text everywhere.
//   - operator== is case-sensitive, byte for byte.
//   - toInt skips leading blanks (space, \t, \n, \v, \f, \r), takes an optional
//     sign and the decimal digits up to the first other character; no digits
//     give 0; values beyond the signed 32-bit range saturate at its limits.
//   - split without the separator gives the whole text and an empty second
//     part; with several, it splits at the first.
//   - A list made from an empty text is empty; "a," gives "a" and "".
//   - arg fills every occurrence of the lowest marker %1..%9 present in the
//     text; a marker is '%' followed by one digit 1..9 ("%10" is %1 then 0).
//     Markers inside an inserted value are ordinary text for this call but are
//     seen by the next one.
#ifndef VESK_STRING_H
#define VESK_STRING_H

#include <stddef.h>

class vesk_string {
public:
    // Characters a text can hold without a heap allocation: enough for a TP
    // command carrying the longest text a router report can hold (255).
    enum { kInlineCapacity = 287 };

    // Empty text.
    vesk_string();
    // Copy of the zero-terminated `text`; null gives the empty text.
    vesk_string(const char* text);
    vesk_string(const vesk_string& other);
    // Text of `value` in `base` (2..36; any other base is taken as 10), padded
    // to at least |width| characters with `fill` (code 0 pads with blanks): on
    // the left for a positive width, on the right for a negative one. Widths
    // beyond kInlineCapacity pad to kInlineCapacity. With
    // fill 0, width 0 and base 10 this is the plain decimal text ("4", "-12").
    vesk_string(int value, char fill, int width, int base);
    virtual ~vesk_string();

    // Replace by a copy. Self-assignment and assignment from a pointer into
    // this text are safe.
    vesk_string& operator=(const vesk_string& other);
    vesk_string& operator=(const char* text);
    // Append a copy of `other` (which may be *this).
    vesk_string& operator+=(const vesk_string& other);
    vesk_string& operator+=(const char* text);
    // Appends the `count` bytes at `text` (which may point into this text).
    void append(const char* text, size_t count);

    // Characters before the terminating zero.
    unsigned length() const { return length_; }
    // The zero-terminated text; never null; valid while this object lives
    // unchanged.
    operator const char*() const { return data_; }
    const char* c_str() const { return data_; }

    // False once an allocation for this value failed (the text is then empty).
    bool ok() const { return ok_; }

    // Decimal value of the text (rules in the header comment).
    int toInt() const;

    // Copy of this text with the lowest marker %1..%9 present replaced by
    // `value`; this text unchanged when no marker is left.
    vesk_string arg(const vesk_string& value) const;

    // Splits at the first `separator`: `first` gets the text before it,
    // `second` the text after it. Without the separator, `first` gets the whole
    // text and `second` is emptied. Returns the separator's position, or -1
    // when there is none. `first` and `second` may alias this text.
    int split(char separator, vesk_string& first, vesk_string& second) const;

private:
    friend class vesk_stringlist;

    // Sets the text to the `count` bytes at `text` (which may point into this
    // text). Marks the text failed when memory runs out.
    void assign(const char* text, size_t count, bool ok);
    // Makes room for `capacity` characters, keeping the current text.
    bool reserve(size_t capacity);
    void fail();

    char* data_;          // inline_ or a heap block; never null
    unsigned length_;
    unsigned capacity_;   // characters that fit, terminating zero not counted
    bool ok_;
    char inline_[kInlineCapacity + 1];
};

// New text: left, then right. Failed when either side is failed or memory
// runs out. A null text pointer reads as empty.
vesk_string operator+(const vesk_string& left, const char* right);
vesk_string operator+(const char* left, const vesk_string& right);
vesk_string operator+(const vesk_string& left, const vesk_string& right);

// The toInt rules applied to zero-terminated `text` (null gives 0), for callers
// that must not allocate.
int vesk_text_to_int(const char* text);

// True when the texts are byte for byte equal (null reads as empty).
bool operator==(const vesk_string& left, const char* right);
bool operator!=(const vesk_string& left, const char* right);

// A position in a vesk_stringlist: one element or the end. A plain value that
// stays valid while the list it came from is not changed.
class vesk_stringlistIterator {
public:
    explicit vesk_stringlistIterator(vesk_string* position = nullptr) : position_(position) {}

    vesk_string& operator*() const { return *position_; }
    // Moves to the next element and returns a copy of the new position.
    vesk_stringlistIterator operator++() {
        ++position_;
        return *this;
    }
    bool operator!=(const vesk_stringlistIterator& other) const { return position_ != other.position_; }
    bool operator==(const vesk_stringlistIterator& other) const { return position_ == other.position_; }

private:
    vesk_string* position_;
};

// An ordered list of texts, with value semantics.
class vesk_stringlist {
public:
    // Elements held without a heap allocation.
    enum { kInlineItems = 2 };

    vesk_stringlist();
    // The pieces of `text` between `separator`s, in order. An empty text gives
    // an empty list; "a,,b" gives "a", "" and "b".
    vesk_stringlist(const vesk_string& text, char separator);
    vesk_stringlist(const vesk_stringlist& other);
    virtual ~vesk_stringlist();
    vesk_stringlist& operator=(const vesk_stringlist& other);

    // Appends a copy of `item` at the end.
    vesk_stringlist& operator<<(const vesk_string& item);

    // Elements in order with `separator` between neighbours.
    vesk_string toString(char separator);

    vesk_stringlistIterator begin() { return vesk_stringlistIterator(items_); }
    vesk_stringlistIterator end() { return vesk_stringlistIterator(items_ + count_); }

    unsigned count() const { return count_; }
    const vesk_string& at(unsigned index) const { return items_[index]; }
    // False once an element could not be stored for lack of memory.
    bool ok() const { return ok_; }

private:
    bool reserve(unsigned capacity);
    void clear();
    void appendPiece(const char* text, size_t count);

    vesk_string* items_;   // constructed elements [0, count_) in inline_ or a heap block
    unsigned count_;
    unsigned capacity_;
    bool ok_;
    alignas(vesk_string) unsigned char inline_[kInlineItems * sizeof(vesk_string)];
};

#endif  // VESK_STRING_H
