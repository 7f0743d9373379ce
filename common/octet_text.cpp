#include "common/octet_text.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct CodePair {
    std::uint16_t unicode;
    std::uint16_t cp932;
};

const CodePair kCp932Table[] = {
#include "common/cp932_table.inc"
};

// One bit per double-byte code: lead 81-9F then E0-FC, 192 trails (40-FF) each.
const std::uint8_t kCp932Assigned[] = {
#include "common/cp932_assigned.inc"
};

bool is_text_ascii(std::uint8_t b) { return (b >= 0x20 && b <= 0x7E) || b == '\t' || b == '\r' || b == '\n'; }

// An assigned character, the user-defined area left out: binary octets that
// only have the shape of a double-byte character do not pass for text.
bool is_assigned(std::uint8_t lead, std::uint8_t trail)
{
    if (!is_cp932_lead(lead) || trail < 0x40) return false;
    const std::size_t lead_index = lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + 31u;
    const std::size_t index = lead_index * 192 + (trail - 0x40u);
    return (kCp932Assigned[index / 8] >> (index % 8)) & 1u;
}

bool is_katakana(std::uint8_t b) { return b >= 0xA1 && b <= 0xDF; }

// Decodes the UTF-8 character at p[0 .. n): its size, or 0 when the octets
// are no well-formed character (overlong forms and surrogates included).
std::size_t utf8_char(const std::uint8_t* p, std::size_t n, std::uint32_t& cp)
{
    const std::uint8_t b = p[0];
    std::size_t size;
    std::uint32_t lowest;
    if (b < 0x80) {
        cp = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        size = 2, cp = b & 0x1Fu, lowest = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        size = 3, cp = b & 0x0Fu, lowest = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        size = 4, cp = b & 0x07u, lowest = 0x10000;
    } else {
        return 0;
    }
    if (n < size) return 0;
    for (std::size_t i = 1; i < size; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return size;
}

// True when every octet is printable ASCII.
bool is_ascii_text(const std::uint8_t* p, std::size_t n)
{
    return std::all_of(p, p + n, is_text_ascii);
}

enum class Utf8 { No, Text, TextCp932Lacks };

// Whether the octets are UTF-8 text (well-formed, no control characters),
// and if so whether CP932 has every character of it.
Utf8 utf8_text_kind(const std::uint8_t* p, std::size_t n)
{
    Utf8 kind = Utf8::Text;
    for (std::size_t i = 0; i < n;) {
        std::uint32_t cp;
        const std::size_t size = utf8_char(p + i, n - i, cp);
        if (size == 0) return Utf8::No;
        if (size == 1 ? !is_text_ascii(p[i]) : cp < 0xA0) return Utf8::No;
        if (cp932_from_unicode(cp) == 0) kind = Utf8::TextCp932Lacks;
        i += size;
    }
    return kind;
}

// Size of the CP932 character at p[0 .. n), 0 when it is none or a control.
std::size_t cp932_char(const std::uint8_t* p, std::size_t n)
{
    if (is_text_ascii(p[0]) || is_katakana(p[0])) return 1;
    if (n >= 2 && is_assigned(p[0], p[1])) return 2;
    return 0;
}

bool is_cp932_text(const std::uint8_t* p, std::size_t n)
{
    for (std::size_t i = 0; i < n;) {
        const std::size_t size = cp932_char(p + i, n - i);
        if (size == 0) return false;
        i += size;
    }
    return true;
}

bool utf8_to_cp932(char* field, std::size_t size, const std::uint8_t* p, std::size_t n)
{
    std::size_t used = 0;
    for (std::size_t i = 0; i < n;) {
        std::uint32_t cp;
        i += utf8_char(p + i, n - i, cp);  // checked well-formed already
        std::uint16_t code = cp932_from_unicode(cp);
        if (code == 0) code = '?';
        const std::size_t width = code > 0xFF ? 2 : 1;
        if (used + width > size - 1) {
            field[used] = '\0';
            return false;
        }
        if (width == 2) field[used++] = static_cast<char>(code >> 8);
        field[used++] = static_cast<char>(code & 0xFF);
    }
    field[used] = '\0';
    return true;
}

} // namespace

std::uint16_t cp932_from_unicode(std::uint32_t code_point)
{
    if (code_point < 0x80) return static_cast<std::uint16_t>(code_point);
    if (code_point > 0xFFFF) return 0;
    const CodePair* end = kCp932Table + sizeof kCp932Table / sizeof kCp932Table[0];
    const CodePair* found = std::lower_bound(kCp932Table, end, code_point,
                                             [](const CodePair& p, std::uint32_t cp) { return p.unicode < cp; });
    return found != end && found->unicode == code_point ? found->cp932 : 0;
}

bool copy_cp932_cut(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count)
{
    std::size_t used = 0;
    while (used < count) {
        const std::size_t width = is_cp932_lead(octets[used]) && used + 1 < count ? 2 : 1;
        if (used + width > size - 1) break;
        used += width;
    }
    std::memcpy(field, octets, used);
    field[used] = '\0';
    return used == count;
}

bool hex_octets_text(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::size_t used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t width = i == 0 ? 2 : 3;
        if (used + width > size - 1) {
            field[used] = '\0';
            return false;
        }
        if (i != 0) field[used++] = ' ';
        field[used++] = kDigits[octets[i] >> 4];
        field[used++] = kDigits[octets[i] & 0xF];
    }
    field[used] = '\0';
    return true;
}

OctetReading octet_string_reading(const std::uint8_t* octets, std::size_t count)
{
    if (is_ascii_text(octets, count)) return OctetReading::Utf8;
    const Utf8 utf8 = utf8_text_kind(octets, count);
    if (utf8 == Utf8::Text) return OctetReading::Utf8;
    if (is_cp932_text(octets, count)) return OctetReading::Cp932;
    return utf8 == Utf8::TextCp932Lacks ? OctetReading::Utf8 : OctetReading::Hex;
}

bool octet_string_text(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count)
{
    if (is_ascii_text(octets, count)) return copy_cp932_cut(field, size, octets, count);
    switch (octet_string_reading(octets, count)) {
    case OctetReading::Utf8: return utf8_to_cp932(field, size, octets, count);
    case OctetReading::Cp932: return copy_cp932_cut(field, size, octets, count);
    default: return hex_octets_text(field, size, octets, count);
    }
}

namespace {

constexpr std::size_t kCp932Pairs = sizeof kCp932Table / sizeof kCp932Table[0];
static_assert(kCp932Pairs <= 0xFFFF, "an index fits 16 bits");

// The table's pairs in CP932 order, where two characters share a code the
// larger Unicode value (the full-width form Windows gives) first. Made once.
const std::uint16_t* pairs_by_cp932()
{
    static const struct Order {
        std::uint16_t index[kCp932Pairs];
        Order()
        {
            for (std::size_t i = 0; i < kCp932Pairs; ++i) index[i] = static_cast<std::uint16_t>(i);
            std::sort(index, index + kCp932Pairs, [](std::uint16_t a, std::uint16_t b) {
                const CodePair& x = kCp932Table[a];
                const CodePair& y = kCp932Table[b];
                return x.cp932 != y.cp932 ? x.cp932 < y.cp932 : x.unicode > y.unicode;
            });
        }
    } order;
    return order.index;
}

} // namespace

std::size_t utf8_octets(std::uint32_t cp, char out[4])
{
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | cp >> 6);
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | cp >> 12);
    out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;  // the table holds the Basic Multilingual Plane only
}

std::uint32_t cp932_char_at(const std::uint8_t* p, std::size_t n, std::size_t& width)
{
    const std::uint8_t trail = n > 1 ? p[1] : 0;
    const bool pair = is_cp932_lead(p[0]) && trail >= 0x40 && trail <= 0xFC && trail != 0x7F;
    width = pair ? 2 : 1;
    const std::uint32_t cp = unicode_from_cp932(static_cast<std::uint16_t>(pair ? p[0] << 8 | trail : p[0]));
    return cp == 0 && p[0] != 0 ? 0xFFFD : cp;
}

std::uint32_t unicode_from_cp932(std::uint16_t code)
{
    if (code < 0x80) return code;
    const std::uint16_t* order = pairs_by_cp932();
    const std::uint16_t* found = std::lower_bound(order, order + kCp932Pairs, code,
                                                  [](std::uint16_t i, std::uint16_t c) { return kCp932Table[i].cp932 < c; });
    return found != order + kCp932Pairs && kCp932Table[*found].cp932 == code ? kCp932Table[*found].unicode : 0;
}

std::size_t cp932_to_utf8(char* out, std::size_t size, const char* text, std::size_t n, bool escape)
{
    if (size == 0) return 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < n;) {
        std::size_t taken = 0;
        const std::uint32_t cp = cp932_char_at(reinterpret_cast<const std::uint8_t*>(text) + i, n - i, taken);
        char octets[5];
        const bool escaped = escape && (cp == '"' || cp == '\\' || cp == ']');
        if (escaped) octets[0] = '\\';
        const std::size_t width = escaped + utf8_octets(cp, octets + escaped);
        if (used + width > size - 1) break;
        std::memcpy(out + used, octets, width);
        used += width;
        i += taken;
    }
    out[used] = '\0';
    return used;
}
