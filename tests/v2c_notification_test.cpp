#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/trap_record.h"
#include "common/v2c_notification.h"
#include "tests/support/trap_bytes.h"

namespace {

constexpr std::uint8_t kInform = 0xA6;
constexpr std::uint8_t kV2Trap = 0xA7;
const Endpoint kFromIpv4{4, {192, 0, 2, 7}, 0};
const Endpoint kFromIpv6{6, {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7}, 0};

V2cNotification translate(const Bytes& message, TrapFrame& out, const Endpoint& source = kFromIpv4)
{
    const TrapFrame in = make_frame(message);
    return translate_v2c_notification(in, source, out);
}

const Bytes kTicks = {0xF0, 0x00, 0x00, 0x00};  // past 2^31: unsigned
const Bytes kIfIndex = binding(oid({6, 1, 2, 1, 2, 2, 1, 1, 3}), integer(3));

TEST(V2cNotification, TranslatesToTheV1TrapItStandsFor)
{
    struct Case {
        const char* what;
        Bytes trap_oid;
        Bytes more;  // bindings after ifIndex
        std::string enterprise;
        int generic;
        std::uint32_t specific;
        const char* agent;
        const Endpoint* source = &kFromIpv4;
    } cases[] = {
        {"linkDown", oid({6, 1, 6, 3, 1, 1, 5, 3}), {}, "1.3.6.1.6.3.1.1.5", 2, 0, "192.0.2.7"},
        {"coldStart with snmpTrapEnterprise.0", oid({6, 1, 6, 3, 1, 1, 5, 1}),
         binding(oid({6, 1, 6, 3, 1, 1, 4, 3, 0}), oid({6, 1, 4, 1, 8072, 3, 2, 10})), "1.3.6.1.4.1.8072.3.2.10", 0,
         0, "192.0.2.7"},
        {"not one of the six", oid({6, 1, 6, 3, 1, 1, 5, 7}), {}, "1.3.6.1.6.3.1.1.5", 6, 7, "192.0.2.7"},
        {"enterprise.0.specific", oid({6, 1, 4, 1, 9, 9, 41, 2, 0, 1}), {}, "1.3.6.1.4.1.9.9.41.2", 6, 1,
         "192.0.2.7"},
        {"enterprise.specific", oid({6, 1, 4, 1, 8072, 4, 5}), {}, "1.3.6.1.4.1.8072.4", 6, 5, "192.0.2.7"},
        {"multi-octet specific", oid({6, 1, 4, 1, 311, 0, 300}), {}, "1.3.6.1.4.1.311", 6, 300, "192.0.2.7"},
        {"snmpTrapAddress.0", oid({6, 1, 4, 1, 8072, 0, 2}),
         binding(oid({6, 1, 6, 3, 18, 1, 3, 0}), tlv(0x40, {10, 1, 2, 3})), "1.3.6.1.4.1.8072", 6, 2, "10.1.2.3"},
        {"specific of 2^32-1", oid({6, 1, 4, 1, 8072, 0, 4294967295u}), {}, "1.3.6.1.4.1.8072", 6, 4294967295u,
         "192.0.2.7"},
        {"longest identifier", tlv(0x06, longest_oid_content()), {}, longest_oid_text(126), 6, 4294967295u, "192.0.2.7"},
        {"long values", oid({6, 1, 4, 1, 8072, 4, 5}), binding(tlv(0x06, longest_oid_content()), tlv(0x02, Bytes(128, 1))),
         "1.3.6.1.4.1.8072.4", 6, 5, "192.0.2.7"},
        {"IPv6 sender", oid({6, 1, 6, 3, 1, 1, 5, 3}), {}, "1.3.6.1.6.3.1.1.5", 2, 0, "2001:db8::7", &kFromIpv6},
        {"IPv6 sender, snmpTrapAddress.0", oid({6, 1, 4, 1, 8072, 0, 2}),
         binding(oid({6, 1, 6, 3, 18, 1, 3, 0}), tlv(0x40, {10, 1, 2, 3})), "1.3.6.1.4.1.8072", 6, 2, "10.1.2.3", &kFromIpv6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (std::uint8_t pdu : {kV2Trap, kInform}) {
            const Bytes list = cat({notification_start(kTicks, c.trap_oid), kIfIndex, c.more});
            TrapFrame v1{};
            ASSERT_EQ(translate(make_v2c(pdu, integer(77), list), v1, *c.source),
                      pdu == kInform ? V2cNotification::Inform : V2cNotification::Trap);
            TrapRecord r;
            ASSERT_EQ(decode_trap(r, v1), 0);
            EXPECT_EQ(r.version, 2);
            EXPECT_STREQ(r.community, "public");
            EXPECT_EQ(r.enterprise, c.enterprise);
            EXPECT_STREQ(r.agent_addr, c.agent);
            EXPECT_EQ(r.generic_trap, c.generic);
            EXPECT_EQ(r.specific_trap, c.specific);
            EXPECT_EQ(r.time_stamp, 0xF0000000u);
            EXPECT_EQ(v1.time, make_frame({}).time);
            ASSERT_EQ(used_varbinds(r), c.more.empty() ? 1 : 2);
            EXPECT_STREQ(r.varbinds[0].name, "1.3.6.1.2.1.2.2.1.1.3");
            EXPECT_STREQ(r.varbinds[0].value, "3");
        }
    }
}

TEST(V2cNotification, MalformedMessagesAreNoNotification)
{
    const Bytes up = binding(oid({6, 1, 2, 1, 1, 3, 0}), tlv(0x43, {1}));
    const Bytes trap_oid = binding(oid({6, 1, 6, 3, 1, 1, 4, 1, 0}), oid({6, 1, 6, 3, 1, 1, 5, 3}));
    const Bytes start = cat({up, trap_oid});
    const Bytes too_big = tlv(0x06, {0x2B, 0x90, 0x80, 0x80, 0x80, 0x00});  // a sub-identifier of 2^32
    auto with_version = [&](std::int32_t version) {
        Bytes m = make_v2c(kV2Trap, integer(1), start);
        m[4] = static_cast<std::uint8_t>(version);
        return m;
    };
    struct Case {
        const char* what;
        Bytes message;
    } cases[] = {
        {"SNMPv1 version field", with_version(0)},
        {"SNMPv3 version field", with_version(3)},
        {"GetResponse", make_v2c(0xA2, integer(1), start)},
        {"v1 Trap-PDU tag", make_v2c(0xA4, integer(1), start)},
        {"request-id not INTEGER", make_v2c(kV2Trap, tlv(0x04, {1}), start)},
        {"empty request-id", make_v2c(kV2Trap, tlv(0x02, {}), start)},
        {"five-octet request-id", make_v2c(kV2Trap, tlv(0x02, {1, 0, 0, 0, 0}), start)},
        {"no sysUpTime.0", make_v2c(kV2Trap, integer(1), trap_oid)},
        {"swapped", make_v2c(kV2Trap, integer(1), cat({trap_oid, up}))},
        {"sysUpTime.0 not TimeTicks", make_v2c(kV2Trap, integer(1),
                                              cat({binding(oid({6, 1, 2, 1, 1, 3, 0}), integer(1)), trap_oid}))},
        {"empty snmpTrapOID.0", make_v2c(kV2Trap, integer(1), cat({up, binding(oid({6, 1, 6, 3, 1, 1, 4, 1, 0}),
                                                                                 tlv(0x06, {}))}))},
        {"unfinished snmpTrapOID.0", make_v2c(kV2Trap, integer(1),
                                             cat({up, binding(oid({6, 1, 6, 3, 1, 1, 4, 1, 0}), tlv(0x06, {0x2B, 0x86}))}))},
        {"later binding without value", make_v2c(kV2Trap, integer(1), cat({start, tlv(0x30, oid({6, 1, 9}))}))},
        {"specific of 2^32", make_v2c(kV2Trap, integer(1), cat({up, binding(oid({6, 1, 6, 3, 1, 1, 4, 1, 0}), too_big)}))},
        {"name with a sub-identifier of 2^32", make_v2c(kV2Trap, integer(1), cat({start, binding(too_big, integer(1))}))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrapFrame v1{};
        EXPECT_EQ(translate(c.message, v1), V2cNotification::None);
        std::uint8_t response[512];
        const TrapFrame in = make_frame(c.message);
        EXPECT_EQ(build_inform_response(in, response, sizeof response), 0u);
    }

    const Bytes inform = make_v2c(kInform, integer(1), cat({start, kIfIndex}));
    for (std::size_t n = 0; n < inform.size(); ++n) {
        SCOPED_TRACE(n);
        TrapFrame in = make_frame(inform);  // the whole message stays in the buffer
        in.length = static_cast<std::uint32_t>(n);
        TrapFrame v1{};
        EXPECT_EQ(translate_v2c_notification(in, kFromIpv4, v1), V2cNotification::None);
        std::uint8_t response[512];
        EXPECT_EQ(build_inform_response(in, response, sizeof response), 0u);
    }
}

TEST(V2cNotification, InformIsAnsweredWithItsRequestIdAndBindings)
{
    const Bytes list = cat({notification_start({0x01, 0x00}, oid({6, 1, 4, 1, 8072, 2, 3, 0, 1})), kIfIndex});
    const Bytes request_id = tlv(0x02, {0x8F, 0x12, 0x34, 0x56});
    const Bytes expected = tlv(0x30, cat({integer(1), tlv(0x04, octets("public")),
                                          tlv(0xA2, cat({request_id, integer(0), integer(0), tlv(0x30, list)}))}));
    // The inform's own error fields are not echoed.
    const Bytes body = cat({request_id, integer(5), integer(2), tlv(0x30, list)});
    const Bytes inform = tlv(0x30, cat({integer(1), tlv(0x04, octets("public")), tlv(kInform, body)}));

    std::uint8_t response[512];
    const TrapFrame in = make_frame(inform);
    const std::size_t size = build_inform_response(in, response, sizeof response);
    EXPECT_EQ(Bytes(response, response + size), expected);
    EXPECT_EQ(build_inform_response(in, response, expected.size() - 1), 0u);
    EXPECT_EQ(build_inform_response(make_frame(make_v2c(kV2Trap, request_id, list)), response, sizeof response), 0u);
}

} // namespace
