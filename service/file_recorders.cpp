#include "service/file_recorders.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "common/trap_report.h"

namespace {

const char kCrLf[] = "\r\n";

std::mutex& log_lock()
{
    static std::mutex lock;
    return lock;
}

// Opens the file for appending in binary mode: line ends are written as
// they must reach the disk.
class AppendFile {
public:
    explicit AppendFile(const FileSetting& file) : file_(std::fopen(file.path, "ab")) {}
    ~AppendFile()
    {
        if (file_ != nullptr) std::fclose(file_);
    }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    std::FILE* get() const { return file_; }

private:
    std::FILE* file_;
};

// Appends under the log lock; `write` gets the open file.
template <class Write>
int append_log(const FileSetting& file, Write write)
{
    if (!is_on(file.enabled)) return 0;
    std::lock_guard<std::mutex> guard(log_lock());
    AppendFile out(file);
    if (out.get() == nullptr) return -1;
    write(out.get());
    return 0;
}

// One quoted CSV field; a double quote inside it is doubled.
void put_csv_field(std::FILE* out, const char* text)
{
    std::fputc('"', out);
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"') std::fputc('"', out);
        std::fputc(*p, out);
    }
    std::fputc('"', out);
}

void put_csv_number(std::FILE* out, const char* format, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    put_csv_field(out, text);
}

} // namespace

int write_bin_file(const FileSetting& file, const TrapFrame& frame)
{
    if (!is_on(file.enabled)) return 0;
    return append_frame_to_record_file(file.path, frame);
}

int write_csv_file(const FileSetting& file, const TrapRecord& trap)
{
    if (!is_on(file.enabled)) return 0;
    AppendFile out(file);
    std::FILE* f = out.get();
    if (f == nullptr) return -1;
    put_csv_field(f, trap.recv_time);
    std::fputc(',', f);
    put_csv_number(f, "%d", trap.version);
    std::fputc(',', f);
    put_csv_field(f, trap.community);
    std::fputc(',', f);
    put_csv_number(f, "%02X", trap.pdu_type);
    std::fputc(',', f);
    put_csv_field(f, trap.enterprise);
    std::fputc(',', f);
    put_csv_field(f, trap.agent_addr);
    std::fputc(',', f);
    put_csv_number(f, "%d", trap.generic_trap);
    std::fputc(',', f);
    put_csv_number(f, "%d", trap.specific_trap);
    std::fputc(',', f);
    put_csv_number(f, "%d", trap.time_stamp);
    for (int i = 0; i < used_varbinds(trap); ++i) {
        std::fputc(',', f);
        put_csv_field(f, trap.varbinds[i].name);
        std::fputc(',', f);
        put_csv_field(f, trap.varbinds[i].value);
    }
    std::fputs(kCrLf, f);
    return 0;
}

int write_log_file(const FileSetting& file, const TrapRecord& trap)
{
    return append_log(file, [&](std::FILE* f) { write_trap_report(trap, f, kCrLf); });
}

int write_error_log(const FileSetting& file, const TrapFrame& frame)
{
    return append_log(file, [&](std::FILE* f) {
        std::fprintf(f, "SNMPトラップパケットの解析でエラーが発生しました。%s", kCrLf);
        const std::size_t n = frame.length < kFrameDataSize ? frame.length : kFrameDataSize;
        write_hex_dump(frame.data, n, f, kCrLf);
    });
}

int write_log_line(const FileSetting& file, const char* text)
{
    char now[64] = "";
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&t, &local) != nullptr) std::strftime(now, sizeof now, "%Y/%m/%d %H:%M:%S", &local);
    return append_log(file, [&](std::FILE* f) { std::fprintf(f, "[%s] %s%s", now, text, kCrLf); });
}
