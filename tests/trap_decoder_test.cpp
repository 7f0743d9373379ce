#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/trap_record.h"
#include "tests/support/test_platform.h"
#include "tests/support/trap_bytes.h"

namespace {

int decode(const Bytes& datagram, TrapRecord& record)
{
    const TrapFrame frame = make_frame(datagram);
    return decode_trap(record, frame);
}

TEST(TrapDecoder, ExampleTrapFillsEveryField)
{
    set_time_zone("JST-9");
    TrapRecord r;
    ASSERT_EQ(example_trap().size(), 57u);
    ASSERT_EQ(decode(example_trap(), r), 0);
    EXPECT_STREQ(r.recv_time, "2005/06/07 17:09:10");
    EXPECT_EQ(r.version, 1);
    EXPECT_STREQ(r.community, "public");
    EXPECT_EQ(r.pdu_type, 0xA4);
    EXPECT_STREQ(r.enterprise, "1.3.6.1.4.1.311");
    EXPECT_STREQ(r.agent_addr, "10.0.0.1");
    EXPECT_EQ(r.generic_trap, 6);
    EXPECT_EQ(r.specific_trap, 1);
    EXPECT_EQ(r.time_stamp, 100);
    ASSERT_EQ(used_varbinds(r), 1);
    EXPECT_STREQ(r.varbinds[0].name, "1.3.6.1.2.1.1.5.0");
    EXPECT_EQ(r.varbinds[0].type, 0x04);
    EXPECT_STREQ(r.varbinds[0].value, "up");
}

TEST(TrapDecoder, ColdStartWithoutBindings)
{
    const Bytes example = example_trap();
    Bytes trap(example.begin(), example.begin() + 39);  // ends after 43 01 64
    trap[1] = 37;   // outer length
    trap[14] = 24;  // PDU length
    trap[32] = 0;   // generic-trap coldStart
    TrapRecord r;
    ASSERT_EQ(decode(trap, r), 0);
    EXPECT_EQ(r.generic_trap, 0);
    EXPECT_EQ(r.time_stamp, 100);
    EXPECT_EQ(used_varbinds(r), 0);
}

TEST(TrapDecoder, RejectsWhatIsNotAnSnmpV1Trap)
{
    struct Case {
        const char* what;
        std::size_t index;
        std::uint8_t byte;
    } cases[] = {
        {"SNMPv2c notification", 13, 0xA7},
        {"GetResponse", 13, 0xA2},
        {"not a SEQUENCE", 0, 0x31},
        {"version not INTEGER", 2, 0x04},
        {"community not OCTET STRING", 5, 0x02},
        {"enterprise not OID", 15, 0x04},
        {"agent address not IpAddress", 24, 0x04},
        {"generic trap not INTEGER", 30, 0x04},
        {"specific trap not INTEGER", 33, 0x43},
        {"time stamp not TimeTicks", 36, 0x02},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes trap = example_trap();
        trap[c.index] = c.byte;
        TrapRecord r;
        EXPECT_EQ(decode(trap, r), -1);
    }
}

TEST(TrapDecoder, TwelveIntegerBindingsKeepTheFirstTen)
{
    Bytes list;
    for (int i = 1; i <= 12; ++i) {
        const Bytes b = binding(oid({6, 1, 2, 1, 2, 2, 1, 1, static_cast<std::uint32_t>(i)}), integer(i * 100));
        list.insert(list.end(), b.begin(), b.end());
    }
    TrapRecord r;
    ASSERT_EQ(decode(make_trap(2, 0, list), r), 0);
    ASSERT_EQ(used_varbinds(r), 10);
    EXPECT_STREQ(r.varbinds[0].name, "1.3.6.1.2.1.2.2.1.1.1");
    EXPECT_STREQ(r.varbinds[9].name, "1.3.6.1.2.1.2.2.1.1.10");
    EXPECT_STREQ(r.varbinds[9].value, "1000");
    EXPECT_EQ(r.varbinds[9].type, 0x02);
    EXPECT_EQ(r.omitted_varbinds, 2u);
}

TEST(TrapDecoder, BindingsThatAreNoNameValuePairAreRejected)
{
    struct Case {
        const char* what;
        Bytes binding;
    } cases[] = {
        {"name only", tlv(0x30, oid({6, 1, 9}))},
        {"value first", tlv(0x30, cat({integer(1), oid({6, 1, 9})}))},
        {"not a SEQUENCE", tlv(0x31, cat({oid({6, 1, 9}), integer(1)}))},
        {"value past the binding", cat({Bytes{0x30, 0x05}, oid({6, 1, 9}), integer(1)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrapRecord r;
        EXPECT_EQ(decode(make_trap(6, 1, cat({binding(oid({6, 1, 8}), integer(1)), c.binding})), r), -1);
    }
}

// A trap whose version, generic-trap, specific-trap and time-stamp fields all
// hold `content`.
Bytes trap_with_numbers(const Bytes& content)
{
    const Bytes pdu = cat({oid({6, 1, 4, 1, 311}), tlv(0x40, {10, 0, 0, 1}), tlv(0x02, content), tlv(0x02, content),
                           tlv(0x43, content)});
    return tlv(0x30, cat({tlv(0x02, content), tlv(0x04, octets("public")), tlv(0xA4, pdu)}));
}

TEST(TrapDecoder, IntegersAreTwosComplementAndTimeTicksUnsigned)
{
    struct Case {
        Bytes content;
        const char* integer;  // INTEGER binding, generic and specific trap
        std::uint32_t ticks;  // the time stamp
    } cases[] = {
        {{0xFF}, "-1", 255u},
        {{0xF9}, "-7", 249u},
        {{0xBA}, "-70", 186u},
        {{0x00, 0xFF}, "255", 255u},
        {{0x80, 0x00, 0x00}, "-8388608", 8388608u},
        {{}, "0", 0u},
        {{0x00, 0x00, 0x00, 0x00, 0x07}, "7", 7u},
        {{0x7F, 0xFF, 0xFF, 0xFF}, "2147483647", 0x7FFFFFFFu},
        {{0x80, 0x00, 0x00, 0x00}, "-2147483648", 0x80000000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.integer);
        TrapRecord r;
        ASSERT_EQ(decode(make_trap(6, 1, binding(oid({6, 1, 9}), tlv(0x02, c.content))), r), 0);
        EXPECT_STREQ(r.varbinds[0].value, c.integer);

        ASSERT_EQ(decode(trap_with_numbers(c.content), r), 0);
        const std::int32_t value = std::stoi(c.integer);
        EXPECT_EQ(r.version, static_cast<std::int32_t>(static_cast<std::uint32_t>(value) + 1u));
        EXPECT_EQ(r.generic_trap, value);
        EXPECT_EQ(r.specific_trap, static_cast<std::uint32_t>(value));  // unsigned
        EXPECT_EQ(r.time_stamp, c.ticks);
    }
}

TEST(TrapDecoder, EveryValueTypeBecomesText)
{
    struct Case {
        Bytes value;
        const char* text;
    } cases[] = {
        {tlv(0x41, {0xFF, 0xFF, 0xFF, 0xFF}), "4294967295"},
        {tlv(0x42, {0x00, 0x80}), "128"},
        {tlv(0x43, {0x80, 0x00, 0x00, 0x00}), "2147483648"},
        {tlv(0x46, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "18446744073709551615"},
        {tlv(0x41, {0x00, 0xFF, 0xFF, 0xFF, 0xFF}), "4294967295"},
        {tlv(0x02, {0x00, 0xFF, 0xFF, 0xFF, 0xFF}), "00 FF FF FF FF"},  // too large for their types: hex
        {tlv(0x41, {0x01, 0x00, 0x00, 0x00, 0x00}), "01 00 00 00 00"},
        {tlv(0x40, {192, 168, 0, 254}), "192.168.0.254"},
        {oid({6, 1, 4, 1, 8072, 3}), "1.3.6.1.4.1.8072.3"},
        {tlv(0x44, {0x9F, 0x78, 0x04}), "9F 78 04"},
        {tlv(0x47, {0x01, 0xAB}), "01 AB"},  // unknown tags
        {tlv(0x00, {0x07}), "07"},
        {tlv(0x05, {}), ""},
        {tlv(0x81, {}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TrapRecord r;
        ASSERT_EQ(decode(make_trap(6, 1, cat({binding(oid({6, 1, 9, 1}), c.value), binding(oid({6, 1, 9, 2}),
                                                                                            integer(1))})),
                         r),
                  0);
        ASSERT_EQ(used_varbinds(r), 2);
        EXPECT_STREQ(r.varbinds[0].name, "1.3.6.1.9.1");
        EXPECT_EQ(r.varbinds[0].type, c.value[0]);
        EXPECT_STREQ(r.varbinds[0].value, c.text);
        EXPECT_STREQ(r.varbinds[1].name, "1.3.6.1.9.2");
    }
}

TEST(TrapDecoder, OctetStringsReadAsTextOrHex)
{
    const std::string cp932_long = [] {
        std::string s = "a";
        for (int i = 0; i < 200; ++i) s += "\x93\xfa";  // 日
        return s;
    }();
    const std::string utf8_long = [] {
        std::string s = "a";
        for (int i = 0; i < 200; ++i) s += "\xe6\x97\xa5";  // 日
        return s;
    }();
    struct Case {
        const char* what;
        std::string octets;
        std::string text;
    } cases[] = {
        {"ASCII", "link down", "link down"},
        {"TAB CR LF", "a\tb\r\nc", "a\tb\r\nc"},
        {"NUL", std::string("ab\0c", 4), "61 62 00 63"},
        {"MAC", std::string("\x00\x1a\x2b\x3c\x4d\x5e", 6), "00 1A 2B 3C 4D 5E"},
        {"CP932", "\x83\x8a\x83\x93\x83\x4e\x92\x66", "\x83\x8a\x83\x93\x83\x4e\x92\x66"},  // リンク断
        {"UTF-8", "\xe3\x83\xaa\xe3\x83\xb3\xe3\x82\xaf\xe6\x96\xad", "\x83\x8a\x83\x93\x83\x4e\x92\x66"},
        {"UTF-8 without CP932 form", "caf\xc3\xa9 \xf0\x9f\x98\x80", "caf? ?"},
        {"CP932 that reads as UTF-8 without CP932 form", "\xc3\xbd", "\xc3\xbd"},  // ﾃｽ, not ý
        {"half-width katakana", "\xb1\xb2", "\xb1\xb2"},
        {"lone lead octet", "a\x83", "61 83"},
        {"unassigned double-byte code", "\x85\x40", "85 40"},
        {"user-defined area", "\xf0\x40", "F0 40"},
        {"UTF-8 control character", "\xc2\x85", "C2 85"},
        {"CP932 cut at a character", cp932_long, cp932_long.substr(0, 255)},
        {"UTF-8 cut at a character", utf8_long, cp932_long.substr(0, 255)},
        {"hex cut at a pair", std::string(100, '\x01'), [] {
             std::string s = "01";
             for (int i = 1; i < 85; ++i) s += " 01";
             return s;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrapRecord r;
        ASSERT_EQ(decode(make_trap(6, 1, binding(oid({6, 1, 9}), tlv(0x04, octets(c.octets)))), r), 0);
        EXPECT_EQ(std::string(r.varbinds[0].value), c.text);
    }
}

TEST(TrapDecoder, LongFormLengthsDecodeAsTheShortForm)
{
    const Bytes shortform = example_trap();
    const Bytes body(shortform.begin() + 2, shortform.end());
    const Bytes forms[] = {cat({{0x30, 0x81, 0x37}, body}), cat({{0x30, 0x82, 0x00, 0x37}, body}),
                           cat({{0x30, 0x84, 0x00, 0x00, 0x00, 0x37}, body})};
    for (const Bytes& trap : forms) {
        SCOPED_TRACE(trap[1]);
        TrapRecord expected, r;
        ASSERT_EQ(decode(shortform, expected), 0);
        ASSERT_EQ(decode(trap, r), 0);
        EXPECT_EQ(std::memcmp(&expected, &r, sizeof r), 0);
    }
}

TEST(TrapDecoder, BerLength)
{
    struct Case {
        Bytes element;
        std::uint32_t length;
        std::size_t header;
    } cases[] = {
        {{0x04, 0x05}, 5, 2},
        {{0x04, 0x7F}, 127, 2},
        {{0x04, 0x81, 0x80}, 128, 3},
        {{0x04, 0x82, 0x01, 0x00}, 256, 4},
        {{0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu, 6},
        {{0x04, 0x85, 0x00, 0x00, 0x00, 0x00, 0x05}, 0, 7},  // five length octets count as 0
        {{0x04, 0x80}, 0, 2},                                // indefinite form
        {{0x04, 0x82, 0x01}, 0, 4},                          // length octets missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(ber_length(c.element.data(), c.element.size()), c.length);
        EXPECT_EQ(ber_header_size(c.element.data(), c.element.size()), c.header);
    }
}

TEST(TrapDecoder, FiveLengthOctetsGiveAnEmptyElement)
{
    const Bytes value = {0x04, 0x85, 0x00, 0x00, 0x00, 0x00, 0x05};
    TrapRecord r;
    ASSERT_EQ(decode(make_trap(6, 1, binding(oid({6, 1, 9}), value)), r), 0);
    EXPECT_EQ(r.varbinds[0].type, 0x04);
    EXPECT_STREQ(r.varbinds[0].value, "");
}

TEST(TrapDecoder, EveryTruncationIsRejectedWithoutReadingPastTheLength)
{
    const Bytes trap = example_trap();
    for (std::size_t n = 0; n < trap.size(); ++n) {
        SCOPED_TRACE(n);
        // The frame still holds the whole trap: reading past `length` would decode it.
        TrapFrame frame = make_frame(trap);
        frame.length = static_cast<std::uint32_t>(n);
        TrapRecord r;
        EXPECT_EQ(decode_trap(r, frame), -1);
    }
}

TEST(TrapDecoder, LengthsThatClaimMoreThanTheDatagramAreRejected)
{
    struct Case {
        const char* what;
        std::size_t index;
        std::uint8_t length;
    } cases[] = {
        {"outer sequence", 1, 0x38},  {"version", 3, 0x40},      {"community", 6, 0x7E},
        {"enterprise", 16, 0x7E},     {"agent address", 25, 0x30}, {"time stamp", 37, 0x20},
        {"binding name", 44, 0x7E},   {"binding value", 54, 0x03},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes trap = example_trap();
        trap[c.index] = c.length;
        TrapRecord r;
        EXPECT_EQ(decode(trap, r), -1);
    }
    Bytes huge = example_trap();
    huge.insert(huge.begin() + 1, {0x84, 0xFF, 0xFF, 0xFF});
    huge[5] = 0xFF;
    TrapRecord r;
    EXPECT_EQ(decode(huge, r), -1);
}

TEST(TrapDecoder, LongValuesAreTakenCutToTheField)
{
    TrapRecord r;
    ASSERT_EQ(decode(make_trap(6, 1, binding(oid({6, 1}), tlv(0x02, Bytes(128, 0x01)))), r), 0);
    EXPECT_EQ(std::strlen(r.varbinds[0].value), 254u);  // 85 hex pairs
    EXPECT_TRUE(r.varbinds[0].value_cut);
    ASSERT_EQ(decode(make_trap(6, 1, binding(oid({6, 1}), tlv(0x04, Bytes(300, 'x')))), r), 0);
    EXPECT_EQ(std::strlen(r.varbinds[0].value), 255u);
    EXPECT_TRUE(r.varbinds[0].value_cut);
}

TEST(TrapDecoder, TextsLongerThanTheirFieldsAreCut)
{
    const Bytes pdu = cat({oid({6, 1, 4, 1, 311}), tlv(0x40, {255, 255, 255, 255, 255}), integer(6), integer(1),
                           tlv(0x43, {1})});
    const Bytes trap = tlv(0x30, cat({integer(0), tlv(0x04, Bytes(300, 'c')), tlv(0xA4, pdu)}));
    TrapRecord r;
    ASSERT_EQ(decode(trap, r), 0);
    EXPECT_EQ(std::strlen(r.community), 255u);
    EXPECT_STREQ(r.agent_addr, "255.255.255.255");
    EXPECT_TRUE(r.community_cut && r.agent_addr_cut && !r.enterprise_cut);

    struct Case {
        Bytes agent;
        int result;
        const char* text;
    } agents[] = {
        {tlv(0x40, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}), 0, "1.2.3.4.5.6.7.8"},
        {tlv(0x04, from_hex("20010db8000000000000000000000001")), 0, "2001:db8::1"},
        {tlv(0x04, from_hex("20010db8000000010000000000000001")), 0, "2001:db8:0:1::1"},
        {tlv(0x04, from_hex("20010000000000010000000000000001")), 0, "2001:0:0:1::1"},
        {tlv(0x04, from_hex("20010db8000000000001000000000001")), 0, "2001:db8::1:0:0:1"},
        {tlv(0x04, from_hex("20010db8000000010001000100010001")), 0, "2001:db8:0:1:1:1:1:1"},
        {tlv(0x04, from_hex("fe80000000000000000000000000abcd")), 0, "fe80::abcd"},
        {tlv(0x04, Bytes(16, 0)), 0, "::"},
        {tlv(0x04, from_hex("00000000000000000000ffffc0000201")), 0, "::ffff:192.0.2.1"},
        {tlv(0x04, Bytes(15, 1)), -1, ""},
        {tlv(0x04, Bytes(17, 1)), -1, ""},
    };
    for (const Case& c : agents) {
        SCOPED_TRACE(c.text);
        const Bytes agent_pdu = cat({oid({6, 1, 4, 1, 311}), c.agent, integer(6), integer(1), tlv(0x43, {1})});
        ASSERT_EQ(decode(tlv(0x30, cat({integer(0), tlv(0x04, octets("public")), tlv(0xA4, agent_pdu)})), r), c.result);
        EXPECT_STREQ(r.agent_addr, c.text);
    }

    Bytes many_arcs{0x2B};
    for (int i = 0; i < 400; ++i) many_arcs.push_back(100);  // ".100" each: past 128 sub-identifiers
    ASSERT_EQ(decode(make_trap(6, 1, binding(tlv(0x06, many_arcs), integer(1))), r), 0);
    EXPECT_EQ(std::strlen(r.varbinds[0].name), kOidTextSize - 1);
    EXPECT_EQ(std::string(r.varbinds[0].name).substr(0, 12), "1.3.100.100.");
    EXPECT_TRUE(r.varbinds[0].name_cut);
}

TEST(TrapDecoder, SubIdentifiersAreUnsigned32Bit)
{
    struct Case {
        Bytes content;
        std::string text;  // empty: refused
    } cases[] = {
        {{0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, "1.3.4294967295"},
        {{0x2B, 0x90, 0x80, 0x80, 0x80, 0x05}, ""},  // 2^32 + 5
        {{0x2B, 0x06, 0x81}, "1.3.6"},               // unterminated last arc is dropped
        {{0x2B}, "1.3"},
        {{}, "1.3"},
        {longest_oid_content(), longest_oid_text()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TrapRecord r;
        const Bytes name = tlv(0x06, c.content);
        ASSERT_EQ(decode(make_trap(6, 1, binding(name, name)), r), c.text.empty() ? -1 : 0);
        EXPECT_EQ(c.text.empty() ? "" : std::string(r.varbinds[0].name) + r.varbinds[0].value, c.text + c.text);
    }
}

TEST(TrapDecoder, EmptyAndOversizedFrames)
{
    TrapRecord r;
    EXPECT_EQ(decode(Bytes{}, r), -1);
    // A length above the frame's buffer reads only the buffer.
    TrapFrame frame = make_frame(example_trap());
    frame.length = 0xFFFFFFFFu;
    EXPECT_EQ(decode_trap(r, frame), 0);
    EXPECT_STREQ(r.varbinds[0].value, "up");
}

TEST(TrapDecoder, FailedDecodeKeepsWhatCameBefore)
{
    Bytes trap = example_trap();
    trap[13] = 0xA7;
    TrapRecord r;
    std::memset(&r, 0x55, sizeof r);
    ASSERT_EQ(decode(trap, r), -1);
    EXPECT_EQ(r.version, 1);
    EXPECT_STREQ(r.community, "public");
    EXPECT_EQ(r.pdu_type, 0);
    EXPECT_STREQ(r.enterprise, "");
    EXPECT_NE(r.recv_time[0], '\0');
}

} // namespace
