#include "common/trap_record.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/octet_text.h"

using namespace ber;

namespace {

void ip_text(char* field, std::size_t size, const Element& e)
{
    FieldText text(field, size);
    for (std::uint32_t i = 0; i < e.length; ++i) {
        if (i > 0) text.put('.');
        text.put_decimal(e.content[i]);
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
    if (!expect_short(at, kInteger, e)) return false;
    out.version = static_cast<std::int32_t>(static_cast<std::uint32_t>(signed_value(e)) + 1u);  // no overflow at 2^31-1
    skip(at, e);

    if (!expect(at, kOctetString, e)) return false;
    copy_cp932_cut(out.community, sizeof out.community, e.content, e.length);
    skip(at, e);

    if (at.at_end() || at.data[at.pos] != kPduTrap || !read_element(at, e)) return false;
    at = inside(at, e);
    out.pdu_type = kPduTrap;

    if (!expect_short(at, kOid, e)) return false;
    oid_text(out.enterprise, sizeof out.enterprise, e.content, e.length);
    skip(at, e);

    if (!expect_short(at, kIpAddress, e)) return false;
    ip_text(out.agent_addr, sizeof out.agent_addr, e);
    skip(at, e);

    if (!expect_short(at, kInteger, e)) return false;
    out.generic_trap = signed_value(e);
    skip(at, e);

    if (!expect_short(at, kInteger, e)) return false;
    out.specific_trap = signed_value(e);
    skip(at, e);

    if (!expect_short(at, kTimeTicks, e)) return false;
    out.time_stamp = unsigned_value(e);
    skip(at, e);
    return true;
}

// The value as the report shows it: numbers in decimal (INTEGER signed, the
// others unsigned), identifiers and addresses dotted, OCTET STRING as text or
// hex, Opaque and unknown types in hex, nothing for NULL and the exceptions.
bool binding_value_text(TrapVarBind& vb, const Element& e)
{
    if (!value_fits_record(e)) return false;
    vb.type = e.tag;
    if (e.tag == kInteger) {
        std::snprintf(vb.value, sizeof vb.value, "%" PRId32, signed_value(e));
    } else if (e.tag == kCounter64) {
        std::snprintf(vb.value, sizeof vb.value, "%" PRIu64, unsigned_value64(e));
    } else if (is_number_tag(e.tag)) {
        std::snprintf(vb.value, sizeof vb.value, "%" PRIu32, unsigned_value(e));
    } else if (e.tag == kOctetString) {
        octet_string_text(vb.value, sizeof vb.value, e.content, e.length);
    } else if (e.tag == kOid) {
        oid_text(vb.value, sizeof vb.value, e.content, e.length);
    } else if (e.tag == kIpAddress) {
        ip_text(vb.value, sizeof vb.value, e);
    } else if (value_type_has_data(e.tag)) {
        hex_octets_text(vb.value, sizeof vb.value, e.content, e.length);
    }
    return true;
}

// One VarBind: SEQUENCE { name OBJECT IDENTIFIER, value }.
bool decode_binding(TrapVarBind& vb, const Cursor& at, const Element& seq)
{
    if (seq.tag != kSequence) return false;
    Cursor in = inside(at, seq);
    Element name, value;
    if (!expect_short(in, kOid, name)) return false;
    skip(in, name);
    if (!read_element(in, value)) return false;
    oid_text(vb.name, sizeof vb.name, name.content, name.length);
    return binding_value_text(vb, value);
}

// The VarBindList after the time stamp, when there is one.
bool decode_varbinds(TrapRecord& out, Cursor& at)
{
    if (at.at_end()) return true;
    Element list;
    if (!expect(at, kSequence, list)) return false;
    Cursor in = inside(at, list);
    for (int slot = 0; slot < kMaxVarBinds && !in.at_end(); ++slot) {
        Element seq;
        if (!read_element(in, seq) || !decode_binding(out.varbinds[slot], in, seq)) return false;
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
