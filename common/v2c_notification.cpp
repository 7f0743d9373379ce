#include "common/v2c_notification.h"

#include <cstring>

#include "common/ber.h"
#include "common/trap_record.h"

using namespace ber;

namespace {

constexpr std::uint8_t kVersion2c = 1;
constexpr std::uint8_t kPduInform = 0xA6;
constexpr std::uint8_t kPduV2Trap = 0xA7;
constexpr std::uint8_t kPduResponse = 0xA2;
constexpr std::uint8_t kPduV1Trap = 0xA4;

// Identifier contents (after tag and length).
const std::uint8_t kSysUpTime0[] = {0x2B, 6, 1, 2, 1, 1, 3, 0};
const std::uint8_t kSnmpTrapOid0[] = {0x2B, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const std::uint8_t kSnmpTrapEnterprise0[] = {0x2B, 6, 1, 6, 3, 1, 1, 4, 3, 0};
const std::uint8_t kSnmpTrapAddress0[] = {0x2B, 6, 1, 6, 3, 18, 1, 3, 0};
const std::uint8_t kSnmpTraps[] = {0x2B, 6, 1, 6, 3, 1, 1, 5};  // the six standard traps are .1 to .6

struct Slice {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

template <std::size_t N>
bool same(const Element& e, const std::uint8_t (&content)[N])
{
    return e.length == N && std::memcmp(e.content, content, N) == 0;
}

// What a well-formed notification message holds.
struct Message {
    Element version, community, request_id, list;
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

bool read_header(const TrapFrame& in, Cursor& at, Message& m)
{
    const std::size_t size = in.length < kFrameDataSize ? in.length : kFrameDataSize;
    at = Cursor{in.data, 0, size};
    Element e;
    if (!expect(at, kSequence, e)) return false;
    at = inside(at, e);
    if (!expect_short(at, kInteger, m.version) || m.version.length != 1 || m.version.content[0] != kVersion2c) return false;
    skip(at, m.version);
    if (!expect(at, kOctetString, m.community)) return false;
    skip(at, m.community);
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

bool parse(const TrapFrame& in, Message& m)
{
    Cursor at{};
    return read_header(in, at, m) && read_bindings(at, m);
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

// Writes BER into a fixed buffer; ok() turns false once something did not fit.
class Writer {
public:
    Writer(std::uint8_t* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

    void bytes(const void* data, std::size_t n)
    {
        if (!ok_ || n > capacity_ - used_) {
            ok_ = false;
            return;
        }
        std::memcpy(out_ + used_, data, n);
        used_ += n;
    }
    void element(const Element& e) { bytes(e.begin(), e.size()); }
    void header(std::uint8_t tag, std::size_t length)
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
    void tlv(std::uint8_t tag, const void* data, std::size_t n)
    {
        header(tag, n);
        bytes(data, n);
    }
    bool ok() const { return ok_; }
    std::size_t used() const { return used_; }

private:
    std::uint8_t* out_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

std::size_t header_size(std::size_t length) { return length < 0x80 ? 2 : length < 0x100 ? 3 : length < 0x10000 ? 4 : 5; }
std::size_t tlv_size(std::size_t length) { return header_size(length) + length; }

// Minimal content of an INTEGER holding a non-negative value: up to five
// octets, a leading zero where the top bit is set.
std::size_t integer_content(std::uint32_t value, std::uint8_t out[5])
{
    std::size_t n = 1;
    while (n < 5 && (value >> (8 * n - 1)) != 0) ++n;
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(i + 4 < n ? 0 : value >> (8 * (n - 1 - i)));
    return n;
}

bool write_v1_trap(const Message& m, const V1Identity& id, const std::uint8_t address[4], TrapFrame& out)
{
    std::uint8_t generic[5], specific[5];
    const std::size_t generic_size = integer_content(static_cast<std::uint32_t>(id.generic), generic);
    const std::size_t specific_size = integer_content(id.specific, specific);  // unsigned (RFC 3584 3.2)

    const std::size_t pdu = tlv_size(id.enterprise.size) + tlv_size(4) + tlv_size(generic_size) +
                            tlv_size(specific_size) + m.up_time.size() + tlv_size(m.other_bindings.size);
    const std::size_t message = m.version.size() + m.community.size() + tlv_size(pdu);
    Writer w(out.data, sizeof out.data);
    w.header(kSequence, message);
    w.element(m.version);
    w.element(m.community);
    w.header(kPduV1Trap, pdu);
    w.tlv(kOid, id.enterprise.data, id.enterprise.size);
    w.tlv(kIpAddress, address, 4);
    w.tlv(kInteger, generic, generic_size);
    w.tlv(kInteger, specific, specific_size);
    w.element(m.up_time);
    w.tlv(kSequence, m.other_bindings.data, m.other_bindings.size);
    out.length = static_cast<std::uint32_t>(w.used());
    return w.ok();
}

} // namespace

V2cNotification translate_v2c_notification(const TrapFrame& in, std::uint32_t source, TrapFrame& out)
{
    Message m;
    V1Identity id;
    if (!parse(in, m) || !identity_from(m, id)) return V2cNotification::None;
    std::uint8_t address[4];
    if (m.trap_address.data) std::memcpy(address, m.trap_address.data, 4);
    else std::memcpy(address, &source, 4);  // network order: the octets as they go on the wire
    out.time = in.time;
    if (!write_v1_trap(m, id, address, out)) return V2cNotification::None;
    return m.pdu == kPduInform ? V2cNotification::Inform : V2cNotification::Trap;
}

std::size_t build_inform_response(const TrapFrame& in, std::uint8_t* out, std::size_t capacity)
{
    Message m;
    if (!parse(in, m) || m.pdu != kPduInform) return 0;
    const std::uint8_t zero = 0;
    const std::size_t pdu = m.request_id.size() + 2 * tlv_size(1) + m.list.size();
    const std::size_t message = m.version.size() + m.community.size() + tlv_size(pdu);
    Writer w(out, capacity);
    w.header(kSequence, message);
    w.element(m.version);
    w.element(m.community);
    w.header(kPduResponse, pdu);
    w.element(m.request_id);
    w.tlv(kInteger, &zero, 1);  // error-status
    w.tlv(kInteger, &zero, 1);  // error-index
    w.element(m.list);
    return w.ok() ? w.used() : 0;
}
