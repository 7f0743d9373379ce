// Arbitrary bytes as a received datagram: decode it as an SNMPv1 trap,
// translate it as an SNMPv2c notification and take it through the SNMPv3
// user-based security model (users at every level, one with HMAC-SHA-512's
// 48-octet MAC), then print everything a person would read of the result. A
// translation the decoder refuses is a fault. The same bytes also go through
// every privacy transform as an encrypted scoped PDU.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <sanitizer/asan_interface.h>

#include "common/trap_record.h"
#include "common/trap_report.h"
#include "common/usm_security.h"
#include "common/v2c_notification.h"

namespace {

std::FILE* sink()
{
    static std::FILE* null = std::fopen("/dev/null", "w");
    return null;
}

// One CSV-style row of the record's fields, quotes doubled.
void write_fields(const TrapRecord& r, std::FILE* out)
{
    auto field = [out](const char* text) {
        std::fputc('"', out);
        for (const char* p = text; *p; ++p) {
            if (*p == '"') std::fputc('"', out);
            std::fputc(*p, out);
        }
        std::fputs("\",", out);
    };
    field(r.recv_time);
    field(r.community);
    field(r.enterprise);
    field(r.agent_addr);
    std::fprintf(out, "%d,%u,%u", r.generic_trap, static_cast<unsigned>(r.specific_trap), static_cast<unsigned>(r.time_stamp));
    for (int i = 0; i < used_varbinds(r); ++i) {
        field(r.varbinds[i].name);
        field(r.varbinds[i].value);
    }
    std::fputs("\r\n", out);
}

void print_record(const TrapRecord& record)
{
    static char report[kReportBufferSize];
    write_trap_report(record, sink());
    write_fields(record, sink());
    report[0] = '\0';
    format_trap_report(report, sizeof report, record);
}

// Senders of notifications: odd-sized datagrams come from an IPv6 agent.
const Endpoint kSenders[2] = {{4, {127, 0, 0, 1}, 0}, {6, {0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0}};

const std::uint8_t kEngineId[] = {0x80, 0x00, 0x1F, 0x88, 0x80, 0x01, 0x02, 0x03, 0x04};

UsmUser make_user(const char* name, AuthProtocol auth, PrivProtocol priv)
{
    UsmUser u{};
    std::strcpy(u.name, name);
    u.name_size = std::strlen(name);
    u.auth = auth;
    u.priv = priv;
    const char password[] = "maplesyrup";
    u.usable = (auth == AuthProtocol::None || password_to_key(auth, password, sizeof password - 1, u.auth_ku)) &&
               (priv == PrivProtocol::None || password_to_key(auth, password, sizeof password - 1, u.priv_ku));
    return u;
}

UsmSecurity& usm()
{
    static const UsmUser users[] = {
        make_user("plain", AuthProtocol::None, PrivProtocol::None),
        make_user("md5des", AuthProtocol::Md5, PrivProtocol::Des),
        make_user("sha512", AuthProtocol::Sha512, PrivProtocol::Aes256),
        make_user("sha", AuthProtocol::Sha, PrivProtocol::None),
    };
    static UsmSecurity security;
    static const bool configured = (security.configure(users, 4, kEngineId, sizeof kEngineId, 7), true);
    (void)configured;
    return security;
}

// The datagram as an SNMPv3 message: accepted, reported or answered.
void take_v3(std::uint8_t* data, std::size_t size, TrapFrame& translated, TrapRecord& record)
{
    static std::uint8_t answer[kFrameDataSize + 512];
    static std::uint8_t pdu[kFrameDataSize + 64];
    SnmpMessage m;
    if (!read_snmp_message(data, size, m) || m.version != SnmpVersion::V3) return;
    const UsmDrop why = usm().accept(data, size, m);
    if (why != UsmDrop::None) {
        usm().build_report(m, why, answer, sizeof answer);
        return;
    }
    const NotificationOrigin origin{2, m.usm.user, kSenders[size % 2], 1118131750u};
    const V2cNotification kind = translate_notification(m.pdu, origin, translated);
    if (kind == V2cNotification::None) return;
    if (decode_trap(record, translated) != 0) __builtin_trap();
    print_record(record);
    const std::size_t response = build_response_pdu(m.pdu, pdu, sizeof pdu);
    if (kind == V2cNotification::Inform && response == 0) __builtin_trap();
    usm().build_response(m, pdu, response, answer, sizeof answer);
}

// The bytes as an encrypted scoped PDU, for every privacy protocol.
void decrypt_all(const std::uint8_t* data, std::size_t size)
{
    static std::uint8_t plain[kFrameDataSize];
    static const std::uint8_t key[kMaxKeySize] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::uint8_t salt[kPrivParamsSize] = {0, 0, 0, 1, 0, 0, 0, 2};
    for (int p = 1; p <= 6; ++p) {
        SnmpMessage m;
        if (decrypt_scoped_pdu(static_cast<PrivProtocol>(p), key, 1, 2, salt, data, size, plain))
            read_scoped_pdu(plain, size, m);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TrapFrame frame;
    static TrapFrame translated;
    static TrapRecord record;
    static std::uint8_t response[kFrameDataSize + 64];
    const std::size_t n = size < kFrameDataSize ? size : kFrameDataSize;
    frame.time = 1118131750u;
    frame.length = static_cast<std::uint32_t>(size);  // may claim more than the buffer holds
    std::memcpy(frame.data, data, n);

    // Bytes past the datagram are off limits: any read of them is reported.
    ASAN_POISON_MEMORY_REGION(frame.data + n, sizeof frame.data - n);
    write_hex_dump(frame.data, n, sink());
    const int decoded = decode_trap(record, frame);
    const V2cNotification kind = translate_v2c_notification(frame, kSenders[n % 2], translated);
    const std::size_t answer = build_inform_response(frame, response, sizeof response);
    if (kind == V2cNotification::Inform && answer == 0) __builtin_trap();
    if (decoded == 0) print_record(record);
    if (kind != V2cNotification::None) {
        if (decode_trap(record, translated) != 0) __builtin_trap();
        print_record(record);
    }
    take_v3(frame.data, n, translated, record);
    decrypt_all(frame.data, n);
    ASAN_UNPOISON_MEMORY_REGION(frame.data + n, sizeof frame.data - n);
    return 0;
}
