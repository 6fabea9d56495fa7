// String library: see vesk_string.h for every contract.
#include "vesk_string.h"

#include "vesk_new.h"
#include "vesk_platform.h"

static size_t text_length(const char* text) { return text ? vesk_strlen(text) : 0; }

static bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// ---- vesk_string ----

vesk_string::vesk_string() : data_(inline_), length_(0), capacity_(kInlineCapacity), ok_(true) {
    inline_[0] = '\0';
}

vesk_string::vesk_string(const char* text) : vesk_string() { assign(text, text_length(text), true); }

vesk_string::vesk_string(const vesk_string& other) : vesk_string() {
    assign(other.data_, other.length_, other.ok_);
}

vesk_string::vesk_string(int value, char fill, int width, int base) : vesk_string() {
    if (base < 2 || base > 36) base = 10;
    // Work in unsigned so that the most negative value converts too.
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[40];
    int count = 0;
    do {
        unsigned digit = magnitude % static_cast<unsigned>(base);
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= static_cast<unsigned>(base);
    } while (magnitude != 0);
    if (value < 0) digits[count++] = '-';
    char text[40];
    for (int i = 0; i < count; ++i) text[i] = digits[count - 1 - i];

    const char pad = fill ? fill : ' ';
    // Padding beyond the inline room is clamped, so that a hostile width cannot
    // ask for gigabytes. The magnitude is taken in unsigned: -INT_MIN overflows.
    unsigned want = width < 0 ? 0u - static_cast<unsigned>(width) : static_cast<unsigned>(width);
    if (want > kInlineCapacity) want = kInlineCapacity;
    unsigned padding = want > static_cast<unsigned>(count) ? want - static_cast<unsigned>(count) : 0;
    if (width < 0) append(text, static_cast<size_t>(count));
    for (unsigned i = 0; i < padding; ++i) append(&pad, 1);
    if (width >= 0) append(text, static_cast<size_t>(count));
}

vesk_string::~vesk_string() {
    if (data_ != inline_) vesk_mem_free(data_);
}

vesk_string& vesk_string::operator=(const vesk_string& other) {
    if (this != &other) assign(other.data_, other.length_, other.ok_);
    return *this;
}

vesk_string& vesk_string::operator=(const char* text) {
    assign(text, text_length(text), true);
    return *this;
}

vesk_string& vesk_string::operator+=(const vesk_string& other) {
    if (!other.ok_) {
        fail();
        return *this;
    }
    append(other.data_, other.length_);
    return *this;
}

vesk_string& vesk_string::operator+=(const char* text) {
    append(text, text_length(text));
    return *this;
}

void vesk_string::fail() {
    if (data_ != inline_) vesk_mem_free(data_);
    data_ = inline_;
    capacity_ = kInlineCapacity;
    length_ = 0;
    inline_[0] = '\0';
    ok_ = false;
}

bool vesk_string::reserve(size_t capacity) {
    if (capacity <= capacity_) return true;
    // Texts cross the boundary as 32-bit lengths; refuse anything larger.
    if (capacity >= 0x7fffffffu) return false;
    size_t grown = static_cast<size_t>(capacity_) * 2;
    if (grown < capacity || grown >= 0x7fffffffu) grown = capacity;
    char* block = static_cast<char*>(vesk_mem_alloc(grown + 1));
    if (!block) return false;
    vesk_memcpy(block, data_, static_cast<size_t>(length_) + 1);
    if (data_ != inline_) vesk_mem_free(data_);
    data_ = block;
    capacity_ = static_cast<unsigned>(grown);
    return true;
}

void vesk_string::assign(const char* text, size_t count, bool ok) {
    if (!ok) {
        fail();
        return;
    }
    if (count > capacity_) {
        // `text` may point into our own block: copy into a fresh one first.
        if (count >= 0x7fffffffu) {
            fail();
            return;
        }
        char* block = static_cast<char*>(vesk_mem_alloc(count + 1));
        if (!block) {
            fail();
            return;
        }
        vesk_memcpy(block, text, count);
        block[count] = '\0';
        if (data_ != inline_) vesk_mem_free(data_);
        data_ = block;
        capacity_ = static_cast<unsigned>(count);
    } else {
        if (count) vesk_memmove(data_, text, count);
        data_[count] = '\0';
    }
    length_ = static_cast<unsigned>(count);
    ok_ = true;
}

void vesk_string::append(const char* text, size_t count) {
    if (!ok_ || count == 0) return;
    size_t total = static_cast<size_t>(length_) + count;
    if (total > capacity_) {
        // Remember where `text` sits if it lies inside our own block, since
        // growing moves the block.
        const char* old = data_;
        bool inside = text >= old && text <= old + length_;
        size_t offset = inside ? static_cast<size_t>(text - old) : 0;
        if (total < count || !reserve(total)) {
            fail();
            return;
        }
        if (inside) text = data_ + offset;
    }
    vesk_memmove(data_ + length_, text, count);
    length_ = static_cast<unsigned>(total);
    data_[length_] = '\0';
}

int vesk_string::toInt() const { return vesk_text_to_int(data_); }

int vesk_text_to_int(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (is_blank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Stay in 32 bits (the Windows build has no 64-bit helpers) and stop
    // growing at the limit.
    const unsigned limit = negative ? 2147483648u : 2147483647u;
    unsigned magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (negative) return magnitude == 2147483648u ? -2147483647 - 1 : -static_cast<int>(magnitude);
    return static_cast<int>(magnitude);
}

vesk_string vesk_string::arg(const vesk_string& value) const {
    char lowest = 0;
    for (unsigned i = 0; i + 1 < length_; ++i) {
        char digit = data_[i + 1];
        if (data_[i] == '%' && digit >= '1' && digit <= '9' && (lowest == 0 || digit < lowest)) lowest = digit;
    }
    if (lowest == 0) return *this;

    vesk_string result;
    if (!ok_ || !value.ok_) {
        result.fail();
        return result;
    }
    unsigned start = 0;
    for (unsigned i = 0; i + 1 < length_; ++i) {
        if (data_[i] == '%' && data_[i + 1] == lowest) {
            result.append(data_ + start, i - start);
            result.append(value.data_, value.length_);
            start = i + 2;
            ++i;
        }
    }
    result.append(data_ + start, length_ - start);
    return result;
}

int vesk_string::split(char separator, vesk_string& first, vesk_string& second) const {
    int position = -1;
    for (unsigned i = 0; i < length_; ++i) {
        if (data_[i] == separator) {
            position = static_cast<int>(i);
            break;
        }
    }
    if (position < 0) {
        first = *this;
        second = "";
        return -1;
    }
    // Take copies first: either out-string may be this very text.
    vesk_string before;
    before.assign(data_, static_cast<size_t>(position), ok_);
    vesk_string after;
    after.assign(data_ + position + 1, length_ - static_cast<unsigned>(position) - 1, ok_);
    first = before;
    second = after;
    return position;
}

vesk_string operator+(const vesk_string& left, const char* right) {
    vesk_string result(left);
    result += right;
    return result;
}

vesk_string operator+(const char* left, const vesk_string& right) {
    vesk_string result(left);
    result += right;
    return result;
}

vesk_string operator+(const vesk_string& left, const vesk_string& right) {
    vesk_string result(left);
    result += right;
    return result;
}

bool operator==(const vesk_string& left, const char* right) {
    size_t length = text_length(right);
    return length == left.length() && vesk_memcmp(left.c_str(), right ? right : "", length) == 0;
}

bool operator!=(const vesk_string& left, const char* right) { return !(left == right); }

// ---- vesk_stringlist ----

vesk_stringlist::vesk_stringlist()
    : items_(reinterpret_cast<vesk_string*>(inline_)), count_(0), capacity_(kInlineItems), ok_(true) {}

vesk_stringlist::vesk_stringlist(const vesk_string& text, char separator) : vesk_stringlist() {
    if (!text.ok()) {
        ok_ = false;
        return;
    }
    const char* data = text.c_str();
    unsigned length = text.length();
    if (length == 0) return;
    unsigned start = 0;
    for (unsigned i = 0; i <= length; ++i) {
        if (i == length || data[i] == separator) {
            appendPiece(data + start, i - start);
            start = i + 1;
        }
    }
}

vesk_stringlist::vesk_stringlist(const vesk_stringlist& other) : vesk_stringlist() { *this = other; }

vesk_stringlist::~vesk_stringlist() {
    clear();
    if (items_ != reinterpret_cast<vesk_string*>(inline_)) vesk_mem_free(items_);
}

vesk_stringlist& vesk_stringlist::operator=(const vesk_stringlist& other) {
    if (this == &other) return *this;
    clear();
    ok_ = other.ok_;
    if (!reserve(other.count_)) {
        ok_ = false;
        return *this;
    }
    for (unsigned i = 0; i < other.count_; ++i) new (&items_[count_++]) vesk_string(other.items_[i]);
    return *this;
}

void vesk_stringlist::clear() {
    for (unsigned i = 0; i < count_; ++i) items_[i].~vesk_string();
    count_ = 0;
}

bool vesk_stringlist::reserve(unsigned capacity) {
    if (capacity <= capacity_) return true;
    unsigned grown = capacity_ * 2 > capacity ? capacity_ * 2 : capacity;
    if (grown > 0x7fffffffu / sizeof(vesk_string)) return false;
    vesk_string* block = static_cast<vesk_string*>(vesk_mem_alloc(grown * sizeof(vesk_string)));
    if (!block) return false;
    // Move by copy-and-destroy; vesk_string holds a pointer to its own inline
    // storage, so raw byte moves would leave it dangling.
    for (unsigned i = 0; i < count_; ++i) {
        new (&block[i]) vesk_string(items_[i]);
        items_[i].~vesk_string();
    }
    if (items_ != reinterpret_cast<vesk_string*>(inline_)) vesk_mem_free(items_);
    items_ = block;
    capacity_ = grown;
    return true;
}

void vesk_stringlist::appendPiece(const char* text, size_t count) {
    if (!reserve(count_ + 1)) {
        ok_ = false;
        return;
    }
    vesk_string* item = new (&items_[count_++]) vesk_string();
    item->assign(text, count, true);
    if (!item->ok()) ok_ = false;
}

vesk_stringlist& vesk_stringlist::operator<<(const vesk_string& item) {
    if (count_ == capacity_ && &item >= items_ && &item < items_ + count_) {
        // Growing destroys the old elements, `item` among them: append a copy.
        const vesk_string copy(item);
        return *this << copy;
    }
    if (!reserve(count_ + 1)) {
        ok_ = false;
        return *this;
    }
    new (&items_[count_++]) vesk_string(item);
    if (!item.ok()) ok_ = false;
    return *this;
}

vesk_string vesk_stringlist::toString(char separator) {
    vesk_string result;
    if (!ok_) {
        result.fail();
        return result;
    }
    for (unsigned i = 0; i < count_; ++i) {
        if (i > 0) result.append(&separator, 1);
        result += items_[i];
    }
    return result;
}
