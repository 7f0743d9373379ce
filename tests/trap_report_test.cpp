#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "common/display_hint.h"
#include "common/trap_report.h"
#include "tests/support/trap_bytes.h"

namespace {

// Expected labels, as CP932 bytes.
const std::string kRecvTime = "\x8E\xF3\x90M\x93\xFA\x8E\x9E: ";  // 受信日時:
const std::string kVersion = "\x83o\x81[\x83W\x83\x87\x83\x93: ";  // バージョン:
const std::string kCommunity = "\x83R\x83~\x83\x85\x83j\x83" "e\x83" "B: ";  // コミュニティ:
const std::string kPduType = "PDU\x83^\x83" "C\x83v: ";  // PDUタイプ:
const std::string kEnterprise = "\x83x\x83\x93\x83_\x81[OID: ";  // ベンダーOID:
const std::string kAgent = "\x83G\x81[\x83W\x83" "F\x83\x93\x83g\x83" "A\x83h\x83\x8C\x83X: ";  // エージェントアドレス:
const std::string kGeneric = "\x94\xC4\x97p\x83g\x83\x89\x83" "b\x83v: ";  // 汎用トラップ:
const std::string kSpecific = "\x8A\xE9\x8B\xC6\x8C\xC5\x97L\x83g\x83\x89\x83" "b\x83v: ";  // 企業固有トラップ:
const std::string kTimeStamp = "\x83^\x83" "C\x83\x80\x83`\x83" "b\x83N: ";  // タイムチック:
const std::string kSlot = "\x83g\x83\x89\x83" "b\x83v\x8F\xEE\x95\xF1[";  // トラップ情報[
const std::string kName = "    \x83I\x83u\x83W\x83" "F\x83N\x83g\x8E\xAF\x95\xCA\x8Eq: ";  // オブジェクト識別子:
const std::string kInteger = "    \x83^\x83" "C\x83v: INTEGER";  // タイプ: INTEGER
const std::string kOctets = "    \x83^\x83" "C\x83v: OCTET STRING";  // タイプ: OCTET STRING
const std::string kData = "    \x83" "f\x81[\x83^: ";  // データ:
const std::string kCut = "\x81" "c(\x88\xC8\x89\xBA\x8F\xC8\x97\xAA)";  // …(以下省略)
const std::string kOmittedTwo = "(\x88\xC8\x89\xBA 2 \x8C\x8F\x82\xCC\x83g\x83\x89\x83" "b\x83v\x8F\xEE\x95\xF1\x82\xCD\x8F\xC8\x97\xAA)";

// What `write` puts into a binary-mode file.
std::string captured(const std::function<void(std::FILE*)>& write)
{
    // One file per test: CTest runs the tests of this program in parallel processes.
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        (std::string("tarnow_report_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::FILE* f = std::fopen(path.string().c_str(), "wb+");
    EXPECT_NE(f, nullptr);
    write(f);
    std::fflush(f);
    std::string text;
    std::fseek(f, 0, SEEK_SET);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
    std::filesystem::remove(path);
    return text;
}

TrapRecord example_record()
{
    TrapRecord r;
    const TrapFrame frame = make_frame(example_trap());
    EXPECT_EQ(decode_trap(r, frame), 0);
    std::strcpy(r.recv_time, "2005/06/07 17:09:10");
    return r;
}

std::string header_lines(const std::string& eol, const char* generic)
{
    return kRecvTime + "2005/06/07 17:09:10" + eol + kVersion + "1" + eol + kCommunity + "public" + eol +
           kPduType + "A4" + eol + kEnterprise + "1.3.6.1.4.1.311" + eol + kAgent + "10.0.0.1" + eol +
           kGeneric + generic + eol + kSpecific + "1" + eol + kTimeStamp + "100" + eol;
}

TEST(TrapReport, ExampleTrapInBothVariants)
{
    const TrapRecord r = example_record();
    const std::string slot = kSlot + "1]\n" + kName + "1.3.6.1.2.1.1.5.0\n" + kOctets + "\n" + kData + "up\n";
    EXPECT_EQ(captured([&](std::FILE* f) { write_trap_report(r, f); }), header_lines("\n", "6") + slot + "\n");

    char buffer[kReportBufferSize] = "before\r\n";
    format_trap_report(buffer, sizeof buffer, r);
    const std::string crlf = kSlot + "1]\r\n" + kName + "1.3.6.1.2.1.1.5.0\r\n" + kOctets + "\r\n" + kData + "up\r\n";
    EXPECT_EQ(std::string(buffer), "before\r\n" + header_lines("\r\n", "6") + crlf);
}

TEST(TrapReport, EveryValueTypeShowsItsTypeAndData)
{
    const std::string type = "    \x83^\x83" "C\x83v: ";  // タイプ:
    struct Case {
        Bytes value;
        const char* type;
        const char* data;  // null: no data line
    } cases[] = {
        {integer(-7), "INTEGER", "-7"},
        {tlv(0x04, octets("up")), "OCTET STRING", "up"},
        {tlv(0x04, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}), "OCTET STRING", "00 1A 2B 3C 4D 5E"},
        {tlv(0x05, {}), "NULL", nullptr},
        {oid({6, 1, 4, 1, 8072}), "OBJECT IDENTIFIER", "1.3.6.1.4.1.8072"},
        {tlv(0x06, {0x00}), "OBJECT IDENTIFIER", "0.0"},
        {tlv(0x40, {192, 168, 0, 1}), "IpAddress", "192.168.0.1"},
        {tlv(0x41, {0x00, 0xFF, 0xFF, 0xFF, 0xFF}), "Counter32", "4294967295"},
        {tlv(0x42, {0x80}), "Gauge32", "128"},
        {tlv(0x43, {0x80, 0x00, 0x00, 0x00}), "TimeTicks", "2147483648"},
        {tlv(0x44, {0x9F, 0x78, 0x04, 0x3F}), "Opaque", "9F 78 04 3F"},
        {tlv(0x46, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), "Counter64", "18446744073709551615"},
        {tlv(0x80, {}), "noSuchObject", nullptr},
        {tlv(0x81, {}), "noSuchInstance", nullptr},
        {tlv(0x82, {}), "endOfMibView", nullptr},
        {tlv(0x47, {0x01, 0xAB}), "0x47", "01 AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        TrapRecord r;
        const TrapFrame frame = make_frame(make_trap(6, 1, binding(oid({6, 1, 9}), c.value)));
        ASSERT_EQ(decode_trap(r, frame), 0);
        std::strcpy(r.recv_time, "2005/06/07 17:09:10");
        std::string slot = kSlot + "1]\n" + kName + "1.3.6.1.9\n" + type + c.type + "\n";
        if (c.data) slot += kData + c.data + "\n";
        EXPECT_EQ(captured([&](std::FILE* f) { write_trap_report(r, f); }), header_lines("\n", "6") + slot + "\n");
    }
}

TEST(TrapReport, TimeStampAndSpecificTrapAreUnsigned)
{
    TrapRecord r = example_record();
    r.time_stamp = 0x80000000u;
    r.specific_trap = 0xFFFFFFFFu;
    EXPECT_NE(captured([&](std::FILE* f) { write_trap_report(r, f); }).find(kSpecific + "4294967295\n" + kTimeStamp),
              std::string::npos);
}

// The community and a value each hold `text`: what follows their labels.
TEST(TrapReport, TextsFromTheDatagramBeginNoLineAndShowTheirCuts)
{
    struct Case {
        std::string text;
        bool cut;
        std::string shown;  // '|': a line end and blanks up to the text's first character
    } cases[] = {
        {"x\r\n" + kSlot + "2]\r\n" + kName + "1.3", false, "x|" + kSlot + "2]|" + kName + "1.3"},  // forged binding
        {"a\rb\nc\n\rd", false, "a|b|c||d"},
        {"\x1B[2J\x7F\tz", false, "\\x1B[2J\\x7F\tz"},  // TAB kept
        {"\x83\r\n\x83", false, "\\x83|\\x83"},      // lead octets without their trail
        {"abc", true, "abc" + kCut},
        {std::string(300, 'a'), false, std::string(255, 'a') + "|" + std::string(45, 'a')},  // wrapped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        TrapRecord r = example_record();
        std::strcpy(r.community, c.text.c_str());
        std::strcpy(r.varbinds[0].value, c.text.c_str());
        r.community_cut = r.varbinds[0].value_cut = c.cut;
        const std::string text = captured([&](std::FILE* f) { write_trap_report(r, f); });
        for (const std::string& label : {kCommunity, kData}) {
            std::string shown = label + c.shown + "\n";
            for (std::size_t at; (at = shown.find('|')) != std::string::npos;)
                shown.replace(at, 1, "\n" + std::string(label.size(), ' '));
            EXPECT_NE(text.find("\n" + shown), std::string::npos) << text;
        }
    }
}

TEST(TrapReport, TwelveBindingsShowSlotsOneToTen)
{
    Bytes list;
    for (int i = 1; i <= 12; ++i) {
        const Bytes b = binding(oid({6, 1, 9, static_cast<std::uint32_t>(i)}), integer(i));
        list.insert(list.end(), b.begin(), b.end());
    }
    TrapRecord r;
    const TrapFrame frame = make_frame(make_trap(6, 1, list));
    ASSERT_EQ(decode_trap(r, frame), 0);
    const std::string text = captured([&](std::FILE* f) { write_trap_report(r, f); });
    EXPECT_NE(text.find(kSlot + "10]\n" + kName + "1.3.6.1.9.10\n" + kInteger + "\n" + kData + "10\n" + kOmittedTwo + "\n\n"),
              std::string::npos);
    EXPECT_EQ(text.find(kSlot + "11]"), std::string::npos);
}

TEST(TrapReport, LongestReportFitsAndSmallBuffersAreNotOverrun)
{
    TrapRecord r = example_record();
    std::memset(r.community, '\n', kTextSize - 1);  // each line end a line of its own
    r.omitted_varbinds = 2;
    for (TrapVarBind& vb : r.varbinds) {
        std::memset(vb.name, '1', kOidTextSize - 1);
        vb.type = 0x06;  // the longest type name
        std::memset(vb.value, '\n', kTextSize - 1);
        vb.name_cut = vb.value_cut = true;
    }
    static char big[kReportBufferSize];
    big[0] = '\0';
    format_trap_report(big, sizeof big, r);
    const std::string last = kOmittedTwo + "\r\n";
    EXPECT_EQ(std::string(big).substr(std::strlen(big) - last.size()), last) << std::strlen(big);

    char small[64 + 8];
    std::memset(small, 'Z', sizeof small);
    small[0] = '\0';
    format_trap_report(small, 64, r);
    EXPECT_EQ(std::strlen(small), 63u);
    EXPECT_EQ(small[64], 'Z');
    std::vector<MibProblem> problems;  // with names: every identifier 128 arcs long, and each named
    for (std::strcpy(r.enterprise, "1.3.6.1.2.1.2.2.1.8"); std::strlen(r.enterprise) + 11 < kOidTextSize;) std::strcat(r.enterprise, ".4294967295");
    for (TrapVarBind& vb : r.varbinds) vb = TrapVarBind{}, std::strcpy(vb.name, r.enterprise), std::strcpy(vb.value, r.enterprise), vb.type = 0x06;
    big[0] = '\0';
    format_trap_report(big, sizeof big, r, "\r\n", load_mib_texts({}, problems).get());
    EXPECT_EQ(std::string(big).substr(std::strlen(big) - last.size()), last) << std::strlen(big);
}

// A module of our own: an enumeration, conventions with and without hints, BITS, a notification.
const char kReportModule[] = R"(REPORT-TEST-MIB DEFINITIONS ::= BEGIN
IMPORTS MODULE-IDENTITY, OBJECT-TYPE, NOTIFICATION-TYPE, Integer32, enterprises FROM SNMPv2-SMI
        TEXTUAL-CONVENTION, MacAddress, DateAndTime FROM SNMPv2-TC;
reportTest MODULE-IDENTITY LAST-UPDATED "202601010000Z" ORGANIZATION "t" CONTACT-INFO "t"
    DESCRIPTION "t" ::= { enterprises 99999 }
InetAddress ::= TEXTUAL-CONVENTION STATUS current DESCRIPTION "t" SYNTAX OCTET STRING (SIZE (0..255))
Tenths ::= TEXTUAL-CONVENTION DISPLAY-HINT "d-1" STATUS current DESCRIPTION "t" SYNTAX Integer32
rtState OBJECT-TYPE SYNTAX INTEGER { up(1), down(2) } MAX-ACCESS read-only STATUS current
    DESCRIPTION "t" ::= { reportTest 1 }
rtMac OBJECT-TYPE SYNTAX MacAddress MAX-ACCESS read-only STATUS current DESCRIPTION "t" ::= { reportTest 2 }
rtWhen OBJECT-TYPE SYNTAX DateAndTime MAX-ACCESS read-only STATUS current DESCRIPTION "t" ::= { reportTest 3 }
rtAddr OBJECT-TYPE SYNTAX InetAddress MAX-ACCESS read-only STATUS current DESCRIPTION "t" ::= { reportTest 4 }
rtFlags OBJECT-TYPE SYNTAX BITS { red(0), green(1), blue(9) } MAX-ACCESS read-only STATUS current
    DESCRIPTION "t" ::= { reportTest 5 }
rtTemp OBJECT-TYPE SYNTAX Tenths MAX-ACCESS read-only STATUS current DESCRIPTION "t" ::= { reportTest 6 }
rtTraps OBJECT IDENTIFIER ::= { reportTest 0 }
rtEvent NOTIFICATION-TYPE OBJECTS { rtState } STATUS current DESCRIPTION "t" ::= { rtTraps 1 }
END
)";

// Each binding's name and data line as the report shows them with names ('|': a wrapped line).
TEST(TrapReport, NamesFromMibModules)
{
    std::vector<MibProblem> problems;
    const auto names = load_mib_texts({{"report-test.mib", kReportModule}}, problems);
    ASSERT_TRUE(problems.empty()) << mib_problem_text(problems[0]);
    const Bytes v6 = from_hex("20010db8000000000000000000000001");
    Bytes long_oid = from_hex("2b06010401868d1f01");  // rtState and 120 sub-identifiers of 2^32-1
    std::string long_index;
    for (int i = 0; i < 120; ++i, long_index += ".4294967295") long_oid.insert(long_oid.end(), {0x8F, 0xFF, 0xFF, 0xFF, 0x7F});
    struct Case {
        Bytes name, value;
        bool cut;
        std::string name_shown, data_shown;
    } cases[] = {
        {oid({6, 1, 4, 1, 99999, 1, 7}), integer(2), false, "1.3.6.1.4.1.99999.1.7 (REPORT-TEST-MIB::rtState.7)", "2 (down)"},
        {oid({6, 1, 4, 1, 99999, 1, 7}), integer(5), false, "1.3.6.1.4.1.99999.1.7 (REPORT-TEST-MIB::rtState.7)", "5"},
        {oid({6, 1, 4, 1, 99999, 1, 7}), integer(2), true, "1.3.6.1.4.1.99999.1.7" + kCut, "2"},  // cut: no name, no label
        {oid({6, 1, 4, 1, 99999, 2, 1}), tlv(0x04, from_hex("001a2b3c4d5e")), false,
         "1.3.6.1.4.1.99999.2.1 (REPORT-TEST-MIB::rtMac.1)", "00 1A 2B 3C 4D 5E (00:1a:2b:3c:4d:5e)"},
        {oid({6, 1, 4, 1, 99999, 2, 1}), tlv(0x04, octets("ABCDEF")), false,
         "1.3.6.1.4.1.99999.2.1 (REPORT-TEST-MIB::rtMac.1)", "ABCDEF (41:42:43:44:45:46)"},
        {oid({6, 1, 4, 1, 99999, 3, 0}), tlv(0x04, from_hex("07e801020d0405062b0900")), false,
         "1.3.6.1.4.1.99999.3.0 (REPORT-TEST-MIB::rtWhen.0)", "07 E8 01 02 0D 04 05 06 2B 09 00 (2024-1-2,13:4:5.6,+9:0)"},
        {oid({6, 1, 4, 1, 99999, 4, 0}), tlv(0x04, from_hex("c0000201")), false,
         "1.3.6.1.4.1.99999.4.0 (REPORT-TEST-MIB::rtAddr.0)", "C0 00 02 01 (192.0.2.1)"},
        {oid({6, 1, 4, 1, 99999, 4, 0}), tlv(0x04, v6), false, "1.3.6.1.4.1.99999.4.0 (REPORT-TEST-MIB::rtAddr.0)",
         "20 01 0D B8 00 00 00 00 00 00 00 00 00 00 00 01 (2001:db8::1)"},
        {oid({6, 1, 4, 1, 99999, 4, 0}), tlv(0x04, from_hex("c000020100")), false,
         "1.3.6.1.4.1.99999.4.0 (REPORT-TEST-MIB::rtAddr.0)", "C0 00 02 01 00"},  // no address of 5 octets
        {oid({6, 1, 4, 1, 99999, 4, 0}), tlv(0x04, from_hex("c0a864c8")), false,
         "1.3.6.1.4.1.99999.4.0 (REPORT-TEST-MIB::rtAddr.0)", "ﾀｨdﾈ (192.168.100.200)"},  // octets that read as CP932
        {oid({6, 1, 4, 1, 99999, 5, 0}), tlv(0x04, octets("@@")), false, "1.3.6.1.4.1.99999.5.0 (REPORT-TEST-MIB::rtFlags.0)",
         "@@ (green, blue)"},
        {oid({6, 1, 4, 1, 99999, 6, 0}), integer(215), false, "1.3.6.1.4.1.99999.6.0 (REPORT-TEST-MIB::rtTemp.0)", "215 (21.5)"},
        {tlv(0x06, {0x2A, 0x05}), oid({6, 1, 4, 1, 99999, 0, 1}), false, "1.2.5 (iso.2.5)",
         "1.3.6.1.4.1.99999.0.1 (REPORT-TEST-MIB::rtEvent)"},
        {tlv(0x06, long_oid), integer(1), false, "1.3.6.1.4.1.99999.1" + long_index + " (REPORT-TEST-MIB::rtState" +
         long_index + ")", "1 (up)"},  // wrapped
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name_shown.substr(0, 60));
        TrapRecord r;
        ASSERT_EQ(decode_trap(r, make_frame(make_trap(6, 1, binding(c.name, c.value)))), 0);
        std::strcpy(r.enterprise, "1.3.6.1.4.1.99999");
        r.varbinds[0].name_cut = c.cut;
        std::string text = captured([&](std::FILE* f) { write_trap_report(r, f, "\n", names.get()); });
        for (std::size_t at; (at = text.find("\n" + std::string(kName.size(), ' '))) != std::string::npos;)
            text.erase(at, 1 + kName.size());  // the wrapped lines joined again
        EXPECT_NE(text.find(kEnterprise + "1.3.6.1.4.1.99999 (REPORT-TEST-MIB::reportTest)\n"), std::string::npos);
        EXPECT_NE(text.find(kTimeStamp + "100\n\x83g\x83\x89\x83" "b\x83v\x96\xBC: REPORT-TEST-MIB::rtEvent\n"),
                  std::string::npos) << text;  // トラップ名:
        EXPECT_NE(text.find("\n" + kName + c.name_shown + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("\n" + kData + c.data_shown + "\n"), std::string::npos) << text;
    }
}

TEST(DisplayHint, OctetAndIntegerHints)
{
    struct Case {
        const char* hint;
        Bytes octets;  // empty: the integer
        std::int64_t integer;
        const char* shown;  // null: no form
    } cases[] = {
        {"1x:", from_hex("001a2b"), 0, "00:1a:2b"}, {"2x", from_hex("00ab0c"), 0, "00ab0c"},
        {"*1d./", from_hex("020a0b010c"), 0, "10.11/12"}, {"1d.1d:", from_hex("0102030405"), 0, "1.2:3:4:5"},
        {"255a", octets("core sw"), 0, "core sw"}, {"255a", from_hex("01"), 0, nullptr},
        {"1o", from_hex("08"), 0, "10"}, {"", from_hex("01"), 0, nullptr}, {"1z", from_hex("01"), 0, nullptr},
        {"x:", from_hex("01"), 0, nullptr}, {"0x", from_hex("01"), 0, nullptr},
        {"d-2", {}, -5, "-0.05"}, {"d-2", {}, 1234, "12.34"}, {"x", {}, 255, "ff"}, {"b", {}, 5, "101"},
        {"o", {}, 8, "10"}, {"d", {}, -7, "-7"}, {"d-", {}, 1, nullptr}, {"dx", {}, 1, nullptr}, {"q", {}, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hint);
        char out[64];
        const bool formed = c.octets.empty() ? format_integer_hint(c.hint, c.integer, out, sizeof out)
                                             : format_octets_hint(c.hint, c.octets.data(), c.octets.size(), out, sizeof out);
        EXPECT_EQ(formed, c.shown != nullptr);
        EXPECT_EQ(std::string(out), c.shown ? c.shown : "");
    }
    char small[8];
    EXPECT_FALSE(format_octets_hint("1x:", from_hex("001a2b").data(), 3, small, sizeof small));  // 8 characters and the NUL
}

TEST(HexDump, LinesAndColumns)
{
    Bytes twenty;
    for (int i = 0; i < 20; ++i) twenty.push_back(static_cast<std::uint8_t>(0x30 + i));
    twenty[3] = 0x7F;
    twenty[4] = 0xA4;
    twenty[5] = 0x0A;
    struct Case {
        const char* what;
        Bytes bytes;
        std::string text;
    } cases[] = {
        {"empty", {}, "\n"},
        {"twenty bytes", twenty,
         "00000000 : 30 31 32 7F A4 0A 36 37 - 38 39 3A 3B 3C 3D 3E 3F *012...6789:;<=>?*\n"
         "00000010 : 40 41 42 43 " + std::string(38, ' ') + "*@ABC            *\n\n"},
        {"nine bytes", Bytes(9, 0x41),
         "00000000 : 41 41 41 41 41 41 41 41 - 41 " + std::string(21, ' ') + "*AAAAAAAAA       *\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(captured([&](std::FILE* f) { write_hex_dump(c.bytes.data(), c.bytes.size(), f); }), c.text);
    }
}

TEST(HexDump, EveryLineHasItsCharacterColumnAtColumn61)
{
    const Bytes bytes(300, 0x00);
    const std::string text = captured([&](std::FILE* f) { write_hex_dump(bytes.data(), bytes.size(), f); });
    std::size_t start = 0, lines = 0;
    for (std::size_t nl = text.find('\n'); nl != std::string::npos && nl > start; nl = text.find('\n', start)) {
        EXPECT_EQ(text.find('*', start) - start, 61u) << text.substr(start, nl - start);
        start = nl + 1;
        ++lines;
    }
    EXPECT_EQ(lines, 19u);
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    EXPECT_NE(text.find("00000120 : 00 00 00 00 00 00 00 00 - 00 00 00 00 "), std::string::npos);
}

TEST(HexDump, IntoABufferAsIntoAStream)
{
    Bytes bytes;
    for (int i = 0; i < 300; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
    const std::string stream =
        captured([&](std::FILE* f) { write_hex_dump(bytes.data(), bytes.size(), f, "\r\n"); });
    char buffer[hex_dump_size(300)];
    EXPECT_EQ(format_hex_dump(buffer, sizeof buffer, bytes.data(), bytes.size(), "\r\n"), stream.size());
    EXPECT_EQ(std::string(buffer), stream);

    char small[200];  // room for two lines of 81 bytes and the closing line end
    EXPECT_EQ(format_hex_dump(small, sizeof small, bytes.data(), bytes.size(), "\r\n"), 164u);
    EXPECT_EQ(std::string(small), stream.substr(0, 162) + "\r\n");
}

} // namespace
