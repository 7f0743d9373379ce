// Building SNMPv1 traps byte by byte for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/trap_frame.h"
#include "common/trap_record.h"

using Bytes = std::vector<std::uint8_t>;

// One BER element: tag, definite length (short or long form), content.
Bytes tlv(std::uint8_t tag, const Bytes& content);
Bytes cat(std::initializer_list<Bytes> parts);
Bytes octets(const std::string& text);
Bytes from_hex(const std::string& hex);  // two digits an octet
std::string to_hex(const std::uint8_t* data, std::size_t size);  // lower case
Bytes oid(std::initializer_list<std::uint32_t> arcs);  // arcs after 1.3
Bytes integer(std::int32_t value);                        // minimal two's complement
// The longest identifier's content: 1.3 and 127 sub-identifiers of 2^32-1; its text.
Bytes longest_oid_content();
std::string longest_oid_text(int arcs_after_1_3 = 127);

// A Trap-PDU message with community "public", enterprise 1.3.6.1.4.1.311,
// agent 10.0.0.1 and the given generic/specific numbers and binding list
// content (a sequence of bindings; empty: no binding list at all).
Bytes make_trap(int generic, int specific, const Bytes& bindings);
Bytes binding(const Bytes& name, const Bytes& value);

// A version-2c message (version field 1, community "public") with the given
// PDU tag, request-id element and binding list content.
Bytes make_v2c(std::uint8_t pdu, const Bytes& request_id, const Bytes& bindings);
// The two bindings every v2c notification starts with: sysUpTime.0 holding
// `ticks` as TimeTicks content, and snmpTrapOID.0 holding the identifier `trap_oid`.
Bytes notification_start(const Bytes& ticks, const Bytes& trap_oid);

// The 57-octet example trap (enterprise-specific 1, one binding sysName "up").
Bytes example_trap();

TrapFrame make_frame(const Bytes& datagram, std::uint32_t time = 1118131750u);
