#include "common/trap_record.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr std::uint8_t kTagInteger = 0x02;
constexpr std::uint8_t kTagOctetString = 0x04;
constexpr std::uint8_t kTagOid = 0x06;
constexpr std::uint8_t kTagSequence = 0x30;
constexpr std::uint8_t kTagIpAddress = 0x40;
constexpr std::uint8_t kTagTimeTicks = 0x43;
constexpr std::uint32_t kShortLengthLimit = 128;

struct Element {
    std::uint8_t tag;
    std::size_t header;      // tag and length octets
    std::uint32_t length;    // content octets
    const std::uint8_t* content;
};

// The part of the message still to be read: [pos, end) of data.
struct Cursor {
    const std::uint8_t* data;
    std::size_t pos;
    std::size_t end;
};

// Reads the header of the element at the cursor. False when the header or the
// content it announces runs past the end of the message.
bool read_element(const Cursor& at, Element& e)
{
    const std::size_t left = at.end - at.pos;
    if (left < 2) return false;
    const std::uint8_t* p = at.data + at.pos;
    e.tag = p[0];
    e.header = ber_header_size(p, left);
    if (e.header > left) return false;
    e.length = ber_length(p, left);
    if (e.length > left - e.header) return false;
    e.content = p + e.header;
    return true;
}

bool expect(const Cursor& at, std::uint8_t tag, Element& e)
{
    return read_element(at, e) && e.tag == tag;
}

bool expect_short(const Cursor& at, std::uint8_t tag, Element& e)
{
    return expect(at, tag, e) && e.length < kShortLengthLimit;
}

void skip(Cursor& at, const Element& e) { at.pos += e.header + e.length; }

// Steps into the constructed element at the cursor (past its header only,
// whatever length it claims): false when the header itself does not fit.
bool enter(Cursor& at)
{
    const std::size_t left = at.end - at.pos;
    if (left < 2) return false;
    const std::size_t header = ber_header_size(at.data + at.pos, left);
    if (header > left) return false;
    at.pos += header;
    return true;
}

// Big-endian accumulation into 32 bits without sign extension: longer
// contents keep their last four octets. Unsigned, so that any arithmetic on
// it wraps instead of overflowing.
std::uint32_t integer_bits(const Element& e)
{
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < e.length; ++i) value = value * 256u + e.content[i];
    return value;
}

// The 32-bit pattern as a signed int, modulo 2^32.
std::int32_t as_int32(std::uint32_t bits)
{
    std::int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::int32_t integer_value(const Element& e) { return as_int32(integer_bits(e)); }

// Appends printf output to a fixed text field, cutting it to fit.
void append_text(char* field, std::size_t size, const char* text)
{
    const std::size_t used = std::strlen(field);
    if (used + 1 >= size) return;
    std::snprintf(field + used, size - used, "%s", text);
}

// Copies the content octets as they are, cut to the field, NUL-terminated.
void copy_octets(char* field, std::size_t size, const Element& e)
{
    const std::size_t n = e.length < size - 1 ? e.length : size - 1;
    std::memcpy(field, e.content, n);
    field[n] = '\0';
}

// "1.3" for the first octet, then one ".%u" per base-128 sub-identifier. A
// last sub-identifier whose final octet still has the high bit set is dropped.
void oid_text(char* field, std::size_t size, const Element& e)
{
    field[0] = '\0';
    append_text(field, size, "1.3");
    std::uint32_t sub = 0;
    char number[16];
    for (std::uint32_t i = 1; i < e.length; ++i) {
        const std::uint8_t octet = e.content[i];
        sub = sub * 128u + (octet & 0x7Fu);
        if (octet & 0x80u) continue;
        std::snprintf(number, sizeof number, ".%u", static_cast<unsigned>(sub));
        append_text(field, size, number);
        sub = 0;
    }
}

void ip_text(char* field, std::size_t size, const Element& e)
{
    field[0] = '\0';
    char number[8];
    for (std::uint32_t i = 0; i < e.length; ++i) {
        std::snprintf(number, sizeof number, i == 0 ? "%d" : ".%d", e.content[i]);
        append_text(field, size, number);
    }
}

void format_recv_time(char* field, std::size_t size, std::uint32_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return;
    std::strftime(field, size, "%Y/%m/%d %H:%M:%S", &local);
}

// Version, community, PDU tag and the fixed Trap-PDU fields, in order.
bool decode_header(TrapRecord& out, Cursor& at)
{
    Element e;
    if (!expect_short(at, kTagInteger, e)) return false;
    out.version = as_int32(integer_bits(e) + 1u);  // 7F FF FF FF wraps to the lowest int
    skip(at, e);

    if (!expect(at, kTagOctetString, e)) return false;
    copy_octets(out.community, sizeof out.community, e);
    skip(at, e);

    // The PDU is entered, not skipped: its header only.
    if (at.pos >= at.end || at.data[at.pos] != kPduTrap || !enter(at)) return false;
    out.pdu_type = kPduTrap;

    if (!expect_short(at, kTagOid, e)) return false;
    oid_text(out.enterprise, sizeof out.enterprise, e);
    skip(at, e);

    if (!expect_short(at, kTagIpAddress, e)) return false;
    ip_text(out.agent_addr, sizeof out.agent_addr, e);
    skip(at, e);

    if (!expect_short(at, kTagInteger, e)) return false;
    out.generic_trap = integer_value(e);
    skip(at, e);

    if (!expect_short(at, kTagInteger, e)) return false;
    out.specific_trap = integer_value(e);
    skip(at, e);

    if (!expect_short(at, kTagTimeTicks, e)) return false;
    out.time_stamp = integer_value(e);
    skip(at, e);
    return true;
}

// Flat walk over what follows the time stamp: every OID names the current
// slot, an INTEGER or OCTET STRING fills it and moves on, other values are
// skipped, sequences are entered.
bool decode_varbinds(TrapRecord& out, Cursor& at)
{
    int slot = 0;
    while (slot < kMaxVarBinds && at.pos < at.end) {
        const std::uint8_t tag = at.data[at.pos];
        TrapVarBind& vb = out.varbinds[slot];
        Element e;
        if (tag == kTagSequence) {
            if (!enter(at)) return false;
            continue;
        }
        if (!read_element(at, e)) return false;
        if (tag == kTagOid) {
            if (e.length >= kShortLengthLimit) return false;
            oid_text(vb.name, sizeof vb.name, e);
        } else if (tag == kTagInteger) {
            if (e.length >= kShortLengthLimit) return false;
            vb.type = 'I';
            std::snprintf(vb.value, sizeof vb.value, "%d", integer_value(e));
            ++slot;
        } else if (tag == kTagOctetString) {
            vb.type = 'O';
            copy_octets(vb.value, sizeof vb.value, e);
            ++slot;
        }
        skip(at, e);
    }
    return true;
}

} // namespace

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

int decode_trap(TrapRecord& out, const TrapFrame& in)
{
    std::memset(&out, 0, sizeof out);
    format_recv_time(out.recv_time, sizeof out.recv_time, in.time);

    const std::size_t size = in.length < kFrameDataSize ? in.length : kFrameDataSize;
    Cursor at{in.data, 0, size};
    Element message;
    if (!expect(at, kTagSequence, message)) return -1;
    at.pos = message.header;
    at.end = message.header + message.length;

    if (!decode_header(out, at)) return -1;
    if (!decode_varbinds(out, at)) return -1;
    return 0;
}

int used_varbinds(const TrapRecord& record)
{
    int n = 0;
    while (n < kMaxVarBinds && record.varbinds[n].name[0] != '\0') ++n;
    return n;
}
