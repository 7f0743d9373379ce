#include "common/trap_report.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/display_hint.h"
#include "common/octet_text.h"

namespace {

// Text from the datagram per line, at most: a longer text goes on in the
// next line, so that a line stays well within what a mail may carry.
constexpr std::size_t kWrapWidth = 255;
// Longest line: the longest label, a line of text (which may pass
// kWrapWidth by one "\xNN") and the cut mark.
constexpr std::size_t kLineSize = 512;
static_assert(kLineSize > 64 + kWrapWidth + 4, "a line holds a line of text");

// After a text the record holds cut.
const char kCutMark[] = "…(以下省略)";

// One report line, built from its label and value without a format string:
// at most kLineSize - 3 characters, then the line end.
class Line {
public:
    explicit Line(const char* label) { text(label); }

    Line& text(const char* t)
    {
        while (*t != '\0' && used_ < kMostText) line_[used_++] = *t++;
        return *this;
    }
    Line& blanks(std::size_t n)
    {
        while (n-- > 0 && used_ < kMostText) line_[used_++] = ' ';
        return *this;
    }
    // One character of a datagram's text at t: a double-byte CP932
    // character whole, a control character (TAB aside) or a lead octet
    // with no trail as "\xNN", which no viewer takes for a line end.
    // Returns the octets taken.
    std::size_t visible(const char* t)
    {
        const auto c = static_cast<unsigned char>(t[0]);
        const auto trail = static_cast<unsigned char>(t[1]);
        if (is_cp932_lead(c) && trail >= 0x40 && trail <= 0xFC && trail != 0x7F) {
            text_octets(t, 2);
            return 2;
        }
        if ((c < 0x20 && c != '\t') || c == 0x7F || is_cp932_lead(c)) text("\\x").hex(c);
        else text_octets(t, 1);
        return 1;
    }
    // The printable ASCII characters at t, at most `most`, as they are;
    // returns how many were taken.
    std::size_t printable(const char* t, std::size_t most)
    {
        std::size_t n = 0;
        while (n < most && used_ < kMostText && t[n] >= 0x20 && t[n] <= 0x7E) line_[used_++] = t[n++];
        return n;
    }
    Line& decimal(long long v)
    {
        if (v < 0) text("-");
        const auto magnitude = static_cast<unsigned long long>(v);
        return digits(v < 0 ? 0ull - magnitude : magnitude);  // no overflow at the least value
    }
    // As "%02X" writes it: upper-case, at least two digits.
    Line& hex(std::uint32_t v)
    {
        char reversed[9];
        int n = 0;
        do {
            reversed[n++] = "0123456789ABCDEF"[v & 0xF];
            v >>= 4;
        } while (v != 0 || n < 2);
        while (n > 0 && used_ < kMostText) line_[used_++] = reversed[--n];
        return *this;
    }
    std::size_t size() const { return used_; }
    // The line with `eol` after it, and its length.
    const char* end(const char* eol, std::size_t& length)
    {
        std::size_t n = used_;
        for (const char* e = eol; *e != '\0'; ++e) line_[n++] = *e;
        line_[n] = '\0';
        length = n;
        return line_;
    }

private:
    static constexpr std::size_t kMostText = kLineSize - 3;

    void text_octets(const char* t, std::size_t n)
    {
        if (used_ + n > kMostText) return;
        std::memcpy(line_ + used_, t, n);
        used_ += n;
    }

    Line& digits(unsigned long long v)
    {
        char text[20];
        const std::size_t n = ber::decimal_digits(v, text);
        for (std::size_t i = 0; i < n && used_ < kMostText; ++i) line_[used_++] = text[i];
        return *this;
    }

    char line_[kLineSize + 3];
    std::size_t used_ = 0;
};

// Calls sink(line, length) for every line of the report, each ending in `eol`.
template <class Sink>
class ReportLines {
public:
    ReportLines(const char* eol, Sink& sink) : eol_(eol), sink_(sink) {}

    void put(Line& line)
    {
        std::size_t length = 0;
        const char* text = line.end(eol_, length);
        sink_(text, length);
    }
    void put(Line&& line) { put(line); }

    // A label and a text from the datagram. A line break in the text (CR LF,
    // CR or LF) and a line of kWrapWidth go on in a new line indented under
    // the text's first character, deeper than any line of the report: no
    // text of the sender's begins a line. A text the record holds cut ends
    // in the cut mark.
    // `added` (a name or a form of the value, "" for none) follows the text
    // by the same rules.
    void put_text(const char* label, const char* t, bool cut, const char* added = "")
    {
        const std::size_t indent = std::strlen(label);
        Line line(label);
        for (const char* part : {t, added}) {
            while (*part != '\0') {
                const bool line_break = *part == '\r' || *part == '\n';
                if (line_break || line.size() >= indent + kWrapWidth) {
                    if (line_break) part += part[0] == '\r' && part[1] == '\n' ? 2 : 1;
                    put(line);
                    line = Line("");
                    line.blanks(indent);
                } else if (const std::size_t n = line.printable(part, indent + kWrapWidth - line.size()); n > 0) {
                    part += n;
                } else {
                    part += line.visible(part);
                }
            }
            if (cut) break;
        }
        if (cut) line.text(kCutMark);
        put(line);
    }

private:
    const char* eol_;
    Sink& sink_;
};

bool is_set(const char* text) { return text != nullptr && text[0] != '\0'; }

// The octets of an OCTET STRING value as the record holds it: the text
// itself where it is the octets as they came, or its hex form ("00 1A 2B",
// which only octets that read as no text get). False for text converted
// from UTF-8: its octets are not known.
bool value_octets(const TrapVarBind& vb, std::uint8_t (&octets)[kTextSize], std::size_t& count)
{
    if (vb.value_as_octets) {
        count = strnlen(vb.value, kTextSize);
        std::memcpy(octets, vb.value, count);
        return count < kTextSize;
    }
    const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
    count = 0;
    bool hex = false;
    for (const char* p = vb.value; count < kTextSize && digit(p[0]) >= 0 && digit(p[1]) >= 0; p += 3) {
        octets[count++] = static_cast<std::uint8_t>(digit(p[0]) << 4 | digit(p[1]));
        hex = p[2] == '\0';
        if (p[2] != ' ') break;
    }
    return hex && octet_string_reading(octets, count) == OctetReading::Hex;
}

// The labels of the set bits of a BITS value, ", " between; false for none.
bool bit_labels(const MibSyntax& syntax, const std::uint8_t* octets, std::size_t count, char* out, std::size_t size)
{
    std::size_t used = 0;
    out[0] = '\0';
    for (std::size_t i = 0; i < syntax.item_count; ++i) {
        const std::int64_t bit = syntax.items[i].value;
        if (bit < 0 || static_cast<std::uint64_t>(bit) / 8 >= count) continue;
        if ((octets[bit / 8] & (0x80 >> (bit % 8))) == 0) continue;
        const int n = std::snprintf(out + used, size - used, "%s%s", used > 0 ? ", " : "", syntax.items[i].label);
        if (n < 0 || static_cast<std::size_t>(n) >= size - used) return out[0] = '\0', false;
        used += static_cast<std::size_t>(n);
    }
    return used > 0;
}

// An INTEGER value's label in its enumeration, or its DISPLAY-HINT form.
bool integer_form(const MibSyntax& syntax, const char* value, char* out, std::size_t size)
{
    char* end = nullptr;
    const long long number = std::strtoll(value, &end, 10);
    if (end == value || *end != '\0') return false;
    if (const char* label = syntax.bits ? nullptr : mib_enum_label(&syntax, number)) {
        return std::snprintf(out, size, "%s", label) < static_cast<int>(size);
    }
    return is_set(syntax.display_hint) && format_integer_hint(syntax.display_hint, number, out, size) &&
           std::strcmp(out, value) != 0;
}

// What a value of the object's syntax shows beside its plain text: an
// enumeration's label, the set bits' labels, or the display hint's form
// (or the InetAddress convention's) where it differs from the plain text.
bool value_form(const MibSyntax& syntax, const TrapVarBind& vb, char* out, std::size_t size)
{
    if (vb.type == ber::kInteger) return integer_form(syntax, vb.value, out, size);
    std::uint8_t octets[kTextSize];
    std::size_t count = 0;
    if (vb.type != ber::kOctetString || !value_octets(vb, octets, count)) return false;
    if (syntax.bits) return bit_labels(syntax, octets, count, out, size);
    const bool formed = is_set(syntax.display_hint)
                            ? format_octets_hint(syntax.display_hint, octets, count, out, size)
                            : is_set(syntax.convention) && std::strcmp(syntax.convention, "InetAddress") == 0 &&
                                  format_inet_address(octets, count, out, size);
    return formed && std::strcmp(out, vb.value) != 0;
}

// What names add to a report: " (name)" after an identifier, " (label)"
// or " (form)" after a value, each into a buffer of its own.
class Added {
public:
    explicit Added(const MibNames* names) : names_(names) {}

    // " (name)" for a whole identifier that has one, else "". The match is
    // kept for the value after a binding's name.
    const char* oid_name(const char* oid, bool cut)
    {
        text_[0] = '\0';
        matched_ = nullptr;
        if (names_ == nullptr || cut) return text_;
        match_ = names_->find(oid);
        matched_ = oid;
        if (!MibNames::name_of(match_, text_ + 2, sizeof text_ - 3)) return text_;
        return parenthesised();
    }

    const char* notification(const TrapRecord& r)
    {
        text_[0] = '\0';
        if (names_ != nullptr && !names_->notification_name(r, text_, sizeof text_)) text_[0] = '\0';
        return text_;
    }

    // " (label)" or " (form)" after a value, as its object's syntax shows it.
    const char* value(const TrapVarBind& vb)
    {
        text_[0] = '\0';
        if (names_ == nullptr || vb.value_cut || vb.name_cut) return text_;
        if (vb.type == ber::kOid) return oid_name(vb.value, false);
        const MibMatch match = matched_ == vb.name ? match_ : names_->find(vb.name);
        if (match.syntax == nullptr || !value_form(*match.syntax, vb, text_ + 2, sizeof text_ - 3)) {
            text_[0] = '\0';
            return text_;
        }
        return parenthesised();
    }

private:
    const char* parenthesised()
    {
        const std::size_t n = std::strlen(text_ + 2);
        text_[0] = ' ';
        text_[1] = '(';
        text_[n + 2] = ')';
        text_[n + 3] = '\0';
        return text_;
    }

    const MibNames* names_;
    MibMatch match_{};
    const char* matched_ = nullptr;  // the identifier match_ is for
    char text_[kOidTextSize + 640];
};

template <class Sink>
void emit_report(const TrapRecord& r, const char* eol, const MibNames* names, Sink sink)
{
    ReportLines<Sink> out(eol, sink);
    Added added(names);
    out.put(Line("受信日時: ").text(r.recv_time));
    out.put(Line("バージョン: ").decimal(r.version));
    out.put_text("コミュニティ: ", r.community, r.community_cut);
    out.put(Line("PDUタイプ: ").hex(static_cast<std::uint32_t>(r.pdu_type)));
    out.put_text("ベンダーOID: ", r.enterprise, r.enterprise_cut, added.oid_name(r.enterprise, r.enterprise_cut));
    out.put_text("エージェントアドレス: ", r.agent_addr, r.agent_addr_cut);
    out.put(Line("汎用トラップ: ").decimal(r.generic_trap));
    out.put(Line("企業固有トラップ: ").decimal(r.specific_trap));
    out.put(Line("タイムチック: ").decimal(r.time_stamp));
    if (const char* trap_name = added.notification(r); trap_name[0] != '\0') out.put_text("トラップ名: ", trap_name, false);

    const int used = used_varbinds(r);
    for (int i = 0; i < used; ++i) {
        const TrapVarBind& vb = r.varbinds[i];
        out.put(Line("トラップ情報[").decimal(i + 1).text("]"));
        out.put_text("    オブジェクト識別子: ", vb.name, vb.name_cut, added.oid_name(vb.name, vb.name_cut));
        if (const char* type = value_type_name(vb.type)) out.put(Line("    タイプ: ").text(type));
        else out.put(Line("    タイプ: 0x").hex(vb.type));
        if (value_type_has_data(vb.type)) out.put_text("    データ: ", vb.value, vb.value_cut, added.value(vb));
    }
    if (r.omitted_varbinds > 0)
        out.put(Line("(以下 ").decimal(r.omitted_varbinds).text(" 件のトラップ情報は省略)"));
}

} // namespace

void write_trap_report(const TrapRecord& record, std::FILE* stream, const char* eol, const MibNames* names)
{
    emit_report(record, eol, names, [stream](const char* line, std::size_t n) { std::fwrite(line, 1, n, stream); });
    std::fputs(eol, stream);
}

void format_trap_report(char* buffer, std::size_t size, const TrapRecord& record, const char* eol,
                        const MibNames* names)
{
    std::size_t used = strnlen(buffer, size);
    if (used >= size) return;
    emit_report(record, eol, names, [&](const char* line, std::size_t n) {
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
