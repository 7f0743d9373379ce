// SNMPv1 Trap-PDU decoder and the flat record it fills.
//
// decode_trap() clears the record, stamps recv_time from the frame's time (as
// local time), then walks the BER message in frame.data[0 .. length). It reads
// no byte past min(length, kFrameDataSize) and writes no byte past a field: an
// element whose length runs past the end of the message or of the data
// rejects the datagram, and a text longer than its field is cut to fit, with
// its `_cut` flag set. Returns 0 for a trap, -1 otherwise; after -1 the record
// holds what was decoded before the failing element. No allocation, no state:
// one record per thread is all the caller needs.
//
// Numbers follow X.690: INTEGER fields are two's complement, TimeTicks and
// the counters unsigned; specific_trap is kept unsigned, as the last
// sub-identifier of a notification's identifier it stands for (RFC 3584 3.2).
// The agent-addr is an IpAddress, shown dotted (at most 15 characters, as
// the field always held), or, for a notification from an IPv6 agent, an
// OCTET STRING of exactly the 16 octets of its address, shown as RFC 5952
// text; any other element there rejects the datagram.
// The binding list is read by position: each VarBind is a SEQUENCE of its
// name (an OBJECT IDENTIFIER) and one value of any type; the first ten are
// kept, each value as text in its slot (see binding_value_text in the
// source), and the others are counted in omitted_varbinds. A binding that
// does not begin with a name and a value, or an identifier anywhere with a
// sub-identifier above 2^32-1, rejects the datagram. Identifiers of any
// length RFC 2578 allows fit their fields whole; a number too large for its
// type shows in hex.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ber.h"
#include "common/trap_frame.h"

constexpr int kMaxVarBinds = 10;
constexpr std::uint8_t kPduTrap = 0xA4;
// Identifier text: 128 sub-identifiers of up to 2^32-1 (RFC 2578 3.5), ten
// digits and a dot or the NUL each, with one more for the first octet's two arcs.
constexpr std::size_t kOidTextSize = 129 * 11;
// The other texts: 255 characters and the NUL.
constexpr std::size_t kTextSize = 256;

struct TrapVarBind {
    char name[kOidTextSize];   // object identifier text; empty: the slot is free
    std::uint8_t type;         // the value's BER tag (0x02 INTEGER, 0x04 OCTET STRING, ...)
    char value[kOidTextSize];  // the value as text, see value_type_name(); kTextSize but for identifiers
    bool name_cut;
    bool value_cut;
    bool value_as_octets;      // an OCTET STRING whose text is its octets as they came (no hex, no conversion)
};

struct TrapRecord {
    char recv_time[128];          // "%Y/%m/%d %H:%M:%S", local time
    std::int32_t version;         // version field + 1
    char community[kTextSize];
    std::int32_t pdu_type;        // 0xA4 after a successful decode
    char enterprise[kOidTextSize];
    char agent_addr[46];          // IPv4 dotted (at most 15 characters kept), or IPv6 text
    std::int32_t generic_trap;
    std::uint32_t specific_trap;
    std::uint32_t time_stamp;     // TimeTicks: unsigned
    TrapVarBind varbinds[kMaxVarBinds];
    std::uint32_t omitted_varbinds;  // bindings after the tenth
    bool community_cut;
    bool enterprise_cut;
    bool agent_addr_cut;
};

int decode_trap(TrapRecord& out, const TrapFrame& in);

// The report's name for a value type: "INTEGER", "OCTET STRING", ... Null
// for a tag it has no name for (shown as "0x%02X").
const char* value_type_name(std::uint8_t type);

// False for the types that carry no value to show (NULL and the three
// exceptions noSuchObject, noSuchInstance and endOfMibView).
bool value_type_has_data(std::uint8_t type);

// Number of used variable-binding slots (they form a prefix).
int used_varbinds(const TrapRecord& record);

// Room for a notification identifier: the enterprise, ".0." and a number.
constexpr std::size_t kNotificationIdSize = kOidTextSize + 24;

// The identifier RFC 3584 3.1 gives the trap: snmpTraps.(generic+1) for a
// generic trap 0 to 5, else enterprise.0.specific (empty when the enterprise
// is empty or was cut). `direct` gets enterprise.specific for a trap that
// has one (the identifier an SNMPv2 notification without a 0 before its
// last arc came with), else "". Both kNotificationIdSize.
void notification_identifier(const TrapRecord& record, char* out, char* direct);
