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
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/trap_frame.h"

constexpr int kMaxVarBinds = 10;
constexpr std::uint8_t kPduTrap = 0xA4;

struct TrapVarBind {
    char name[256];   // object identifier text; empty: the slot is free
    char type;        // 'I' INTEGER, 'O' OCTET STRING, 0 none
    char value[256];  // "%d" text for 'I', the octets (NUL-terminated) for 'O'
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
    std::int32_t time_stamp;
    TrapVarBind varbinds[kMaxVarBinds];
};

int decode_trap(TrapRecord& out, const TrapFrame& in);

// Length of the BER element whose tag octet is element[0], from the octets
// after it: short form, or N long-form octets big-endian; N = 0 or N > 4
// gives 0. `available` is how many octets element points at; length octets
// beyond it count as missing and give 0.
std::uint32_t ber_length(const std::uint8_t* element, std::size_t available);

// Header size (tag and length octets) of the element at element[0]: 2 for the
// short form, 2 + N for the long form.
std::size_t ber_header_size(const std::uint8_t* element, std::size_t available);

// Number of used variable-binding slots (they form a prefix).
int used_varbinds(const TrapRecord& record);
