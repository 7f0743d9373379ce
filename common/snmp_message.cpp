#include "common/snmp_message.h"

using namespace ber;

namespace {

constexpr std::uint32_t kMaxInt31 = 0x7FFFFFFFu;
constexpr std::size_t kMaxEngineIdOctets = 32;
constexpr std::size_t kMaxUserOctets = 32;

Span content_of(const Element& e) { return Span{e.content, e.length}; }

// A non-negative INTEGER of at most 2^31-1.
bool read_int31(Cursor& at, std::uint32_t& value)
{
    Element e;
    if (!expect(at, kInteger, e) || e.length == 0 || e.length > 5 || (e.content[0] & 0x80u) ||
        !number_fits(e, 4, true))
        return false;
    value = unsigned_value(e);
    if (value > kMaxInt31) return false;
    skip(at, e);
    return true;
}

bool read_octets(Cursor& at, Span& out, std::size_t most)
{
    Element e;
    if (!expect(at, kOctetString, e) || e.length > most) return false;
    out = content_of(e);
    skip(at, e);
    return true;
}

// msgGlobalData: msgID, msgMaxSize, msgFlags, msgSecurityModel (RFC 3412 6).
bool read_global_data(Cursor& at, SnmpMessage& m)
{
    Element seq, flags;
    if (!expect(at, kSequence, seq)) return false;
    Cursor in = inside(at, seq);
    std::uint32_t max_size = 0, model = 0;
    if (!read_int31(in, m.msg_id) || !read_int31(in, max_size) || max_size < 484) return false;
    if (!expect(in, kOctetString, flags) || flags.length != 1) return false;
    m.flags = flags.content[0];
    skip(in, flags);
    if (!read_int31(in, model) || model != kUsmSecurityModel || !in.at_end()) return false;
    if ((m.flags & kMsgFlagPriv) && !(m.flags & kMsgFlagAuth)) return false;  // RFC 3412 7.2.5
    skip(at, seq);
    return true;
}

// msgSecurityParameters: an OCTET STRING holding UsmSecurityParameters.
bool read_usm_parameters(Cursor& at, const std::uint8_t* message, UsmParameters& u)
{
    Element wrap, seq;
    if (!expect(at, kOctetString, wrap)) return false;
    Cursor outer = inside(at, wrap);
    if (!expect(outer, kSequence, seq) || seq.size() != wrap.length) return false;
    Cursor in = inside(outer, seq);
    Element auth;
    if (!read_octets(in, u.engine_id, kMaxEngineIdOctets) || !read_int31(in, u.boots) || !read_int31(in, u.time) ||
        !read_octets(in, u.user, kMaxUserOctets) || !expect(in, kOctetString, auth))
        return false;
    u.auth = content_of(auth);
    u.auth_offset = static_cast<std::size_t>(auth.content - message);
    skip(in, auth);
    if (!read_octets(in, u.priv, 0xFFFF) || !in.at_end()) return false;
    skip(at, wrap);
    return true;
}

bool read_v3(Cursor& at, const std::uint8_t* message, SnmpMessage& m)
{
    if (!read_global_data(at, m) || !read_usm_parameters(at, message, m.usm)) return false;
    Element data;
    if (!read_element(at, data) || at.pos + data.size() != at.end) return false;
    if (m.flags & kMsgFlagPriv) {
        if (data.tag != kOctetString) return false;
        m.scoped_pdu = content_of(data);
        return true;
    }
    m.scoped_pdu = Span{data.begin(), data.size()};
    return data.tag == kSequence && read_scoped_pdu(m.scoped_pdu.data, m.scoped_pdu.size, m);
}

} // namespace

bool read_snmp_message(const std::uint8_t* data, std::size_t size, SnmpMessage& m)
{
    m = SnmpMessage{};
    Cursor at{data, 0, size};
    Element seq, version;
    if (!expect(at, kSequence, seq)) return false;
    m.message_size = seq.size();
    at = inside(at, seq);
    if (!expect_short(at, kInteger, version) || version.length != 1) return false;
    skip(at, version);
    const std::uint8_t v = version.content[0];
    if (v == static_cast<std::uint8_t>(SnmpVersion::V3)) {
        m.version = SnmpVersion::V3;
        return read_v3(at, data, m);
    }
    if (v != static_cast<std::uint8_t>(SnmpVersion::V1) && v != static_cast<std::uint8_t>(SnmpVersion::V2c)) return false;
    m.version = static_cast<SnmpVersion>(v);
    Element community, pdu;
    if (!expect(at, kOctetString, community)) return false;
    m.community = content_of(community);
    skip(at, community);
    if (!read_element(at, pdu)) return false;
    m.pdu = Span{pdu.begin(), pdu.size()};
    m.pdu_tag = pdu.tag;
    return true;
}

bool read_scoped_pdu(const std::uint8_t* data, std::size_t size, SnmpMessage& m)
{
    Cursor at{data, 0, size};
    Element seq, pdu;
    if (!expect(at, kSequence, seq)) return false;
    Cursor in = inside(at, seq);
    if (!read_octets(in, m.context_engine_id, kMaxEngineIdOctets) || !read_octets(in, m.context_name, 0xFFFF) ||
        !read_element(in, pdu) || in.pos + pdu.size() != in.end)
        return false;
    m.pdu = Span{pdu.begin(), pdu.size()};
    m.pdu_tag = pdu.tag;
    return true;
}

bool read_request_id(const Span& pdu, Element& out)
{
    Cursor at{pdu.data, 0, pdu.size};
    Element e;
    if (!read_element(at, e)) return false;
    at = inside(at, e);
    return expect(at, kInteger, out) && out.length >= 1 && out.length <= 4;
}
