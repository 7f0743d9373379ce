#include "common/v2c_notification.h"

#include <cstring>

#include "common/ber.h"
#include "common/trap_record.h"

using namespace ber;

namespace {


// Identifier contents (after tag and length).
const std::uint8_t kSysUpTime0[] = {0x2B, 6, 1, 2, 1, 1, 3, 0};
const std::uint8_t kSnmpTrapOid0[] = {0x2B, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const std::uint8_t kSnmpTrapEnterprise0[] = {0x2B, 6, 1, 6, 3, 1, 1, 4, 3, 0};
const std::uint8_t kSnmpTrapAddress0[] = {0x2B, 6, 1, 6, 3, 18, 1, 3, 0};
const std::uint8_t kSnmpTraps[] = {0x2B, 6, 1, 6, 3, 1, 1, 5};  // the six standard traps are .1 to .6

using Slice = Span;

template <std::size_t N>
bool same(const Element& e, const std::uint8_t (&content)[N])
{
    return e.length == N && std::memcmp(e.content, content, N) == 0;
}

// What a well-formed notification PDU holds.
struct Message {
    Element request_id, list;
    std::uint8_t pdu = 0;
    Element up_time;        // sysUpTime.0's TimeTicks
    Element trap_oid;       // snmpTrapOID.0's OBJECT IDENTIFIER
    Slice other_bindings;   // the VarBinds after these two, as they arrived
    Slice trap_address;     // snmpTrapAddress.0's four octets, if present
    Slice trap_enterprise;  // snmpTrapEnterprise.0's identifier content, if present
};

// A VarBind: its name and value elements.
bool read_binding(const Cursor& at, Element& seq, Element& name, Element& value)
{
    if (!expect(at, kSequence, seq)) return false;
    Cursor in = inside(at, seq);
    if (!expect(in, kOid, name)) return false;
    skip(in, name);
    return read_element(in, value);
}

// The identifiers of a binding are identifiers: no sub-identifier above
// 2^32-1, as the decoder requires of what the translation gives it.
bool identifiers_valid(const Element& name, const Element& value)
{
    return oid_is_valid(name) && (value.tag != kOid || oid_is_valid(value));
}

bool read_header(const Span& pdu, Cursor& at, Message& m)
{
    at = Cursor{pdu.data, 0, pdu.size};
    Element e;
    if (!read_element(at, e) || (e.tag != kPduInform && e.tag != kPduV2Trap)) return false;
    m.pdu = e.tag;
    at = inside(at, e);
    if (!expect(at, kInteger, m.request_id) || m.request_id.length < 1 || m.request_id.length > 4) return false;
    skip(at, m.request_id);
    for (int i = 0; i < 2; ++i) {  // error-status, error-index
        if (!expect_short(at, kInteger, e)) return false;
        skip(at, e);
    }
    return expect(at, kSequence, m.list);
}

// sysUpTime.0 and snmpTrapOID.0 first, then the rest, looking for the two
// bindings the translation takes from there.
bool read_bindings(const Cursor& at, Message& m)
{
    Cursor in = inside(at, m.list);
    Element seq, name, value;
    if (!read_binding(in, seq, name, value) || !same(name, kSysUpTime0) || value.tag != kTimeTicks ||
        value.length >= kShortLengthLimit)
        return false;
    m.up_time = value;
    skip(in, seq);
    if (!read_binding(in, seq, name, value) || !same(name, kSnmpTrapOid0) || value.tag != kOid ||
        value.length == 0 || !oid_is_valid(value))
        return false;
    m.trap_oid = value;
    skip(in, seq);
    m.other_bindings = Slice{in.data + in.pos, in.end - in.pos};
    for (; !in.at_end(); skip(in, seq)) {
        if (!read_binding(in, seq, name, value) || !identifiers_valid(name, value)) return false;
        if (same(name, kSnmpTrapAddress0) && value.tag == kIpAddress && value.length == 4)
            m.trap_address = Slice{value.content, 4};
        if (same(name, kSnmpTrapEnterprise0) && value.tag == kOid && value.length > 0)
            m.trap_enterprise = Slice{value.content, value.length};
    }
    return true;
}

bool parse(const Span& pdu, Message& m)
{
    Cursor at{};
    return read_header(pdu, at, m) && read_bindings(at, m);
}

// The v2c message in a frame; false when it is none.
bool read_v2c(const TrapFrame& in, SnmpMessage& message)
{
    const std::size_t size = in.length < kFrameDataSize ? in.length : kFrameDataSize;
    return read_snmp_message(in.data, size, message) && message.version == SnmpVersion::V2c;
}

// The SNMPv1 trap fields snmpTrapOID.0 stands for.
struct V1Identity {
    Slice enterprise;
    std::int32_t generic = 6;
    std::uint32_t specific = 0;
};

bool identity_from(const Message& m, V1Identity& id)
{
    const std::uint8_t* oid = m.trap_oid.content;
    const std::size_t n = m.trap_oid.length;
    if (n == sizeof kSnmpTraps + 1 && std::memcmp(oid, kSnmpTraps, sizeof kSnmpTraps) == 0 && oid[n - 1] >= 1 &&
        oid[n - 1] <= 6) {
        id.generic = oid[n - 1] - 1;
        id.enterprise = m.trap_enterprise.data ? m.trap_enterprise : Slice{kSnmpTraps, sizeof kSnmpTraps};
        return true;
    }
    if (oid[n - 1] & 0x80u) return false;  // unfinished last sub-identifier
    std::size_t last = n - 1;              // first octet of the last sub-identifier
    while (last > 0 && (oid[last - 1] & 0x80u)) --last;
    if (last == 0) return false;  // the first octet holds two arcs: nothing to split off
    for (std::size_t i = last; i < n; ++i) id.specific = (id.specific << 7) | (oid[i] & 0x7Fu);  // checked valid
    std::size_t prefix = last;
    const bool zero_before = oid[last - 1] == 0 && last >= 2 && !(oid[last - 2] & 0x80u);
    if (zero_before) prefix = last - 1;  // enterprise.0.specific
    id.enterprise = Slice{oid, prefix};
    return true;
}

// The agent-addr element: snmpTrapAddress.0, else the sender.
struct AgentAddress {
    std::uint8_t tag;
    const std::uint8_t* octets;
    std::size_t size;
};

AgentAddress agent_address(const Message& m, const Endpoint& source)
{
    if (m.trap_address.data) return AgentAddress{kIpAddress, m.trap_address.data, 4};
    if (source.family == 6) return AgentAddress{kOctetString, source.address, 16};
    return AgentAddress{kIpAddress, source.address, 4};
}

bool write_v1_trap(const Message& m, const V1Identity& id, const NotificationOrigin& origin, TrapFrame& out)
{
    const AgentAddress address = agent_address(m, origin.source);
    std::uint8_t generic[5], specific[5];
    const std::size_t generic_size = integer_content(static_cast<std::uint32_t>(id.generic), generic);
    const std::size_t specific_size = integer_content(id.specific, specific);  // unsigned (RFC 3584 3.2)

    const std::size_t pdu = tlv_size(id.enterprise.size) + tlv_size(address.size) + tlv_size(generic_size) +
                            tlv_size(specific_size) + m.up_time.size() + tlv_size(m.other_bindings.size);
    const std::size_t message = tlv_size(1) + tlv_size(origin.community.size) + tlv_size(pdu);
    Writer w(out.data, sizeof out.data);
    w.header(kSequence, message);
    w.tlv(kInteger, &origin.version_field, 1);
    w.tlv(kOctetString, origin.community.data, origin.community.size);
    w.header(kPduV1Trap, pdu);
    w.tlv(kOid, id.enterprise.data, id.enterprise.size);
    w.tlv(address.tag, address.octets, address.size);
    w.tlv(kInteger, generic, generic_size);
    w.tlv(kInteger, specific, specific_size);
    w.element(m.up_time);
    w.tlv(kSequence, m.other_bindings.data, m.other_bindings.size);
    out.length = static_cast<std::uint32_t>(w.used());
    return w.ok();
}

} // namespace

V2cNotification translate_notification(const Span& pdu, const NotificationOrigin& origin, TrapFrame& out)
{
    Message m;
    V1Identity id;
    if (!parse(pdu, m) || !identity_from(m, id)) return V2cNotification::None;
    out.time = origin.time;
    if (!write_v1_trap(m, id, origin, out)) return V2cNotification::None;
    return m.pdu == kPduInform ? V2cNotification::Inform : V2cNotification::Trap;
}

std::size_t build_response_pdu(const Span& pdu, std::uint8_t* out, std::size_t capacity)
{
    Message m;
    if (!parse(pdu, m) || m.pdu != kPduInform) return 0;
    const std::uint8_t zero = 0;
    Writer w(out, capacity);
    w.header(kPduResponse, m.request_id.size() + 2 * tlv_size(1) + m.list.size());
    w.element(m.request_id);
    w.tlv(kInteger, &zero, 1);  // error-status
    w.tlv(kInteger, &zero, 1);  // error-index
    w.element(m.list);
    return w.ok() ? w.used() : 0;
}

V2cNotification translate_v2c_notification(const TrapFrame& in, const Endpoint& source, TrapFrame& out)
{
    SnmpMessage message;
    if (!read_v2c(in, message)) return V2cNotification::None;
    const NotificationOrigin origin{static_cast<std::uint8_t>(SnmpVersion::V2c), message.community, source, in.time};
    return translate_notification(message.pdu, origin, out);
}

std::size_t build_community_response(const SnmpMessage& message, std::uint8_t* out, std::size_t capacity)
{
    std::uint8_t response[kFrameDataSize + 64];
    const std::size_t pdu = build_response_pdu(message.pdu, response, sizeof response);
    if (pdu == 0) return 0;
    const std::uint8_t version = static_cast<std::uint8_t>(message.version);
    Writer w(out, capacity);
    w.header(kSequence, tlv_size(1) + tlv_size(message.community.size) + pdu);
    w.tlv(kInteger, &version, 1);
    w.tlv(kOctetString, message.community.data, message.community.size);
    w.bytes(response, pdu);
    return w.ok() ? w.used() : 0;
}

std::size_t build_inform_response(const TrapFrame& in, std::uint8_t* out, std::size_t capacity)
{
    SnmpMessage message;
    return read_v2c(in, message) ? build_community_response(message, out, capacity) : 0;
}
