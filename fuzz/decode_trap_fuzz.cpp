// Arbitrary bytes as a received datagram: decode, then print everything a
// person would read of the result.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <sanitizer/asan_interface.h>

#include "common/trap_record.h"
#include "common/trap_report.h"

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
    std::fprintf(out, "%d,%d,%d", r.generic_trap, r.specific_trap, r.time_stamp);
    for (int i = 0; i < used_varbinds(r); ++i) {
        field(r.varbinds[i].name);
        field(r.varbinds[i].value);
    }
    std::fputs("\r\n", out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TrapFrame frame;
    static TrapRecord record;
    static char report[kReportBufferSize];
    const std::size_t n = size < kFrameDataSize ? size : kFrameDataSize;
    frame.time = 1118131750u;
    frame.length = static_cast<std::uint32_t>(size);  // may claim more than the buffer holds
    std::memcpy(frame.data, data, n);

    // Bytes past the datagram are off limits: any read of them is reported.
    ASAN_POISON_MEMORY_REGION(frame.data + n, sizeof frame.data - n);
    write_hex_dump(frame.data, n, sink());
    const int decoded = decode_trap(record, frame);
    ASAN_UNPOISON_MEMORY_REGION(frame.data + n, sizeof frame.data - n);
    if (decoded != 0) return 0;
    write_trap_report(record, sink());
    write_fields(record, sink());
    report[0] = '\0';
    format_trap_report(report, sizeof report, record);
    return 0;
}
