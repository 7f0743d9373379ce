// Settings in a registry export file. The file is kept as a list of logical
// lines (a hex value continued with a trailing backslash is one line); a
// writer edits or adds the one line of its value and leaves every other line
// as it was. A "Version 5.00" file is UTF-16LE on disk and UTF-8 in memory;
// its texts are converted to and from CP932 at the edge, and its hex(1) and
// hex(2) values (REG_SZ, REG_EXPAND_SZ) hold UTF-16LE, as the registry keeps
// them: readers get CP932, writers store UTF-16LE. A file without a UTF-16
// byte-order mark is UTF-8 when its bytes above 0x7F all form UTF-8 sequences
// whose characters all have a CP932 form (CP932 Japanese text practically
// never does; where both readings hold, the one that loses nothing wins),
// else CP932, as regedit writes it, also after a UTF-8 mark. A writer keeps
// the file's encoding, owner and permissions (0600 for a new file: it holds
// passwords).
#include "platform/settings_store.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

const char kKeyPath[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow";
const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";

std::string settings_path()
{
    const char* env = std::getenv("TARNOW_SETTINGS");
    return env != nullptr && *env != '\0' ? env : "/etc/tarnow/settings.reg";
}

bool iconv_convert(const char* from, const char* to, const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.assign(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char* dst = &out[0];
    std::size_t dst_left = out.size();
    const std::size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) return false;
    out.resize(out.size() - dst_left);
    return true;
}

bool is_cp932_lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Names compare as the registry compares them: letters in either case. In
// CP932 a trail byte is part of its character, never a letter ("\x83\x41"
// and "\x83\x61" are two katakana).
bool equals_ignore_case(const std::string& a, const std::string& b, bool cp932)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = a[i], y = b[i];
        if (cp932 && is_cp932_lead(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (std::tolower(x) != std::tolower(y)) {
            return false;
        }
    }
    return true;
}

// Where the next backslash that separates key names is, from `pos`; npos
// when there is none. A CP932 trail byte 0x5C separates nothing.
std::size_t find_separator(const std::string& path, std::size_t pos, bool cp932)
{
    for (; pos < path.size(); ++pos) {
        const unsigned char c = path[pos];
        if (c == '\\') return pos;
        if (cp932 && is_cp932_lead(c)) ++pos;
    }
    return std::string::npos;
}

// True when the bytes of `text` above 0x7F all form well-formed UTF-8
// sequences (no overlong forms, no surrogates, nothing above U+10FFFF).
bool is_utf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = text[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        const unsigned char second = text[i + 1];
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
            (c == 0xF4 && second > 0x8F))
            return false;
        i += n;
    }
    return true;
}

bool has_control_bytes(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20) return true;
    return false;
}

struct RegFile {
    bool utf16 = false;          // UTF-16LE on disk: lines hold UTF-8
    bool utf8 = false;           // lines hold UTF-8 (a UTF-16 file, or a UTF-8 one)
    bool utf8_mark = false;      // the UTF-8 file begins with EF BB BF
    bool version5 = false;       // "Version 5.00" header: hex(1), hex(2) texts are UTF-16LE
    std::string eol = "\r\n";
    std::vector<std::string> lines;
};

// Splits text into logical lines, joining a line that ends in a backslash
// with the next (the continuation of a hex value).
void split_lines(const std::string& text, RegFile& file)
{
    std::string logical;
    std::size_t pos = 0;
    bool eol_seen = false;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        const bool last = nl == std::string::npos;
        std::string line = text.substr(pos, last ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            if (!eol_seen) file.eol = "\r\n";
        } else if (!last && !eol_seen) {
            file.eol = "\n";
        }
        if (!last) eol_seen = true;
        pos = last ? text.size() : nl + 1;
        if (!logical.empty()) {
            const std::size_t start = line.find_first_not_of(" \t");
            line = start == std::string::npos ? "" : line.substr(start);
        }
        logical += line;
        if (!logical.empty() && logical.back() == '\\' && !last) {
            logical.pop_back();
            continue;
        }
        file.lines.push_back(logical);
        logical.clear();
    }
}

// Reads the file; nullopt when it is missing, unreadable or not an export.
std::optional<RegFile> load_file(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rbe");  // e: close-on-exec
    if (f == nullptr) return std::nullopt;
    std::string raw;
    char chunk[8192];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) raw.append(chunk, n);
    std::fclose(f);

    RegFile file;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
        static_cast<unsigned char>(raw[1]) == 0xFE) {
        std::string utf8;
        if (!iconv_convert("UTF-16LE", "UTF-8", raw.substr(2), utf8)) return std::nullopt;
        file.utf16 = file.utf8 = true;
        raw.swap(utf8);
    } else {
        const bool mark = raw.compare(0, 3, "\xEF\xBB\xBF") == 0;
        if (mark) raw.erase(0, 3);
        std::string cp932;
        file.utf8 = is_utf8(raw) && iconv_convert("UTF-8", "CP932", raw, cp932) && (mark || cp932 != raw);
        file.utf8_mark = mark && file.utf8;
    }
    split_lines(raw, file);
    if (file.lines.empty()) return std::nullopt;
    const std::string& first = file.lines[0];
    if (first != kHeader4 && first != kHeader5) return std::nullopt;
    file.version5 = first == kHeader5;
    return file;
}

// Index range [begin, end) of the value lines of our key; begin == end == size
// when the key is absent.
struct Section {
    std::size_t begin;
    std::size_t end;
    bool found;
};

// The path of a key as its section line names it, without the brackets and
// in the file's encoding: the settings key, or `subkey` of it (CP932). False
// for a subkey that no section line can hold or that names no key: an empty
// name in it, a control byte, no UTF-8 form for a UTF-8 file.
bool key_path(const RegFile& file, const char* subkey, std::string& path)
{
    path = kKeyPath;
    if (subkey == nullptr || *subkey == '\0') return true;
    std::string sub = subkey;
    if (has_control_bytes(sub)) return false;
    for (std::size_t start = 0;;) {
        const std::size_t end = find_separator(sub, start, true);
        if (end == start || start == sub.size()) return false;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (file.utf8 && !iconv_convert("CP932", "UTF-8", std::string(sub), sub)) return false;
    path += '\\' + sub;
    return true;
}

std::string section_line(const std::string& path) { return "[" + path + "]"; }

// True when `line` is the section line of the key at `path` or of a key below it.
bool names_key_or_below(const RegFile& file, const std::string& line, const std::string& path)
{
    if (line.size() < path.size() + 2 || line[0] != '[' || line.back() != ']') return false;
    if (!equals_ignore_case(line.substr(1, path.size()), path, !file.utf8)) return false;
    return line.size() == path.size() + 2 || line[path.size() + 1] == '\\';
}

Section find_section(const RegFile& file, const std::string& path)
{
    const std::string header = section_line(path);
    Section s{file.lines.size(), file.lines.size(), false};
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        if (!s.found) {
            if (equals_ignore_case(file.lines[i], header, !file.utf8)) s = {i + 1, file.lines.size(), true};
        } else if (!file.lines[i].empty() && file.lines[i][0] == '[') {
            s.end = i;
            break;
        }
    }
    return s;
}

// Parses a quoted text starting at line[pos] == '"'. Handles the escapes \\ and
// \"; in CP932 a trail byte is taken as it is, even when it is a backslash.
bool parse_quoted(const std::string& line, std::size_t& pos, bool cp932, std::string& out)
{
    if (pos >= line.size() || line[pos] != '"') return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        const unsigned char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (cp932 && is_cp932_lead(c) && pos + 1 < line.size()) {
            out += line[pos];
            out += line[++pos];
        } else if (c == '\\' && pos + 1 < line.size()) {
            out += line[++pos];
        } else {
            out += static_cast<char>(c);
        }
    }
    return false;
}

bool parse_hex_bytes(const std::string& text, std::string& out)
{
    out.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == ',' || text[pos] == '\t')) ++pos;
        if (pos >= text.size()) break;
        char* end = nullptr;
        const unsigned long byte = std::strtoul(text.c_str() + pos, &end, 16);
        const std::size_t used = static_cast<std::size_t>(end - (text.c_str() + pos));
        if (used == 0 || used > 2 || byte > 0xFF) return false;
        out += static_cast<char>(byte);
        pos += used;
    }
    return true;
}

// "(1)" and "(2)", the types after "hex" of REG_SZ and REG_EXPAND_SZ.
bool is_utf16_text_type(const std::string& type) { return type == "(1)" || type == "(2)"; }

// Parses `"name"=data` into its name and the value's bytes as the registry
// holds them for an ANSI reader (a text with its NUL).
bool parse_value_line(const RegFile& file, const std::string& line, std::string& name,
                      std::optional<std::string>& bytes)
{
    std::size_t pos = 0;
    if (line.compare(0, 1, "@") == 0) {
        name.clear();
        pos = 1;
    } else if (!parse_quoted(line, pos, !file.utf8, name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') return false;
    const std::string data = line.substr(pos + 1);
    bytes.reset();
    if (data == "-") return true;
    if (!data.empty() && data[0] == '"') {
        std::string text;
        std::size_t p = 0;
        if (!parse_quoted(data, p, !file.utf8, text)) return true;
        if (file.utf8 && !iconv_convert("UTF-8", "CP932", std::string(text), text)) return true;
        text += '\0';
        bytes = text;
        return true;
    }
    if (data.compare(0, 6, "dword:") == 0) {
        const unsigned long v = std::strtoul(data.c_str() + 6, nullptr, 16);
        std::string b(4, '\0');
        for (int i = 0; i < 4; ++i) b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        bytes = b;
        return true;
    }
    const std::size_t colon = data.find(':');
    if (data.compare(0, 3, "hex") == 0 && colon != std::string::npos) {
        std::string b;
        if (!parse_hex_bytes(data.substr(colon + 1), b)) return true;
        if (file.version5 && is_utf16_text_type(data.substr(3, colon - 3)) &&
            !iconv_convert("UTF-16LE", "CP932", std::string(b), b))
            return true;  // no CP932 form: missing
        bytes = b;
    }
    return true;
}

// The bytes of value `name` of our key or its subkey, or nullopt when it is absent.
std::optional<std::string> find_value(const char* subkey, const std::string& name)
{
    const std::optional<RegFile> file = load_file(settings_path());
    std::string path;
    if (!file || !key_path(*file, subkey, path)) return std::nullopt;
    const Section s = find_section(*file, path);
    std::optional<std::string> result;
    for (std::size_t i = s.begin; i < s.end; ++i) {
        std::string entry;
        std::optional<std::string> bytes;
        if (parse_value_line(*file, file->lines[i], entry, bytes) && equals_ignore_case(entry, name, !file->utf8))
            result = bytes;  // a later line of the same name wins, as regedit imports
    }
    return result;
}

std::string hex_line(const std::string& bytes)
{
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02x" : ",%02x", static_cast<unsigned char>(bytes[i]));
        out += b;
    }
    return out;
}

std::string quote(const std::string& text, bool cp932)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = text[i];
        if (cp932 && is_cp932_lead(c) && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (c == '\\' || c == '"') out += '\\';
        out += static_cast<char>(c);
    }
    return out + "\"";
}

// A text that a quoted line cannot hold, as hex(1): CP932 bytes in a REGEDIT4
// file, UTF-16LE in a Version 5.00 file; a text with no UTF-16 form there
// goes as raw bytes (hex:), which a reader gets back unchanged.
std::string hex_text_data(const RegFile& file, const std::string& text)
{
    if (!file.version5) return "hex(1):" + hex_line(text + '\0');
    std::string utf16;
    if (!iconv_convert("CP932", "UTF-16LE", text + '\0', utf16)) return "hex:" + hex_line(text + '\0');
    return "hex(1):" + hex_line(utf16);
}

// The data part of a text value line: quoted, unless it has line breaks or
// other control bytes, or no UTF-8 form for a UTF-8 or UTF-16 file.
std::string text_data(const RegFile& file, const std::string& text)
{
    std::string utf8 = text;
    if (!has_control_bytes(text) && (!file.utf8 || iconv_convert("CP932", "UTF-8", text, utf8)))
        return quote(utf8, !file.utf8);
    return hex_text_data(file, text);
}

void set_line(RegFile& file, const std::string& path, const std::string& name, const std::string& data)
{
    const std::string line = quote(name, false) + "=" + data;
    Section s = find_section(file, path);
    if (!s.found) {
        if (!file.lines.empty() && !file.lines.back().empty()) file.lines.push_back("");
        file.lines.push_back(section_line(path));
        file.lines.push_back(line);
        file.lines.push_back("");
        return;
    }
    for (std::size_t i = s.begin; i < s.end; ++i) {
        std::string entry;
        std::optional<std::string> bytes;
        if (parse_value_line(file, file.lines[i], entry, bytes) && equals_ignore_case(entry, name, !file.utf8)) {
            file.lines[i] = line;
            return;
        }
    }
    std::size_t at = s.end;
    while (at > s.begin && file.lines[at - 1].empty()) --at;
    file.lines.insert(file.lines.begin() + static_cast<std::ptrdiff_t>(at), line);
}

bool write_all(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool save_file(const std::string& path, const RegFile& file)
{
    std::string text;
    for (const std::string& line : file.lines) text += line + file.eol;
    if (file.utf16) {
        std::string utf16;
        if (!iconv_convert("UTF-8", "UTF-16LE", text, utf16)) return false;
        text = "\xFF\xFE" + utf16;
    } else if (file.utf8_mark) {
        text = "\xEF\xBB\xBF" + text;
    }
    struct stat old {};
    const bool existed = ::stat(path.c_str(), &old) == 0;
    const mode_t mode = existed ? (old.st_mode & 07777) : 0600;
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // The owner and group are kept where the writer may give them (root may).
    if (existed && ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) {
        ::close(fd);
        std::remove(temp.c_str());
        return false;
    }
    const bool ok = write_all(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

void make_parent_dirs(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0755);
}

enum class Edit { Failed, Unchanged, Changed };

// Read-modify-write of the file under an exclusive lock on a lock file beside
// it, so concurrent writers lose nothing. `edit` changes the file as loaded.
template <class EditFile>
int edit_file(EditFile edit)
{
    const std::string path = settings_path();
    make_parent_dirs(path);
    const int lock = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0) return 0;
    while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
    }
    RegFile file;
    if (std::optional<RegFile> loaded = load_file(path)) {
        file = *loaded;
    } else {
        file.lines = {kHeader4, ""};
    }
    const Edit done = edit(file);
    const bool saved = done == Edit::Unchanged || (done == Edit::Changed && save_file(path, file));
    ::close(lock);  // releases the lock
    return saved ? 1 : 0;
}

// Writes one value; `make_data` gives the data part of its line for the file as loaded.
template <class MakeData>
int store_value(const char* subkey, const std::string& name, MakeData make_data)
{
    return edit_file([&](RegFile& file) {
        std::string path;
        if (!key_path(file, subkey, path)) return Edit::Failed;
        set_line(file, path, name, make_data(file));
        return Edit::Changed;
    });
}

// Removes the sections of the key at `path` and of every key below it.
bool remove_sections(RegFile& file, const std::string& path)
{
    bool removed = false;
    for (std::size_t i = 0; i < file.lines.size();) {
        if (!names_key_or_below(file, file.lines[i], path)) {
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < file.lines.size() && (file.lines[end].empty() || file.lines[end][0] != '[')) ++end;
        file.lines.erase(file.lines.begin() + static_cast<std::ptrdiff_t>(i),
                         file.lines.begin() + static_cast<std::ptrdiff_t>(end));
        removed = true;
    }
    return removed;
}

// The name of the direct subkey of `path` that section `line` stands for (a
// key deeper down stands for its ancestor), in CP932; empty when it names
// none or its name has no CP932 form.
std::string direct_subkey(const RegFile& file, const std::string& line, const std::string& path)
{
    if (!names_key_or_below(file, line, path) || line.size() == path.size() + 2) return "";
    const std::string rest = line.substr(path.size() + 2, line.size() - path.size() - 3);
    std::string name = rest.substr(0, find_separator(rest, 0, !file.utf8));
    if (file.utf8 && !iconv_convert("UTF-8", "CP932", std::string(name), name)) return "";
    return name;
}

void copy_fallback(char* buffer, std::size_t size, const char* fallback)
{
    if (size == 0) return;
    std::strncpy(buffer, fallback, size - 1);
    buffer[size - 1] = '\0';
}

} // namespace

std::int32_t read_dword_setting_in(const char* subkey, const char* name, std::int32_t fallback)
{
    const std::optional<std::string> bytes = find_value(subkey, name);
    if (!bytes || bytes->size() > 4) return fallback;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes->size(); ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>((*bytes)[i])) << (8 * i);
    return static_cast<std::int32_t>(value);
}

void read_string_setting_in(const char* subkey, const char* name, char* buffer, std::size_t size,
                            const char* fallback)
{
    const std::optional<std::string> bytes = find_value(subkey, name);
    if (!bytes || bytes->size() > size || size == 0) return copy_fallback(buffer, size, fallback);
    std::memcpy(buffer, bytes->data(), bytes->size());
    buffer[bytes->empty() ? 0 : bytes->size() - 1] = '\0';
}

int write_dword_setting_in(const char* subkey, const char* name, std::int32_t value)
{
    char data[32];
    std::snprintf(data, sizeof data, "dword:%08x", static_cast<unsigned>(value));
    return store_value(subkey, name, [&](const RegFile&) { return std::string(data); });
}

int write_string_setting_in(const char* subkey, const char* name, const char* text)
{
    return store_value(subkey, name, [&](const RegFile& file) { return text_data(file, text); });
}

int list_setting_subkeys(const char* subkey, char (*names)[256], int capacity)
{
    const std::optional<RegFile> file = load_file(settings_path());
    std::string path;
    if (!file || !key_path(*file, subkey, path)) return 0;
    std::vector<std::string> found;
    for (const std::string& line : file->lines) {
        const std::string name = direct_subkey(*file, line, path);
        if (name.empty() || name.size() > 255) continue;
        bool seen = false;
        for (const std::string& f : found) seen = seen || equals_ignore_case(f, name, true);
        if (!seen) found.push_back(name);
    }
    for (std::size_t i = 0; i < found.size() && static_cast<int>(i) < capacity; ++i)
        std::memcpy(names[i], found[i].c_str(), found[i].size() + 1);
    return static_cast<int>(found.size());
}

int delete_setting_subkey(const char* subkey)
{
    if (subkey == nullptr || *subkey == '\0') return 0;  // never the settings key itself
    return edit_file([&](RegFile& file) {
        std::string path;
        if (!key_path(file, subkey, path)) return Edit::Failed;
        return remove_sections(file, path) ? Edit::Changed : Edit::Unchanged;
    });
}

int write_runtime_dwords(const char*, const char* const*, const std::int32_t*, int) { return 0; }
