// SNMPv1 Trap-PDU decoder and the flat record it fills.
//
// decode_trap() clears the record, stamps recv_time from the frame's time (as
// local time), then walks the BER message in frame.data[0 .. length). It reads
// no byte past min(length, kFrameDataSize) and writes no byte past a field: an
// element whose length runs past the end of the message or of the data
// rejects the datagram, and a text longer than its field is cut to fit.
// Returns 0 for a trap, -1 otherwise; after -1 the record holds what was
// decoded before the failing element. No allocation, no state: one record per
// thread is all the caller needs.
//
// Numbers follow X.690: INTEGER fields are two's complement, TimeTicks and
// the counters unsigned. The binding list is read by position: each VarBind
// is a SEQUENCE of its name (an OBJECT IDENTIFIER) and one value of any type;
// the first ten are kept, each value as text in its slot (see
// binding_value_text in the source). A binding that does not begin with a
// name and a value, or whose number or identifier value is 128 octets or
// longer, rejects the datagram.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ber.h"
#include "common/trap_frame.h"

constexpr int kMaxVarBinds = 10;
constexpr std::uint8_t kPduTrap = 0xA4;

struct TrapVarBind {
    char name[256];      // object identifier text; empty: the slot is free
    std::uint8_t type;   // the value's BER tag (0x02 INTEGER, 0x04 OCTET STRING, ...)
    char value[256];     // the value as text, see value_type_name()
};

struct TrapRecord {
    char recv_time[128];          // "%Y/%m/%d %H:%M:%S", local time
    std::int32_t version;         // version field + 1
    char community[256];
    std::int32_t pdu_type;        // 0xA4 after a successful decode
    char enterprise[256];
    char agent_addr[16];
    std::int32_t generic_trap;
    std::int32_t specific_trap;
    std::uint32_t time_stamp;     // TimeTicks: unsigned
    TrapVarBind varbinds[kMaxVarBinds];
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
