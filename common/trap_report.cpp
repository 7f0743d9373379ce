#include "common/trap_report.h"

#include <cstdarg>
#include <cstring>

namespace {

// Longest line: a 255-character label argument plus the longest label.
constexpr std::size_t kLineSize = 512;

// Formats one line, adds the line end and hands it to the sink.
template <class Sink>
class LinePrinter {
public:
    LinePrinter(const char* eol, Sink& sink) : eol_(eol), sink_(sink) {}

    __attribute__((format(printf, 2, 3))) void operator()(const char* format, ...)
    {
        char line[kLineSize];
        std::va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(line, sizeof line - 2, format, args);
        va_end(args);
        if (n < 0) return;
        std::strcat(line, eol_);
        sink_(line);
    }

private:
    const char* eol_;
    Sink& sink_;
};

// Calls sink(line) for every line of the report, each ending in `eol`.
template <class Sink>
void emit_report(const TrapRecord& r, const char* eol, Sink sink)
{
    LinePrinter<Sink> put(eol, sink);
    put("受信日時: %s", r.recv_time);
    put("バージョン: %d", r.version);
    put("コミュニティ: %s", r.community);
    put("PDUタイプ: %02X", r.pdu_type);
    put("ベンダーOID: %s", r.enterprise);
    put("エージェントアドレス: %s", r.agent_addr);
    put("汎用トラップ: %d", r.generic_trap);
    put("企業固有トラップ: %d", r.specific_trap);
    put("タイムチック: %u", static_cast<unsigned>(r.time_stamp));

    for (int i = 0; i < used_varbinds(r); ++i) {
        const TrapVarBind& vb = r.varbinds[i];
        put("トラップ情報[%d]", i + 1);
        put("    オブジェクト識別子: %s", vb.name);
        if (const char* type = value_type_name(vb.type)) put("    タイプ: %s", type);
        else put("    タイプ: 0x%02X", vb.type);
        if (value_type_has_data(vb.type)) put("    データ: %s", vb.value);
    }
}

} // namespace

void write_trap_report(const TrapRecord& record, std::FILE* stream, const char* eol)
{
    emit_report(record, eol, [stream](const char* line) { std::fputs(line, stream); });
    std::fputs(eol, stream);
}

void format_trap_report(char* buffer, std::size_t size, const TrapRecord& record, const char* eol)
{
    std::size_t used = strnlen(buffer, size);
    if (used >= size) return;
    emit_report(record, eol, [&](const char* line) {
        const std::size_t n = std::strlen(line);
        const std::size_t room = size - 1 - used;
        const std::size_t take = n < room ? n : room;
        std::memcpy(buffer + used, line, take);
        used += take;
        buffer[used] = '\0';
    });
}

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

char* put_hex(char* out, unsigned long value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) *out++ = kHexDigits[(value >> (4 * i)) & 0xF];
    return out;
}

// One dump line: "%8.8lX : ", the bytes as "%2.2X " with "- " before the
// ninth, blanks up to the character column, "*", 16 characters, "*", eol.
std::size_t format_dump_line(char* line, std::size_t offset, const unsigned char* bytes, std::size_t n,
                             const char* eol)
{
    char* out = put_hex(line, offset, 8);
    *out++ = ' ';
    *out++ = ':';
    *out++ = ' ';
    for (std::size_t i = 0; i < n; ++i) {
        if (i == 8) {
            *out++ = '-';
            *out++ = ' ';
        }
        out = put_hex(out, bytes[i], 2);
        *out++ = ' ';
    }
    while (out < line + 61) *out++ = ' ';
    *out++ = '*';
    for (std::size_t i = 0; i < 16; ++i) {
        const unsigned char c = i < n ? bytes[i] : ' ';
        *out++ = (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.';
    }
    *out++ = '*';
    for (const char* e = eol; *e != '\0'; ++e) *out++ = *e;
    return static_cast<std::size_t>(out - line);
}

} // namespace

std::size_t format_hex_dump(char* buffer, std::size_t size, const void* bytes, std::size_t count, const char* eol)
{
    const auto* p = static_cast<const unsigned char*>(bytes);
    const std::size_t eol_size = std::strlen(eol);
    std::size_t used = 0;
    char line[96];
    for (std::size_t offset = 0; offset < count; offset += 16) {
        const std::size_t n = count - offset < 16 ? count - offset : 16;
        const std::size_t length = format_dump_line(line, offset, p + offset, n, eol);
        if (used + length + eol_size + 1 > size) break;
        std::memcpy(buffer + used, line, length);
        used += length;
    }
    if (used + eol_size + 1 <= size) {
        std::memcpy(buffer + used, eol, eol_size);
        used += eol_size;
    }
    if (size > 0) buffer[used] = '\0';
    return used;
}

void write_hex_dump(const void* bytes, std::size_t count, std::FILE* stream, const char* eol)
{
    if (stream == nullptr) return;
    const auto* p = static_cast<const unsigned char*>(bytes);
    char line[96];
    for (std::size_t offset = 0; offset < count; offset += 16) {
        const std::size_t n = count - offset < 16 ? count - offset : 16;
        std::fwrite(line, 1, format_dump_line(line, offset, p + offset, n, eol), stream);
    }
    std::fputs(eol, stream);
}
