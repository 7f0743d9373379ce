// Takes an SNMP message apart once: its version and security, yielding the
// PDU. Version 1 and 2c carry a community; version 3 (RFC 3412) carries its
// header and the user-based security model's parameters (RFC 3414 2.4), and
// a scoped PDU that is read here when it is plaintext, and after decryption
// otherwise. Every length is checked against what encloses it. No allocation;
// the spans point into the message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/ber.h"

struct Span {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

enum class SnmpVersion : std::uint8_t { V1 = 0, V2c = 1, V3 = 3 };

constexpr std::uint8_t kMsgFlagAuth = 0x01;
constexpr std::uint8_t kMsgFlagPriv = 0x02;
constexpr std::uint8_t kMsgFlagReportable = 0x04;
constexpr std::uint32_t kUsmSecurityModel = 3;

constexpr std::uint8_t kPduGet = 0xA0;
constexpr std::uint8_t kPduGetNext = 0xA1;
constexpr std::uint8_t kPduResponse = 0xA2;
constexpr std::uint8_t kPduSet = 0xA3;
constexpr std::uint8_t kPduV1Trap = 0xA4;
constexpr std::uint8_t kPduGetBulk = 0xA5;
constexpr std::uint8_t kPduInform = 0xA6;
constexpr std::uint8_t kPduV2Trap = 0xA7;
constexpr std::uint8_t kPduReport = 0xA8;

struct UsmParameters {
    Span engine_id;          // msgAuthoritativeEngineID
    std::uint32_t boots = 0; // msgAuthoritativeEngineBoots
    std::uint32_t time = 0;  // msgAuthoritativeEngineTime
    Span user;               // msgUserName
    Span auth;               // msgAuthenticationParameters' octets
    std::size_t auth_offset = 0;  // where they sit in the message
    Span priv;               // msgPrivacyParameters' octets
};

struct SnmpMessage {
    SnmpVersion version = SnmpVersion::V1;
    std::size_t message_size = 0;  // the outer SEQUENCE, header and all
    Span community;  // v1, v2c
    // v3
    std::uint32_t msg_id = 0;
    std::uint8_t flags = 0;
    UsmParameters usm;
    Span scoped_pdu;  // the ScopedPDU element, or with privacy the encrypted octets
    Span context_engine_id, context_name;
    // The PDU element, tag and all: v1 and v2c at once, v3 once its scoped
    // PDU is read.
    Span pdu;
    std::uint8_t pdu_tag = 0;
};

// False when data[0 .. size) is no message of version 1, 2c or 3 with the
// user-based security model, or its header is malformed (for v3 also a
// privacy flag without authentication). A v3 message's plaintext scoped PDU
// is read too.
bool read_snmp_message(const std::uint8_t* data, std::size_t size, SnmpMessage& m);

// Reads a ScopedPDU element at data[0], ignoring what follows it (the
// padding a cipher adds), into the context fields and the PDU.
bool read_scoped_pdu(const std::uint8_t* data, std::size_t size, SnmpMessage& m);

// The request-id of a PDU (RFC 3416: an INTEGER of up to four octets), its
// element in `out`; false when the PDU does not begin with one.
bool read_request_id(const Span& pdu, ber::Element& out);
