// Arbitrary bytes as a received datagram: decode it as an SNMPv1 trap and
// translate it as an SNMPv2c notification, then print everything a person
// would read of the result. A translation the decoder refuses is a fault.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <sanitizer/asan_interface.h>

#include "common/trap_record.h"
#include "common/trap_report.h"
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
    const V2cNotification kind = translate_v2c_notification(frame, 0x0100007Fu, translated);
    const std::size_t answer = build_inform_response(frame, response, sizeof response);
    ASAN_UNPOISON_MEMORY_REGION(frame.data + n, sizeof frame.data - n);
    if (kind == V2cNotification::Inform && answer == 0) __builtin_trap();
    if (decoded == 0) print_record(record);
    if (kind == V2cNotification::None) return 0;
    if (decode_trap(record, translated) != 0) __builtin_trap();
    print_record(record);
    return 0;
}
