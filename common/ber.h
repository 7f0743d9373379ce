// The BER reading both SNMP message shapes share: elements with definite
// lengths, checked against the end of what encloses them. No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ber {

constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kNull = 0x05;
constexpr std::uint8_t kOid = 0x06;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kIpAddress = 0x40;
constexpr std::uint8_t kCounter32 = 0x41;
constexpr std::uint8_t kGauge32 = 0x42;
constexpr std::uint8_t kTimeTicks = 0x43;
constexpr std::uint8_t kOpaque = 0x44;
constexpr std::uint8_t kCounter64 = 0x46;
// Elements whose length limits them to what a number or a name needs.
constexpr std::uint32_t kShortLengthLimit = 128;

struct Element {
    std::uint8_t tag;
    std::size_t header;      // tag and length octets
    std::uint32_t length;    // content octets
    const std::uint8_t* content;
    std::size_t size() const { return header + length; }
    const std::uint8_t* begin() const { return content - header; }
};

// The part of a message still to be read: [pos, end) of data.
struct Cursor {
    const std::uint8_t* data;
    std::size_t pos;
    std::size_t end;
    bool at_end() const { return pos >= end; }
};

// Reads the header of the element at the cursor. False when the header or the
// content it announces runs past the cursor's end.
bool read_element(const Cursor& at, Element& e);
bool expect(const Cursor& at, std::uint8_t tag, Element& e);
// expect() with a content shorter than kShortLengthLimit.
bool expect_short(const Cursor& at, std::uint8_t tag, Element& e);
inline void skip(Cursor& at, const Element& e) { at.pos += e.size(); }
// A cursor over the content of a constructed element.
inline Cursor inside(const Cursor& at, const Element& e)
{
    const std::size_t start = at.pos + e.header;
    return Cursor{at.data, start, start + e.length};
}

// INTEGER and the unsigned numbers: Counter32, Gauge32, TimeTicks, Counter64.
bool is_number_tag(std::uint8_t tag);

// True when the number's value needs at most `octets` octets: leading
// octets that only repeat the sign (two's complement) or, unsigned, zeros
// do not count.
bool number_fits(const Element& e, std::size_t octets, bool is_signed);

// Big-endian content as a two's complement number (X.690 8.3): sign-extended,
// longer contents keep their last four octets. Empty gives 0.
std::int32_t signed_value(const Element& e);
// Big-endian content as an unsigned number, longer contents keep the last
// octets that fit.
std::uint32_t unsigned_value(const Element& e);
std::uint64_t unsigned_value64(const Element& e);

// The decimal digits of `value`, most significant first, into out (room for
// 20, no NUL); returns how many.
std::size_t decimal_digits(unsigned long long value, char* out);

// Builds a NUL-terminated text in field[0 .. size) from an empty one,
// cutting what does not fit.
class FieldText {
public:
    FieldText(char* field, std::size_t size);
    void put(char c);
    void put(const char* text);
    void put_decimal(std::uint32_t value);
    // True once something did not fit.
    bool cut() const { return cut_; }

private:
    char* field_;
    std::size_t size_;
    std::size_t used_ = 0;
    bool cut_ = false;
};

// Dotted decimal text of an OBJECT IDENTIFIER's content (X.690 8.19): the
// first sub-identifier gives the first two arcs; an unfinished last
// sub-identifier is dropped. An empty content gives "1.3", the prefix every
// SNMP identifier has. False, the field unspecified, for a sub-identifier
// above 2^32-1 (RFC 2578 3.5); else `cut` tells whether the text was cut.
bool oid_text(char* field, std::size_t size, const std::uint8_t* content, std::size_t length, bool& cut);
// False for an identifier with a sub-identifier above 2^32-1.
bool oid_is_valid(const Element& e);

// Writes BER into a fixed buffer; ok() turns false once something did not fit.
class Writer {
public:
    Writer(std::uint8_t* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

    void bytes(const void* data, std::size_t n);
    void element(const Element& e) { bytes(e.begin(), e.size()); }
    // Tag and definite length (short form, or up to three length octets).
    void header(std::uint8_t tag, std::size_t length);
    void tlv(std::uint8_t tag, const void* data, std::size_t n)
    {
        header(tag, n);
        bytes(data, n);
    }
    // An INTEGER of a non-negative value, in its fewest octets.
    void unsigned_integer(std::uint32_t value);
    bool ok() const { return ok_; }
    std::size_t used() const { return used_; }

private:
    std::uint8_t* out_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

std::size_t header_size(std::size_t length);
inline std::size_t tlv_size(std::size_t length) { return header_size(length) + length; }
// Minimal content of an INTEGER holding a non-negative value: up to five
// octets, a leading zero where the top bit is set.
std::size_t integer_content(std::uint32_t value, std::uint8_t out[5]);

} // namespace ber

// Length of the BER element whose tag octet is element[0], from the octets
// after it: short form, or N long-form octets big-endian; N = 0 or N > 4
// gives 0. `available` is how many octets element points at; length octets
// beyond it count as missing and give 0.
std::uint32_t ber_length(const std::uint8_t* element, std::size_t available);

// Header size (tag and length octets) of the element at element[0]: 2 for the
// short form, 2 + N for the long form.
std::size_t ber_header_size(const std::uint8_t* element, std::size_t available);
