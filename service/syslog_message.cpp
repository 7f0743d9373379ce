#include "service/syslog_message.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "common/ber.h"
#include "common/octet_text.h"
#include "common/trap_record.h"
#include "common/trap_report.h"
#include "platform/address_text.h"
#include "platform/sockets.h"

using namespace ber;

namespace {

constexpr int kSeverityNotice = 5;
constexpr int kDefaultFacility = 16;  // local0
const char kByteOrderMark[] = "\xEF\xBB\xBF";
const char kSysUpTime[] = "1.3.6.1.2.1.1.3.0";
const char kSnmpTrapOid[] = "1.3.6.1.6.3.1.1.4.1.0";
const char kSnmpTrapsPrefix[] = "1.3.6.1.6.3.1.1.5.";
const char kSnmpTrapAddress[] = "1.3.6.1.6.3.18.1.3.0";
const char kSnmpTrapCommunity[] = "1.3.6.1.6.3.18.1.4.0";
const char kSnmpTrapEnterprise[] = "1.3.6.1.6.3.1.1.4.3.0";
constexpr std::int32_t kVersionFieldV3 = 2;
constexpr std::int32_t kEnterpriseSpecific = 6;
constexpr std::uint32_t kIpv6Octets = 16;
// A value as text: the hex of a whole datagram, or its text in UTF-8 escaped.
constexpr std::size_t kValueSize = 3 * kFrameDataSize + 16;
// One binding's parameters: name, value and text.
constexpr std::size_t kBindingSize = kOidTextSize + 2 * kValueSize + 64;

// The parts of an SNMPv1 Trap message, each checked against what encloses it.
struct TrapParts {
    std::int32_t version_field;
    Element community;
    Element enterprise;
    Element agent;
    std::int32_t generic;
    std::uint32_t specific;
    std::uint32_t time_stamp;
    Cursor bindings;  // the VarBindList's content; empty when there is none
};

bool read_number(Cursor& at, std::uint8_t tag, Element& e)
{
    if (!expect_short(at, tag, e)) return false;
    skip(at, e);
    return true;
}

// The agent-addr: an IpAddress, or the 16-octet OCTET STRING that holds an
// IPv6 agent in its place.
bool read_agent(Cursor& at, Element& agent)
{
    const bool ipv6 = expect_short(at, kOctetString, agent) && agent.length == kIpv6Octets;
    if (!ipv6 && !expect_short(at, kIpAddress, agent)) return false;
    skip(at, agent);
    return true;
}

bool read_header(Cursor& at, TrapParts& p)
{
    Element e;
    if (!read_number(at, kInteger, e)) return false;
    p.version_field = signed_value(e);
    if (!expect(at, kOctetString, p.community)) return false;
    skip(at, p.community);
    if (!read_element(at, e) || e.tag != kPduTrap) return false;
    at = inside(at, e);
    if (!expect(at, kOid, p.enterprise)) return false;
    skip(at, p.enterprise);
    if (!read_agent(at, p.agent)) return false;
    if (!read_number(at, kInteger, e)) return false;
    p.generic = signed_value(e);
    if (!read_number(at, kInteger, e)) return false;
    p.specific = static_cast<std::uint32_t>(signed_value(e));
    if (!read_number(at, kTimeTicks, e)) return false;
    p.time_stamp = unsigned_value(e);
    return true;
}

bool take_apart(const TrapFrame& frame, TrapParts& p)
{
    const std::size_t size = frame.length < kFrameDataSize ? frame.length : kFrameDataSize;
    Cursor at{frame.data, 0, size};
    Element e;
    if (!expect(at, kSequence, e)) return false;
    at = inside(at, e);
    if (!read_header(at, p)) return false;
    p.bindings = Cursor{at.data, at.pos, at.pos};
    if (!at.at_end() && expect(at, kSequence, e)) p.bindings = inside(at, e);
    return true;
}

void hex_text(char* out, const std::uint8_t* octets, std::size_t n)
{
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = digits[octets[i] >> 4];
        out[2 * i + 1] = digits[octets[i] & 0xF];
    }
    out[2 * n] = '\0';
}

void dotted_text(char* out, const Element& e)
{
    FieldText text(out, kValueSize);
    for (std::uint32_t i = 0; i < e.length; ++i) {
        if (i > 0) text.put('.');
        text.put_decimal(e.content[i]);
    }
}

// A binding's value parameter: its name letter and its text (nothing to
// escape in any of them). 0 for a type with no parameter.
char value_param(const Element& e, char* out)
{
    switch (e.tag) {
    case kInteger: std::snprintf(out, kValueSize, "%" PRId32, signed_value(e)); return 'd';
    case kOctetString: hex_text(out, e.content, e.length); return 'x';
    case kNull: out[0] = '\0'; return 'n';
    case kIpAddress: dotted_text(out, e); return 'i';
    case kCounter32: std::snprintf(out, kValueSize, "%" PRIu32, unsigned_value(e)); return 'c';
    case kGauge32: std::snprintf(out, kValueSize, "%" PRIu32, unsigned_value(e)); return 'u';
    case kTimeTicks: std::snprintf(out, kValueSize, "%" PRIu32, unsigned_value(e)); return 't';
    case kCounter64: std::snprintf(out, kValueSize, "%" PRIu64, unsigned_value64(e)); return 'C';
    case kOpaque: hex_text(out, e.content, e.length); return 'p';
    case kOid: {
        bool cut = false;
        return oid_text(out, kValueSize, e.content, e.length, cut) ? 'o' : 0;
    }
    default: return 0;
    }
}

} // namespace

struct SyslogFormatter::Buffers {
    TrapRecord record;
    char report[kReportBufferSize];
    char name[kOidTextSize];
    char value[kValueSize];
    char text[kValueSize];
    char binding[kBindingSize];
};

namespace {

// Builds a message in out[0 .. size): each piece goes whole or not at all.
class Message {
public:
    Message(char* out, std::size_t size) : out_(out), size_(size) {}

    bool put(const char* text, std::size_t n)
    {
        if (n > size_ - used_) return false;
        std::memcpy(out_ + used_, text, n);
        used_ += n;
        return true;
    }
    bool put(const char* text) { return put(text, std::strlen(text)); }
    std::size_t room() const { return size_ - used_; }
    std::size_t used() const { return used_; }

private:
    char* out_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// The element "snmp": its bindings numbered from 1, each with its
// parameters whole, none after the first that does not fit, room kept for
// the closing bracket.
class SnmpElement {
public:
    SnmpElement(Message& message, SyslogFormatter::Buffers& b) : message_(message), b_(b) { message_.put("[snmp"); }

    // `text`, when not null, is escaped UTF-8 already.
    void binding(const char* name, char kind, const char* value, const char* text)
    {
        ++number_;
        if (full_) return;
        int n = std::snprintf(b_.binding, kBindingSize, " v%d=\"%s\"", number_, name);
        if (kind != 0) n += std::snprintf(b_.binding + n, kBindingSize - n, " %c%d=\"%s\"", kind, number_, value);
        if (text != nullptr) n += std::snprintf(b_.binding + n, kBindingSize - n, " a%d=\"%s\"", number_, text);
        full_ = n < 0 || static_cast<std::size_t>(n) >= kBindingSize || static_cast<std::size_t>(n) + 1 > message_.room() ||
                !message_.put(b_.binding, static_cast<std::size_t>(n));
    }

    // A binding as the datagram holds it.
    void binding(const Element& name, const Element& value)
    {
        bool cut = false;
        if (!oid_text(b_.name, sizeof b_.name, name.content, name.length, cut)) b_.name[0] = '\0';
        const char kind = value_param(value, b_.value);
        binding(b_.name, kind, b_.value, value.tag == kOctetString ? octets_as_text(value) : nullptr);
    }

    // The UTF-8 text an OCTET STRING reads as, escaped; null when it reads
    // as none (the report shows it in hex).
    const char* octets_as_text(const Element& e)
    {
        if (e.length == 0) return nullptr;
        switch (octet_string_reading(e.content, e.length)) {
        case OctetReading::Utf8: return escaped_utf8(e);
        case OctetReading::Cp932:
            cp932_to_utf8(b_.text, kValueSize, reinterpret_cast<const char*>(e.content), e.length, true);
            return b_.text;
        default: return nullptr;
        }
    }

    // UTF-8 octets as they are, with the escapes of a PARAM-VALUE.
    const char* escaped_utf8(const Element& e)
    {
        std::size_t used = 0;
        for (std::uint32_t i = 0; i < e.length; ++i) {
            const char c = static_cast<char>(e.content[i]);
            if (c == '"' || c == '\\' || c == ']') b_.text[used++] = '\\';
            b_.text[used++] = c;
        }
        b_.text[used] = '\0';
        return b_.text;
    }

    void close() { message_.put("]"); }  // room was kept for it

private:
    Message& message_;
    SyslogFormatter::Buffers& b_;
    int number_ = 0;
    bool full_ = false;
};

// True when one of the trap's bindings is named `oid`.
bool has_binding(Cursor list, const char* oid, char* name)
{
    for (Element seq, e; !list.at_end() && read_element(list, seq); skip(list, seq)) {
        Cursor in = inside(list, seq);
        bool cut = false;
        if (seq.tag == kSequence && expect(in, kOid, e) && oid_text(name, kOidTextSize, e.content, e.length, cut) &&
            std::strcmp(name, oid) == 0)
            return true;
    }
    return false;
}

// snmpTrapOID.0 of a v1 trap (RFC 3584 3.1): a generic trap's own, or the
// enterprise, 0 and the specific-trap number.
void trap_oid(char* out, std::size_t size, const TrapParts& p, const char* enterprise)
{
    if (p.generic >= 0 && p.generic < kEnterpriseSpecific) {
        std::snprintf(out, size, "%s%d", kSnmpTrapsPrefix, p.generic + 1);
    } else {
        std::snprintf(out, size, "%s.0.%" PRIu32, enterprise, p.specific);
    }
}

void write_bindings(SnmpElement& sd, const TrapParts& p, SyslogFormatter::Buffers& b)
{
    char number[16];
    std::snprintf(number, sizeof number, "%" PRIu32, p.time_stamp);
    sd.binding(kSysUpTime, 't', number, nullptr);
    char enterprise[kOidTextSize];
    bool cut = false;
    if (!oid_text(enterprise, sizeof enterprise, p.enterprise.content, p.enterprise.length, cut)) enterprise[0] = '\0';
    trap_oid(b.value, kValueSize, p, enterprise);
    sd.binding(kSnmpTrapOid, 'o', b.value, nullptr);
    Cursor list = p.bindings;
    for (Element seq, name, value; !list.at_end() && read_element(list, seq); skip(list, seq)) {
        Cursor in = inside(list, seq);
        if (seq.tag != kSequence || !expect(in, kOid, name)) continue;
        skip(in, name);
        if (read_element(in, value)) sd.binding(name, value);
    }
    if (p.agent.tag == kIpAddress && !has_binding(p.bindings, kSnmpTrapAddress, b.name)) {
        dotted_text(b.value, p.agent);
        sd.binding(kSnmpTrapAddress, 'i', b.value, nullptr);
    }
    if (p.version_field != kVersionFieldV3 && !has_binding(p.bindings, kSnmpTrapCommunity, b.name)) {
        hex_text(b.value, p.community.content, p.community.length);
        sd.binding(kSnmpTrapCommunity, 'x', b.value, sd.octets_as_text(p.community));
    }
    if (!has_binding(p.bindings, kSnmpTrapEnterprise, b.name)) sd.binding(kSnmpTrapEnterprise, 'o', enterprise, nullptr);
}

void write_header(Message& m, int priority, std::uint32_t time, const char* hostname)
{
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm utc{};
    char stamp[32] = "-";
    if (gmtime_r(&t, &utc) != nullptr) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    char header[512];
    std::snprintf(header, sizeof header, "<%d>1 %s %s tarnow - - ", priority, stamp, hostname);
    m.put(header);
}

// The report's lines in UTF-8 after the byte order mark, cut to the room left.
void write_text(Message& m, char* out, const TrapFrame& frame, SyslogFormatter::Buffers& b, const MibNames* names)
{
    if (decode_trap(b.record, frame) != 0 || m.room() <= 1 + sizeof kByteOrderMark) return;
    b.report[0] = '\0';
    format_trap_report(b.report, sizeof b.report, b.record, "\n", names);
    std::size_t n = std::strlen(b.report);
    while (n > 0 && b.report[n - 1] == '\n') --n;
    m.put(" ");
    m.put(kByteOrderMark);
    const std::size_t used = m.used();
    // The room and one more for the NUL the conversion writes.
    m.put(out + used, cp932_to_utf8(out + used, m.room() + 1, b.report, n));
}

// The element "origin" with the agent's address, IPv4 or IPv6.
void write_origin(Message& m, const Element& agent, char* text)
{
    if (agent.tag == kOctetString) ipv6_text(agent.content, text, kValueSize);
    else if (agent.length == 4) dotted_text(text, agent);
    else return;
    char origin[64];
    std::snprintf(origin, sizeof origin, "[origin ip=\"%.45s\"]", text);
    m.put(origin);
}

bool fits_hostname(const char* name)
{
    if (name[0] == '\0') return false;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < 33 || *c > 126) return false;
    }
    return true;
}

} // namespace

SyslogFormatter::SyslogFormatter(int facility, const MibNames* names) : names_(names), buffers_(new Buffers)
{
    if (facility < 0 || facility > 23) facility = kDefaultFacility;
    priority_ = facility * 8 + kSeverityNotice;
    if (!local_host_name(hostname_, sizeof hostname_) || !fits_hostname(hostname_)) std::strcpy(hostname_, "-");
}

SyslogFormatter::~SyslogFormatter() = default;

std::size_t SyslogFormatter::format(const TrapFrame& frame, char* out, std::size_t size)
{
    TrapParts parts;
    if (!take_apart(frame, parts)) return 0;
    // One octet kept, so that the text's conversion may end it with a NUL.
    Message m(out, size - 1);
    write_header(m, priority_, frame.time, hostname_);
    SnmpElement sd(m, *buffers_);
    write_bindings(sd, parts, *buffers_);
    sd.close();
    write_origin(m, parts.agent, buffers_->value);
    write_text(m, out, frame, *buffers_, names_);
    return m.used();
}
