#include "common/ber.h"

#include <cstring>

namespace ber {

bool read_element(const Cursor& at, Element& e)
{
    if (at.pos >= at.end || at.end - at.pos < 2) return false;
    const std::size_t left = at.end - at.pos;
    const std::uint8_t* p = at.data + at.pos;
    e.tag = p[0];
    e.header = ber_header_size(p, left);
    if (e.header > left) return false;
    e.length = ber_length(p, left);
    if (e.length > left - e.header) return false;
    e.content = p + e.header;
    return true;
}

bool expect(const Cursor& at, std::uint8_t tag, Element& e) { return read_element(at, e) && e.tag == tag; }

bool expect_short(const Cursor& at, std::uint8_t tag, Element& e)
{
    return expect(at, tag, e) && e.length < kShortLengthLimit;
}

bool is_number_tag(std::uint8_t tag)
{
    return tag == kInteger || tag == kCounter32 || tag == kGauge32 || tag == kTimeTicks || tag == kCounter64;
}

bool number_fits(const Element& e, std::size_t octets, bool is_signed)
{
    std::size_t first = 0;  // the first octet that counts
    while (e.length - first > octets) {
        const std::uint8_t top = e.content[first];
        const bool next_high = (e.content[first + 1] & 0x80u) != 0;
        const bool repeats = top == 0x00 ? !(is_signed && next_high) : is_signed && top == 0xFF && next_high;
        if (!repeats) return false;
        ++first;
    }
    return true;
}

std::uint32_t unsigned_value(const Element& e)
{
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < e.length; ++i) value = (value << 8) | e.content[i];
    return value;
}

std::uint64_t unsigned_value64(const Element& e)
{
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < e.length; ++i) value = (value << 8) | e.content[i];
    return value;
}

std::int32_t signed_value(const Element& e)
{
    std::uint32_t bits = unsigned_value(e);
    if (e.length > 0 && e.length < 4 && (e.content[0] & 0x80u)) bits |= ~0u << (8 * e.length);
    std::int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

FieldText::FieldText(char* field, std::size_t size) : field_(field), size_(size)
{
    if (size_ > 0) field_[0] = '\0';
}

void FieldText::put(char c)
{
    if (used_ + 1 >= size_) {
        cut_ = true;
        return;
    }
    field_[used_++] = c;
    field_[used_] = '\0';
}

void FieldText::put(const char* text)
{
    while (*text != '\0') put(*text++);
}

std::size_t decimal_digits(unsigned long long value, char* out)
{
    char reversed[20];
    std::size_t n = 0;
    do {
        reversed[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (std::size_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
    return n;
}

void FieldText::put_decimal(std::uint32_t value)
{
    char digits[20];
    const std::size_t n = decimal_digits(value, digits);
    for (std::size_t i = 0; i < n; ++i) put(digits[i]);
}

bool oid_text(char* field, std::size_t size, const std::uint8_t* content, std::size_t length, bool& cut)
{
    FieldText text(field, size);
    std::uint32_t sub = 0;
    bool first = true;
    for (std::size_t i = 0; i < length; ++i) {
        if (sub > 0xFFFFFFFFu >> 7) return false;  // a sub-identifier of 2^32 or more
        sub = (sub << 7) | (content[i] & 0x7Fu);
        if (content[i] & 0x80u) continue;
        if (first) {
            const std::uint32_t arc1 = sub < 40 ? 0 : sub < 80 ? 1 : 2;
            text.put_decimal(arc1);
            text.put('.');
            text.put_decimal(sub - 40 * arc1);
            first = false;
        } else {
            text.put('.');
            text.put_decimal(sub);
        }
        sub = 0;
    }
    if (first) text.put("1.3");
    cut = text.cut();
    return true;
}

bool oid_is_valid(const Element& e)
{
    char none[1];
    bool cut;
    return oid_text(none, sizeof none, e.content, e.length, cut);
}

void Writer::bytes(const void* data, std::size_t n)
{
    if (!ok_ || n > capacity_ - used_) {
        ok_ = false;
        return;
    }
    if (n > 0) std::memcpy(out_ + used_, data, n);
    used_ += n;
}

void Writer::header(std::uint8_t tag, std::size_t length)
{
    std::uint8_t h[6] = {tag};
    std::size_t n = 1;
    if (length < 0x80) {
        h[n++] = static_cast<std::uint8_t>(length);
    } else {
        const std::size_t octets = length < 0x100 ? 1 : length < 0x10000 ? 2 : 3;
        h[n++] = static_cast<std::uint8_t>(0x80 | octets);
        for (std::size_t i = octets; i-- > 0;) h[n++] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    bytes(h, n);
}

void Writer::unsigned_integer(std::uint32_t value)
{
    std::uint8_t content[5];
    tlv(kInteger, content, integer_content(value, content));
}

std::size_t header_size(std::size_t length) { return length < 0x80 ? 2 : length < 0x100 ? 3 : length < 0x10000 ? 4 : 5; }

std::size_t integer_content(std::uint32_t value, std::uint8_t out[5])
{
    std::size_t n = 1;
    while (n < 5 && (value >> (8 * n - 1)) != 0) ++n;
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i + 4 < n ? 0 : value >> (8 * (n - 1 - i)));
    return n;
}

} // namespace ber

std::size_t ber_header_size(const std::uint8_t* element, std::size_t available)
{
    if (available < 2 || element[1] < 0x80) return 2;
    return 2 + (element[1] & 0x7Fu);
}

std::uint32_t ber_length(const std::uint8_t* element, std::size_t available)
{
    if (available < 2) return 0;
    const std::uint8_t first = element[1];
    if (first < 0x80) return first;
    const std::size_t n = first & 0x7Fu;
    if (n == 0 || n > 4 || 2 + n > available) return 0;
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < n; ++i) length = (length << 8) | element[2 + i];
    return length;
}
