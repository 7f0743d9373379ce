#include "common/display_hint.h"

#include <cstring>

#include "platform/address_text.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Appends to out[0 .. size), keeping room for the NUL; false once full.
class HintText {
public:
    HintText(char* out, std::size_t size) : out_(out), size_(size)
    {
        if (size_ > 0) out_[0] = '\0';
    }

    bool put(char c)
    {
        if (used_ + 1 >= size_) return ok_ = false;
        out_[used_++] = c;
        out_[used_] = '\0';
        return true;
    }
    // `value` in `base`, at least `width` digits.
    void number(std::uint64_t value, unsigned base, std::size_t width)
    {
        char reversed[72];
        std::size_t n = 0;
        do {
            reversed[n++] = "0123456789abcdef"[value % base];
            value /= base;
        } while (value != 0 || n < width);
        while (n > 0) put(reversed[--n]);
    }
    // A separator or terminator: held back, and written only when more follows.
    void hold(char c) { held_ = c; }
    void release()
    {
        if (held_ != '\0') put(held_);
        held_ = '\0';
    }
    std::size_t used() const { return used_; }
    bool ok() const { return ok_ && size_ > 0; }
    bool fail()
    {
        if (size_ > 0) out_[0] = '\0';
        return false;
    }

private:
    char* out_;
    std::size_t size_;
    std::size_t used_ = 0;
    char held_ = '\0';
    bool ok_ = true;
};

// One part of an octet-string hint.
struct OctetPart {
    bool repeat = false;
    std::size_t length = 0;
    char format = 0;
    char separator = 0;
    char terminator = 0;
};

// Reads the part at hint[at]; false when it is malformed.
bool read_part(const char* hint, std::size_t& at, OctetPart& part)
{
    part = OctetPart{};
    if (hint[at] == '*') {
        part.repeat = true;
        ++at;
    }
    if (!is_digit(hint[at])) return false;
    while (is_digit(hint[at])) {
        part.length = part.length * 10 + static_cast<std::size_t>(hint[at++] - '0');
        if (part.length > 65535) return false;
    }
    part.format = hint[at++];
    if (std::strchr("xdoat", part.format) == nullptr || part.format == '\0' || part.length == 0) return false;
    const auto free_char = [](char c) { return c != '\0' && c != '*' && !is_digit(c); };
    if (free_char(hint[at])) part.separator = hint[at++];
    if (part.repeat && part.separator != 0 && free_char(hint[at])) part.terminator = hint[at++];
    return true;
}

// One application of `part` to the octets from `at`; false for an octet 'a' or 't' cannot show.
bool apply_part(const OctetPart& part, const std::uint8_t* octets, std::size_t count, std::size_t& at, HintText& text)
{
    const std::size_t take = count - at < part.length ? count - at : part.length;
    text.release();
    if (part.format == 'a' || part.format == 't') {
        for (std::size_t i = 0; i < take; ++i) {
            const std::uint8_t c = octets[at + i];
            if (c < 0x20 || c > 0x7E) return false;
            text.put(static_cast<char>(c));
        }
    } else {
        if (take > 8) return false;  // no number of more than 64 bits
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < take; ++i) value = value << 8 | octets[at + i];
        const unsigned base = part.format == 'x' ? 16 : part.format == 'o' ? 8 : 10;
        text.number(value, base, part.format == 'x' ? 2 * take : 1);
    }
    at += take;
    if (part.separator != 0) text.hold(part.separator);
    return true;
}

} // namespace

bool format_octets_hint(const char* hint, const std::uint8_t* octets, std::size_t count, char* out, std::size_t size)
{
    HintText text(out, size);
    if (hint == nullptr || hint[0] == '\0') return text.fail();
    std::size_t h = 0, at = 0;
    OctetPart part;
    if (!read_part(hint, h, part)) return text.fail();
    while (at < count) {
        std::size_t times = 1;
        if (part.repeat) times = octets[at++];
        for (std::size_t i = 0; i < times && at < count; ++i) {
            if (!apply_part(part, octets, count, at, text)) return text.fail();
        }
        if (part.terminator != 0) text.hold(part.terminator);
        if (hint[h] != '\0' && !read_part(hint, h, part)) return text.fail();
    }
    // The rest of the hint must be well formed too.
    while (hint[h] != '\0') {
        if (!read_part(hint, h, part)) return text.fail();
    }
    return text.ok() ? true : text.fail();
}

bool format_integer_hint(const char* hint, std::int64_t value, char* out, std::size_t size)
{
    HintText text(out, size);
    if (hint == nullptr) return text.fail();
    const char format = hint[0];
    std::size_t point = 0;
    if (format == 'd' && hint[1] == '-') {
        if (!is_digit(hint[2])) return text.fail();
        for (const char* p = hint + 2; *p != '\0'; ++p) {
            if (!is_digit(*p) || (point = point * 10 + static_cast<std::size_t>(*p - '0')) > 64) return text.fail();
        }
    } else if (std::strchr("dxob", format) == nullptr || format == '\0' || hint[1] != '\0') {
        return text.fail();
    }
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (value < 0) text.put('-');
    const unsigned base = format == 'x' ? 16 : format == 'o' ? 8 : format == 'b' ? 2 : 10;
    if (point == 0) {
        text.number(magnitude, base, 1);
        return text.ok() ? true : text.fail();
    }
    char digits[80];
    HintText all(digits, sizeof digits);
    all.number(magnitude, 10, point + 1);
    const std::size_t whole = all.used() - point;
    for (std::size_t i = 0; i < all.used(); ++i) {
        if (i == whole) text.put('.');
        text.put(digits[i]);
    }
    return text.ok() ? true : text.fail();
}

bool format_inet_address(const std::uint8_t* octets, std::size_t count, char* out, std::size_t size)
{
    if (count == 16) {
        char address[46];
        ipv6_text(octets, address, sizeof address);
        if (std::strlen(address) < size) {
            std::memcpy(out, address, std::strlen(address) + 1);
            return true;
        }
    } else if (count == 4) {
        return format_octets_hint("1d.1d.1d.1d", octets, count, out, size);
    }
    if (size > 0) out[0] = '\0';
    return false;
}
