#include "common/trap_record.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "common/octet_text.h"
#include "platform/address_text.h"

using namespace ber;

namespace {

// An IpAddress agent-addr keeps, however long, the 15 characters of dotted
// IPv4 text it always had.
constexpr std::size_t kIpAddressTextSize = 16;
constexpr std::uint32_t kIpv6Octets = 16;

// Returns true when the whole text fitted.
bool ip_text(char* field, std::size_t size, const Element& e)
{
    FieldText text(field, size);
    for (std::uint32_t i = 0; i < e.length; ++i) {
        if (i > 0) text.put('.');
        text.put_decimal(e.content[i]);
    }
    return !text.cut();
}

void format_recv_time(char* field, std::size_t size, std::uint32_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return;
    std::strftime(field, size, "%Y/%m/%d %H:%M:%S", &local);
}

// The agent-addr: an IpAddress, or the OCTET STRING of exactly 16 octets
// that stands in its place for an IPv6 agent.
bool decode_agent_address(TrapRecord& out, Cursor& at)
{
    Element e;
    if (expect_short(at, kOctetString, e)) {
        if (e.length != kIpv6Octets) return false;
        ipv6_text(e.content, out.agent_addr, sizeof out.agent_addr);
    } else {
        if (!expect_short(at, kIpAddress, e)) return false;
        out.agent_addr_cut = !ip_text(out.agent_addr, kIpAddressTextSize, e);
    }
    skip(at, e);
    return true;
}

// Version, community, PDU tag and the fixed Trap-PDU fields, in order.
bool decode_header(TrapRecord& out, Cursor& at)
{
    Element e;
    if (!expect_short(at, kInteger, e)) return false;
    out.version = static_cast<std::int32_t>(static_cast<std::uint32_t>(signed_value(e)) + 1u);  // no overflow at 2^31-1
    skip(at, e);

    if (!expect(at, kOctetString, e)) return false;
    out.community_cut = !copy_cp932_cut(out.community, sizeof out.community, e.content, e.length);
    skip(at, e);

    if (at.at_end() || at.data[at.pos] != kPduTrap || !read_element(at, e)) return false;
    at = inside(at, e);
    out.pdu_type = kPduTrap;

    if (!expect(at, kOid, e) || !oid_text(out.enterprise, sizeof out.enterprise, e.content, e.length, out.enterprise_cut))
        return false;
    skip(at, e);

    if (!decode_agent_address(out, at)) return false;

    if (!expect_short(at, kInteger, e)) return false;
    out.generic_trap = signed_value(e);
    skip(at, e);

    if (!expect_short(at, kInteger, e)) return false;
    out.specific_trap = static_cast<std::uint32_t>(signed_value(e));
    skip(at, e);

    if (!expect_short(at, kTimeTicks, e)) return false;
    out.time_stamp = unsigned_value(e);
    skip(at, e);
    return true;
}

// A number as text: decimal when its type holds it (INTEGER signed, the
// others unsigned), else its octets in hex. Returns true when the text fitted.
bool number_text(char* field, const Element& e)
{
    const bool is_signed = e.tag == kInteger;
    const std::size_t octets = e.tag == kCounter64 ? 8 : 4;
    if (!number_fits(e, octets, is_signed)) return hex_octets_text(field, kTextSize, e.content, e.length);
    if (is_signed) std::snprintf(field, kTextSize, "%" PRId32, signed_value(e));
    else std::snprintf(field, kTextSize, "%" PRIu64, unsigned_value64(e));
    return true;
}

// The value as the report shows it: numbers as number_text(), identifiers
// and addresses dotted, OCTET STRING as text or hex, Opaque and unknown types
// in hex, nothing for NULL and the exceptions. Every text but an identifier
// takes at most kTextSize. False for an identifier that is none.
bool binding_value_text(TrapVarBind& vb, const Element& e)
{
    vb.type = e.tag;
    bool whole = true;
    if (is_number_tag(e.tag)) {
        whole = number_text(vb.value, e);
    } else if (e.tag == kOctetString) {
        whole = octet_string_text(vb.value, kTextSize, e.content, e.length);
        vb.value_as_octets = whole && std::strlen(vb.value) == e.length && std::memcmp(vb.value, e.content, e.length) == 0;
    } else if (e.tag == kOid) {
        bool cut = false;
        if (!oid_text(vb.value, sizeof vb.value, e.content, e.length, cut)) return false;
        whole = !cut;
    } else if (e.tag == kIpAddress) {
        whole = ip_text(vb.value, kTextSize, e);
    } else if (value_type_has_data(e.tag)) {
        whole = hex_octets_text(vb.value, kTextSize, e.content, e.length);
    }
    vb.value_cut = !whole;
    return true;
}

// One VarBind: SEQUENCE { name OBJECT IDENTIFIER, value }.
bool decode_binding(TrapVarBind& vb, const Cursor& at, const Element& seq)
{
    if (seq.tag != kSequence) return false;
    Cursor in = inside(at, seq);
    Element name, value;
    if (!expect(in, kOid, name)) return false;
    skip(in, name);
    if (!read_element(in, value)) return false;
    return oid_text(vb.name, sizeof vb.name, name.content, name.length, vb.name_cut) && binding_value_text(vb, value);
}

// The VarBindList after the time stamp, when there is one: the first ten
// bindings into the slots, the others read all the same and counted.
bool decode_varbinds(TrapRecord& out, Cursor& at)
{
    if (at.at_end()) return true;
    Element list;
    if (!expect(at, kSequence, list)) return false;
    Cursor in = inside(at, list);
    TrapVarBind omitted;
    for (int slot = 0; !in.at_end(); ++slot) {
        TrapVarBind& vb = slot < kMaxVarBinds ? out.varbinds[slot] : omitted;
        Element seq;
        if (!read_element(in, seq) || !decode_binding(vb, in, seq)) return false;
        if (slot >= kMaxVarBinds) ++out.omitted_varbinds;
        skip(in, seq);
    }
    return true;
}

} // namespace

const char* value_type_name(std::uint8_t type)
{
    switch (type) {
    case kInteger: return "INTEGER";
    case kOctetString: return "OCTET STRING";
    case kNull: return "NULL";
    case kOid: return "OBJECT IDENTIFIER";
    case kIpAddress: return "IpAddress";
    case kCounter32: return "Counter32";
    case kGauge32: return "Gauge32";
    case kTimeTicks: return "TimeTicks";
    case kOpaque: return "Opaque";
    case kCounter64: return "Counter64";
    case 0x80: return "noSuchObject";
    case 0x81: return "noSuchInstance";
    case 0x82: return "endOfMibView";
    default: return nullptr;
    }
}

bool value_type_has_data(std::uint8_t type) { return type != kNull && (type < 0x80 || type > 0x82); }

int decode_trap(TrapRecord& out, const TrapFrame& in)
{
    std::memset(&out, 0, sizeof out);
    format_recv_time(out.recv_time, sizeof out.recv_time, in.time);

    const std::size_t size = in.length < kFrameDataSize ? in.length : kFrameDataSize;
    Cursor at{in.data, 0, size};
    Element message;
    if (!expect(at, kSequence, message)) return -1;
    at = inside(at, message);

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

namespace {

// `prefix`, then each of `arcs` after a dot, into out (room for the prefix and 23 more).
void identifier(char* out, const char* prefix, std::initializer_list<std::uint32_t> arcs)
{
    std::size_t n = std::strlen(prefix);
    std::memmove(out, prefix, n);
    for (std::uint32_t arc : arcs) {
        out[n++] = '.';
        n += decimal_digits(arc, out + n);
    }
    out[n] = '\0';
}

} // namespace

void notification_identifier(const TrapRecord& record, char* out, char* direct)
{
    out[0] = '\0';
    direct[0] = '\0';
    if (record.generic_trap >= 0 && record.generic_trap <= 5) {
        identifier(out, "1.3.6.1.6.3.1.1.5", {static_cast<std::uint32_t>(record.generic_trap) + 1});
        return;
    }
    if (record.enterprise_cut || record.enterprise[0] == '\0') return;
    identifier(out, record.enterprise, {0, record.specific_trap});
    identifier(direct, record.enterprise, {record.specific_trap});
}
