// SNMPv2c notifications: an SNMPv2-Trap-PDU or InformRequest-PDU in a
// version-2c message, translated into the SNMPv1 Trap-PDU message it stands
// for (RFC 3584, 3.2), and the Response-PDU that acknowledges an inform.
//
// The translation takes the time stamp from sysUpTime.0 and the enterprise,
// generic and specific trap from snmpTrapOID.0 (the first two bindings, as
// RFC 3416 requires); the agent address from snmpTrapAddress.0, else the
// address the datagram came from; the other bindings follow unchanged. The
// specific-trap is the last sub-identifier, encoded as a non-negative INTEGER
// (up to 2^32-1, RFC 3584 3.2). The message keeps its version field (1), so
// the decoded record shows version 2. An identifier with a sub-identifier
// above 2^32-1 makes the message no well-formed notification.
// No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/trap_frame.h"

enum class V2cNotification { None, Trap, Inform };

// Translates the notification in `in` into an SNMPv1 Trap-PDU message in
// `out`, with `in`'s time. `source` is the sender's IPv4 address in network
// byte order. None (and `out` unspecified) when `in` is no well-formed v2c
// notification or its translation does not fit a frame.
V2cNotification translate_v2c_notification(const TrapFrame& in, std::uint32_t source, TrapFrame& out);

// The Response-PDU answering the InformRequest in `in`: same version,
// community, request-id and bindings, error-status and error-index 0.
// Returns its size in `out`, 0 when `in` is no well-formed inform or the
// response does not fit `capacity`.
std::size_t build_inform_response(const TrapFrame& in, std::uint8_t* out, std::size_t capacity);
