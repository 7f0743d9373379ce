// SNMPv2 notifications: an SNMPv2-Trap-PDU or InformRequest-PDU, from a
// version-2c message or a version-3 scoped PDU, translated into the SNMPv1
// Trap-PDU message it stands for (RFC 3584, 3.2), and the Response-PDU that
// acknowledges an inform.
//
// The translation takes the time stamp from sysUpTime.0 and the enterprise,
// generic and specific trap from snmpTrapOID.0 (the first two bindings, as
// RFC 3416 requires); the agent address from snmpTrapAddress.0, else the
// address the datagram came from: an IPv4 one as the IpAddress agent-addr,
// an IPv6 one, which no IpAddress holds, as an OCTET STRING of its 16 octets
// in the agent-addr's place (decode_trap reads both); the other bindings
// follow unchanged. The
// specific-trap is the last sub-identifier, encoded as a non-negative INTEGER
// (up to 2^32-1, RFC 3584 3.2). The v1 message takes the version field and
// community it is given: a v2c message's (1, so the decoded record shows
// version 2), or 2 and the user name for v3 (shown as version 3). An identifier with a sub-identifier
// above 2^32-1 makes the message no well-formed notification.
// No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/snmp_message.h"
#include "common/trap_frame.h"
#include "platform/sockets.h"

enum class V2cNotification { None, Trap, Inform };

// Where a notification PDU came from, as its v1 frame records it.
struct NotificationOrigin {
    std::uint8_t version_field;  // 1 for v2c, 2 for v3
    Span community;              // the community, or the v3 user name
    Endpoint source;             // the sender
    std::uint32_t time;          // the frame's receive time
};

// Translates the notification PDU (the element, tag and all) into an SNMPv1
// Trap-PDU message in `out`. None, `out` unspecified, when `pdu` is no
// well-formed notification or its translation does not fit a frame.
V2cNotification translate_notification(const Span& pdu, const NotificationOrigin& origin, TrapFrame& out);

// The Response-PDU element answering the InformRequest-PDU `pdu`: same
// request-id and bindings, error-status and error-index 0. Its size, 0 when
// `pdu` is no well-formed inform or the response does not fit.
std::size_t build_response_pdu(const Span& pdu, std::uint8_t* out, std::size_t capacity);

// Translates the notification in `in` into an SNMPv1 Trap-PDU message in
// `out`, with `in`'s time, as sent by `source`. None (and `out` unspecified) when `in` is no well-formed v2c
// notification or its translation does not fit a frame.
// The message answering a v2c InformRequest: the same version and community
// around build_response_pdu()'s PDU. Its size, 0 as there.
std::size_t build_community_response(const SnmpMessage& message, std::uint8_t* out, std::size_t capacity);

V2cNotification translate_v2c_notification(const TrapFrame& in, const Endpoint& source, TrapFrame& out);

// The Response-PDU answering the InformRequest in `in`: same version,
// community, request-id and bindings, error-status and error-index 0.
// Returns its size in `out`, 0 when `in` is no well-formed inform or the
// response does not fit `capacity`.
std::size_t build_inform_response(const TrapFrame& in, std::uint8_t* out, std::size_t capacity);
