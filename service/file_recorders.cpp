#include "service/file_recorders.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "common/octet_text.h"
#include "common/trap_report.h"
#include "platform/append_file.h"

namespace {

const char kParseErrorHeading[] = "SNMPトラップパケットの解析でエラーが発生しました。\n";

// Largest CSV row: 29 fields as long as the record's longest, every
// character a doubled quote.
constexpr std::size_t kCsvRowSize = 29 * (2 * (kOidTextSize - 1) + 3) + 3;
constexpr std::size_t kErrorEntrySize = sizeof kParseErrorHeading + hex_dump_size(kFrameDataSize);
constexpr std::size_t kLogLineSize = 4096;
// Largest JSON line: every text at its longest, each octet of the short ones
// escaped as \u00XX (six characters), with room for the names and numbers.
constexpr std::size_t kJsonTextSize = 6 * kTextSize;
constexpr std::size_t kJsonLineSize =
    kMaxVarBinds * (2 * kOidTextSize + kJsonTextSize + 128) + 2 * kJsonTextSize + kOidTextSize + 512;

std::mutex& log_lock()
{
    static std::mutex lock;
    return lock;
}

std::size_t count_line_feeds(const char* text, std::size_t size)
{
    std::size_t n = 0;
    for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\n', size - (p - text)))); ++p) ++n;
    return n;
}

// What a file opened in text mode on Windows gets, and so what the readers
// there expect: every LF becomes CR LF, whatever comes before it (a CR LF in
// a trap's text becomes CR CR LF). Expands text[0, size) in place within
// `capacity` bytes, cutting what would not fit; returns the new size.
std::size_t to_text_mode(char* text, std::size_t size, std::size_t capacity)
{
    std::size_t lines = count_line_feeds(text, size);
    while (size + lines > capacity) {  // cut from the end until it fits
        if (text[--size] == '\n') --lines;
    }
    const std::size_t expanded = size + lines;
    // From the last line back, each moved whole: the write position never
    // passes the read one.
    for (std::size_t in = size, out = expanded; lines > 0; --lines) {
        std::size_t lf = in;
        while (text[--lf] != '\n') {
        }
        const std::size_t tail = in - lf - 1;
        out -= tail;
        std::memmove(text + out, text + lf + 1, tail);
        text[--out] = '\n';
        text[--out] = '\r';
        in = lf;
    }
    return expanded;
}

enum class Kind { Record, Csv, Log, Json };

// Appends under the log lock for the log file, so that no entry of another
// thread falls inside it.
bool append_entries(Kind kind, const char* path, const void* data, std::size_t size)
{
    if (kind != Kind::Log) return append_to_file(path, data, size);
    std::lock_guard<std::mutex> guard(log_lock());
    return append_to_file(path, data, size);
}

// One file's entries held by a batch: the path they go to and their bytes,
// in a buffer reserved once.
class HeldFile {
public:
    explicit HeldFile(Kind kind) : kind_(kind) { bytes_.reserve(kHeldBytes); }
    ~HeldFile() { write_out(); }

    // Keeps an entry for `path`, after writing out what is held when that
    // is for another path or leaves no room for it.
    void add(const char* path, const char* entry, std::size_t size)
    {
        if (std::strcmp(path, path_) != 0 || bytes_.size() + size > kHeldBytes) write_out();
        if (size > kHeldBytes) {  // larger than any entry the operations build
            append_entries(kind_, path, entry, size);
            return;
        }
        if (bytes_.empty()) std::snprintf(path_, sizeof path_, "%s", path);
        bytes_.insert(bytes_.end(), entry, entry + size);
    }

    bool holds(const char* path) const { return !bytes_.empty() && std::strcmp(path, path_) == 0; }

    void write_out()
    {
        if (!bytes_.empty()) append_entries(kind_, path_, bytes_.data(), bytes_.size());
        bytes_.clear();
    }

private:
    // Room for a whole batch of common traps (a log entry is about 500 bytes)
    // and for any one entry; a larger batch goes out in parts, in order.
    static constexpr std::size_t kHeldBytes = 256 * 1024;
    Kind kind_;
    char path_[kPathSize] = "";
    std::vector<char> bytes_;
};

} // namespace

struct FileBatch::Held {
    HeldFile files[4] = {HeldFile(Kind::Record), HeldFile(Kind::Csv), HeldFile(Kind::Log), HeldFile(Kind::Json)};

    // One path's entries are held by one kind at a time, so that files
    // set to the same path keep their entries in order.
    void add(Kind kind, const char* path, const char* entry, std::size_t size)
    {
        HeldFile& mine = files[static_cast<int>(kind)];
        for (HeldFile& file : files) {
            if (&file != &mine && file.holds(path)) file.write_out();
        }
        mine.add(path, entry, size);
    }
};

namespace {

thread_local FileBatch::Held* t_held = nullptr;

// Holds the entry when this thread has a batch, else writes it at once.
int deliver(Kind kind, const FileSetting& file, const void* entry, std::size_t size)
{
    if (t_held == nullptr) return append_entries(kind, file.path, entry, size) ? 0 : -1;
    t_held->add(kind, file.path, static_cast<const char*>(entry), size);
    return 0;
}

// Each entry is built in memory with LF line ends, in a buffer of twice its
// greatest size, and reaches the file in one write.
int deliver_text(Kind kind, const FileSetting& file, char* entry, std::size_t size, std::size_t capacity)
{
    return deliver(kind, file, entry, to_text_mode(entry, size, capacity));
}

// Builds a text in a fixed buffer; what does not fit is cut.
class Row {
public:
    Row(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}
    void put(char c)
    {
        if (used_ + 1 < size_) buffer_[used_++] = c;
    }
    void put(const char* text)
    {
        while (*text != '\0') put(*text++);
    }
    // One quoted CSV field; a double quote inside it is doubled.
    void field(const char* text)
    {
        put('"');
        for (const char* p = text; *p != '\0'; ++p) {
            if (*p == '"') put('"');
            put(*p);
        }
        put('"');
    }
    void field(const char* format, int value)
    {
        char text[16];
        std::snprintf(text, sizeof text, format, value);
        field(text);
    }
    std::size_t size() const { return used_; }

    // A JSON string of a CP932 text, in UTF-8.
    void json_string(const char* cp932)
    {
        put('"');
        const auto* p = reinterpret_cast<const std::uint8_t*>(cp932);
        for (std::size_t n = std::strlen(cp932), width = 0; n > 0; p += width, n -= width) json_char(cp932_char_at(p, n, width));
        put('"');
    }
    // A name, then its value as a JSON string.
    void json_field(const char* name, const char* cp932)
    {
        put(name);
        json_string(cp932);
    }

private:
    void json_char(std::uint32_t code)
    {
        static const char kShort[] = "btnvfr";
        if (code == '"' || code == '\\') {
            put('\\');
            put(static_cast<char>(code));
        } else if (code >= 0x08 && code <= 0x0D && code != 0x0B) {
            put('\\');
            put(kShort[code - 0x08]);
        } else if (code < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(code));
            put(escaped);
        } else {
            put_utf8(code);
        }
    }
    void put_utf8(std::uint32_t code)
    {
        char octets[4];
        const std::size_t n = utf8_octets(code, octets);
        for (std::size_t i = 0; i < n; ++i) put(octets[i]);
    }

    char* buffer_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// True for a text the decoder wrote as a decimal number (not as hex).
bool is_decimal(const char* text)
{
    if (*text == '-') ++text;
    if (*text < '0' || *text > '9') return false;
    while (*text >= '0' && *text <= '9') ++text;
    return *text == '\0';
}

void put_json_time(Row& row, std::uint32_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    char text[32] = "";
    if (gmtime_r(&t, &utc) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    row.json_field("{\"time\":", text);
}

void put_json_number(Row& row, const char* name, long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%lld", name, value);
    row.put(text);
}

void put_json_binding(Row& row, const TrapVarBind& vb)
{
    row.json_field("{\"oid\":", vb.name);
    char unnamed[8];
    const char* type = value_type_name(vb.type);
    if (type == nullptr) std::snprintf(unnamed, sizeof unnamed, "0x%02X", vb.type);
    row.json_field(",\"type\":", type != nullptr ? type : unnamed);
    row.put(",\"value\":");
    if (!value_type_has_data(vb.type)) row.put("null");
    else if (ber::is_number_tag(vb.type) && is_decimal(vb.value)) row.put(vb.value);
    else row.json_string(vb.value);
    if (vb.name_cut || vb.value_cut) row.put(",\"cut\":true");
    row.put('}');
}

} // namespace

FileBatch::FileBatch() : held_(new Held) { t_held = held_.get(); }

FileBatch::~FileBatch()
{
    t_held = nullptr;  // the files write out as they are destroyed
}

void write_held_file_entries()
{
    if (t_held == nullptr) return;
    for (HeldFile& file : t_held->files) file.write_out();
}

int write_bin_file(const FileSetting& file, const TrapFrame& frame)
{
    if (!is_on(file.enabled)) return 0;
    thread_local std::uint8_t block[kFrameHeaderSize + kFrameDataSize];
    const std::size_t size = encode_record_frame(frame, block);
    if (size == 0) return -1;
    return deliver(Kind::Record, file, block, size);
}

int write_csv_file(const FileSetting& file, const TrapRecord& trap)
{
    if (!is_on(file.enabled)) return 0;
    thread_local char buffer[2 * kCsvRowSize];
    Row row(buffer, kCsvRowSize);
    row.field(trap.recv_time);
    row.put(',');
    row.field("%d", trap.version);
    row.put(',');
    row.field(trap.community);
    row.put(',');
    row.field("%02X", trap.pdu_type);
    row.put(',');
    row.field(trap.enterprise);
    row.put(',');
    row.field(trap.agent_addr);
    row.put(',');
    row.field("%d", trap.generic_trap);
    row.put(',');
    row.field("%u", static_cast<unsigned>(trap.specific_trap));
    row.put(',');
    row.field("%u", static_cast<unsigned>(trap.time_stamp));
    for (int i = 0; i < used_varbinds(trap); ++i) {
        row.put(',');
        row.field(trap.varbinds[i].name);
        row.put(',');
        row.field(trap.varbinds[i].value);
    }
    row.put('\n');
    return deliver_text(Kind::Csv, file, buffer, row.size(), sizeof buffer);
}

namespace {

thread_local char t_report[2 * (kReportBufferSize + 1)];

} // namespace

const char* log_report_text(const TrapRecord& trap, const MibNames* names)
{
    t_report[0] = '\0';
    format_trap_report(t_report, kReportBufferSize, trap, "\n", names);
    std::strcat(t_report, "\n");  // the empty line that ends every report
    return t_report;
}

int write_log_file(const FileSetting& file, const char* report)
{
    if (!is_on(file.enabled)) return 0;
    // deliver_text() may convert the entry in place: it works on the thread's own buffer.
    if (report != t_report) std::snprintf(t_report, kReportBufferSize + 1, "%s", report);
    return deliver_text(Kind::Log, file, t_report, std::strlen(t_report), sizeof t_report);
}

int write_error_log(const FileSetting& file, const TrapFrame& frame)
{
    if (!is_on(file.enabled)) return 0;
    thread_local char entry[2 * kErrorEntrySize];
    const std::size_t heading = sizeof kParseErrorHeading - 1;
    std::memcpy(entry, kParseErrorHeading, heading);
    const std::size_t n = frame.length < kFrameDataSize ? frame.length : kFrameDataSize;
    const std::size_t dump = format_hex_dump(entry + heading, kErrorEntrySize - heading, frame.data, n, "\n");
    return deliver_text(Kind::Log, file, entry, heading + dump, sizeof entry);
}

int write_log_line(const FileSetting& file, const char* text)
{
    if (!is_on(file.enabled)) return 0;
    char now[64] = "";
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&t, &local) != nullptr) std::strftime(now, sizeof now, "%Y/%m/%d %H:%M:%S", &local);
    char line[2 * kLogLineSize];
    const int n = std::snprintf(line, kLogLineSize - 1, "[%s] %s", now, text);
    if (n < 0) return -1;
    const std::size_t size = std::min(static_cast<std::size_t>(n), kLogLineSize - 2);  // what snprintf kept
    line[size] = '\n';
    return deliver_text(Kind::Log, file, line, size + 1, sizeof line);
}

int write_json_file(const FileSetting& file, const TrapRecord& trap, const TrapFrame& frame, const char* sender)
{
    if (!is_on(file.enabled)) return 0;
    thread_local char buffer[kJsonLineSize];
    Row row(buffer, sizeof buffer);
    put_json_time(row, frame.time);
    row.put(",\"sender\":");
    if (sender != nullptr && sender[0] != '\0') row.json_string(sender);
    else row.put("null");
    row.json_field(",\"agent\":", trap.agent_addr);
    put_json_number(row, ",\"version\":", trap.version);
    row.json_field(",\"community\":", trap.community);
    row.json_field(",\"enterprise\":", trap.enterprise);
    put_json_number(row, ",\"generic\":", trap.generic_trap);
    put_json_number(row, ",\"specific\":", trap.specific_trap);
    put_json_number(row, ",\"uptime\":", trap.time_stamp);
    row.put(",\"bindings\":[");
    for (int i = 0; i < used_varbinds(trap); ++i) {
        if (i > 0) row.put(',');
        put_json_binding(row, trap.varbinds[i]);
    }
    row.put(']');
    if (trap.omitted_varbinds > 0) put_json_number(row, ",\"omitted\":", trap.omitted_varbinds);
    row.put("}\n");
    return deliver(Kind::Json, file, buffer, row.size());
}
