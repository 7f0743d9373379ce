#include "common/trap_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/octet_text.h"
#include "common/settings.h"
#include "platform/settings_store.h"

namespace {

const char kRulesKey[] = "Rules";

void rule_key(int number, char* out, std::size_t size) { std::snprintf(out, size, "%s\\%03d", kRulesKey, number); }

// A subkey name's rule number ("0" and "007" too), or -1 when it is not digits only.
int rule_number(const char* name)
{
    if (*name == '\0' || std::strlen(name) > 6) return -1;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return -1;
    }
    return std::atoi(name);
}

void read_rule(const char* key, RuleSetting& r)
{
    std::memset(static_cast<void*>(&r), 0, sizeof r);
    read_string_setting_in(key, "oid", r.oid, sizeof r.oid, "");
    r.f_subtree = read_dword_setting_in(key, "f_subtree", 0);
    read_string_setting_in(key, "address", r.address, sizeof r.address, "");
    read_string_setting_in(key, "community", r.community, sizeof r.community, "");
    read_string_setting_in(key, "value_oid", r.value_oid, sizeof r.value_oid, "");
    read_string_setting_in(key, "value_text", r.value_text, sizeof r.value_text, "");
    r.f_drop = read_dword_setting_in(key, "f_drop", 0);
    r.f_sound = read_dword_setting_in(key, "f_sound", 0);
    r.f_popup = read_dword_setting_in(key, "f_popup", 0);
    r.f_program = read_dword_setting_in(key, "f_program", 0);
    r.f_email = read_dword_setting_in(key, "f_email", 0);
    r.f_syslog = read_dword_setting_in(key, "f_syslog", 0);
}

bool write_rule(const char* key, const RuleSetting& r)
{
    return write_string_setting_in(key, "oid", r.oid) && write_dword_setting_in(key, "f_subtree", r.f_subtree) &&
           write_string_setting_in(key, "address", r.address) &&
           write_string_setting_in(key, "community", r.community) &&
           write_string_setting_in(key, "value_oid", r.value_oid) &&
           write_string_setting_in(key, "value_text", r.value_text) &&
           write_dword_setting_in(key, "f_drop", r.f_drop) && write_dword_setting_in(key, "f_sound", r.f_sound) &&
           write_dword_setting_in(key, "f_popup", r.f_popup) &&
           write_dword_setting_in(key, "f_program", r.f_program) &&
           write_dword_setting_in(key, "f_email", r.f_email) && write_dword_setting_in(key, "f_syslog", r.f_syslog);
}

// "" or dotted decimal arcs of at most 2^32-1, without an empty arc or a
// leading zero (no identifier's text has one, so it would never match); a
// leading dot is taken before an arc.
bool valid_oid_text(const char* text)
{
    if (*text == '\0') return true;
    if (*text == '.') ++text;
    for (;;) {
        const char* start = text;
        unsigned long long arc = 0;
        while (*text >= '0' && *text <= '9' && text - start < 11) arc = arc * 10 + static_cast<unsigned>(*text++ - '0');
        if (text == start || arc > 0xFFFFFFFFull || (*start == '0' && text - start > 1)) return false;
        if (*text == '\0') return true;
        if (*text++ != '.') return false;
    }
}

const char* without_dot(const char* oid) { return *oid == '.' ? oid + 1 : oid; }

// True when the CP932 text `text` holds `part` starting at one of its
// characters (not at the second byte of a double-byte one). strstr finds
// the candidates; only a hit is walked to.
bool contains_text(const char* text, const char* part)
{
    for (const char* hit = std::strstr(text, part); hit != nullptr; hit = std::strstr(hit + 1, part)) {
        const char* p = text;
        while (p < hit) p += is_cp932_lead(static_cast<std::uint8_t>(*p)) && p[1] != '\0' ? 2 : 1;
        if (p == hit) return true;
    }
    return false;
}

// True when `id` is `oid`, or lies below it when `subtree`.
bool identifier_matches(const char* id, const char* oid, bool subtree)
{
    const std::size_t n = std::strlen(oid);
    if (std::strncmp(id, oid, n) != 0) return false;
    return id[n] == '\0' || (subtree && id[n] == '.');
}

// --- Address text ---------------------------------------------------------------

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Dotted decimal, four numbers of 0 to 255, up to `end`.
bool parse_ipv4(const char* text, const char* end, std::uint8_t* out)
{
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && (text == end || *text++ != '.')) return false;
        const char* start = text;
        unsigned value = 0;
        while (text != end && *text >= '0' && *text <= '9' && text - start < 3) value = value * 10 + (*text++ - '0');
        if (text == start || value > 255) return false;
        out[i] = static_cast<std::uint8_t>(value);
    }
    return text == end;
}

// RFC 4291 2.2 text up to `end`: groups of 1 to 4 hex digits, one "::",
// optionally a dotted IPv4 address in the last 32 bits.
bool parse_ipv6(const char* text, const char* end, std::uint8_t* out)
{
    std::uint8_t groups[16] = {};
    int count = 0;  // octets so far
    int gap = -1;   // octet index of "::"
    if (end - text >= 2 && text[0] == ':' && text[1] == ':') {
        gap = 0;
        text += 2;
    }
    while (text != end) {
        const char* start = text;
        unsigned value = 0;
        while (text != end && hex_digit(*text) >= 0 && text - start < 4) value = value * 16 + hex_digit(*text++);
        if (text != end && *text == '.') {  // the IPv4 tail
            if (count > 12 || !parse_ipv4(start, end, groups + count)) return false;
            count += 4;
            text = end;
            break;
        }
        if (text == start || count == 16) return false;
        groups[count++] = static_cast<std::uint8_t>(value >> 8);
        groups[count++] = static_cast<std::uint8_t>(value);
        if (text == end) break;
        if (*text++ != ':') return false;
        if (text != end && *text == ':') {
            if (gap >= 0) return false;
            gap = count;
            ++text;
        } else if (text == end) {
            return false;  // a lone ':' at the end
        }
    }
    if (gap < 0 ? count != 16 : count > 14) return false;
    std::memset(out, 0, 16);
    if (gap < 0) gap = count;
    std::memcpy(out, groups, gap);
    std::memcpy(out + 16 - (count - gap), groups + gap, count - gap);
    return true;
}

// The prefix length after the slash: 1 to 3 digits, at most `most`.
bool prefix_bits(const char* digits, int most, int& out)
{
    int bits = 0;
    const char* p = digits;
    while (*p >= '0' && *p <= '9' && p - digits < 3) bits = bits * 10 + (*p++ - '0');
    if (p == digits || *p != '\0' || bits > most) return false;
    out = bits;
    return true;
}

// An IPv4-mapped prefix (::ffff:a.b.c.d/96 or longer) as the IPv4 one it
// stands for: the sockets give an IPv4 peer as IPv4 whatever the socket.
void as_ipv4_if_mapped(AddressPrefix& prefix)
{
    static const std::uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (prefix.family != 6 || prefix.bits < 96 || std::memcmp(prefix.address, mapped, sizeof mapped) != 0) return;
    prefix.family = 4;
    std::memmove(prefix.address, prefix.address + 12, 4);
    std::memset(prefix.address + 4, 0, 12);
    prefix.bits -= 96;
}

} // namespace

bool parse_address_prefix(const char* text, AddressPrefix& out)
{
    out = AddressPrefix{};
    const char* slash = std::strchr(text, '/');
    const char* end = slash != nullptr ? slash : text + std::strlen(text);
    if (parse_ipv4(text, end, out.address)) {
        out.family = 4;
    } else if (parse_ipv6(text, end, out.address)) {
        out.family = 6;
    } else {
        return false;
    }
    const int most = out.family == 4 ? 32 : 128;
    out.bits = most;
    if (slash != nullptr && !prefix_bits(slash + 1, most, out.bits)) return false;
    as_ipv4_if_mapped(out);
    return true;
}

bool prefix_contains(const AddressPrefix& prefix, int family, const std::uint8_t* address)
{
    if (family != prefix.family) return false;
    const int whole = prefix.bits / 8;
    if (std::memcmp(prefix.address, address, whole) != 0) return false;
    const int rest = prefix.bits % 8;
    if (rest == 0) return true;
    const std::uint8_t mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return ((prefix.address[whole] ^ address[whole]) & mask) == 0;
}

int read_rule_settings(RuleSetting* out, int capacity)
{
    constexpr int kMostListed = 2 * kMaxRules;
    static char names[kMostListed][256];
    const int listed = std::min(list_setting_subkeys(kRulesKey, names, kMostListed), kMostListed);
    std::pair<int, int> order[kMostListed];  // rule number, index in names
    int count = 0;
    for (int i = 0; i < listed; ++i) {
        if (const int n = rule_number(names[i]); n >= 0) order[count++] = {n, i};
    }
    std::sort(order, order + count);  // "7" and "007" both, the first listed first
    int read = 0;
    for (int i = 0; i < count && read < capacity; ++i) {
        char key[300];
        std::snprintf(key, sizeof key, "%s\\%s", kRulesKey, names[order[i].second]);
        read_rule(key, out[read++]);
    }
    return read;
}

int write_rule_settings(const RuleSetting* rules, int count)
{
    if (count < 0 || count > kMaxRules) return 0;
    for (int i = 0; i < count; ++i) {
        if (rule_problem(rules[i]) != nullptr) return 0;
    }
    if (!delete_setting_subkey(kRulesKey)) return 0;
    for (int i = 0; i < count; ++i) {
        char key[32];
        rule_key(i + 1, key, sizeof key);
        if (!write_rule(key, rules[i])) return 0;
    }
    return 1;
}

const char* rule_problem(const RuleSetting& rule)
{
    AddressPrefix prefix;
    if (!valid_oid_text(rule.oid)) return "通知のOIDが正しくありません";
    if (rule.address[0] != '\0' && !parse_address_prefix(rule.address, prefix)) return "アドレスが正しくありません";
    if (!valid_oid_text(rule.value_oid)) return "値のOIDが正しくありません";
    return nullptr;
}

// What one trap offers the rules, worked out once for all of them.
struct TrapRules::Trap {
    const TrapRecord& record;
    const Endpoint& sender;
    char id[kNotificationIdSize];
    char direct[kNotificationIdSize];  // "" unless the trap came as SNMPv2
    AddressPrefix agent;               // family 0: no agent address
};

void TrapRules::set(const RuleSetting* rules, int count)
{
    count_ = 0;
    needs_identifier_ = false;
    needs_agent_ = false;
    for (int i = 0; i < count && i < kMaxRules; ++i) {
        const RuleSetting& r = rules[i];
        if (rule_problem(r) != nullptr) continue;
        Compiled& c = rules_[count_++];
        c.setting = &r;
        c.has_prefix = r.address[0] != '\0' && parse_address_prefix(r.address, c.prefix);
        c.actions = is_on(r.f_drop) ? std::uint32_t{kDrop} : 0u;
        if (is_on(r.f_sound)) c.actions |= kRunSound;
        if (is_on(r.f_popup)) c.actions |= kRunPopup;
        if (is_on(r.f_program)) c.actions |= kRunProgram;
        if (is_on(r.f_email)) c.actions |= kRunMail;
        if (is_on(r.f_syslog)) c.actions |= kRunSyslog;
        if (without_dot(r.oid)[0] != '\0') needs_identifier_ = true;
        if (c.has_prefix) needs_agent_ = true;
    }
}

bool TrapRules::matches(const Compiled& rule, const Trap& trap)
{
    const RuleSetting& r = *rule.setting;
    const char* oid = without_dot(r.oid);
    if (oid[0] != '\0') {
        const bool subtree = is_on(r.f_subtree);
        if (!identifier_matches(trap.id, oid, subtree) &&
            (trap.direct[0] == '\0' || !identifier_matches(trap.direct, oid, subtree)))
            return false;
    }
    if (rule.has_prefix && !prefix_contains(rule.prefix, trap.sender.family, trap.sender.address) &&
        !(trap.agent.family != 0 && prefix_contains(rule.prefix, trap.agent.family, trap.agent.address)))
        return false;
    if (r.community[0] != '\0' && std::strcmp(r.community, trap.record.community) != 0) return false;
    const char* value_oid = without_dot(r.value_oid);
    if (value_oid[0] == '\0' && r.value_text[0] == '\0') return true;
    for (int i = 0; i < kMaxVarBinds && trap.record.varbinds[i].name[0] != '\0'; ++i) {
        const TrapVarBind& b = trap.record.varbinds[i];
        if (value_oid[0] != '\0' && !identifier_matches(without_dot(b.name), value_oid, true)) continue;
        if (contains_text(b.value, r.value_text)) return true;
    }
    return false;
}

std::uint32_t TrapRules::match(const TrapRecord& record, const Endpoint& sender) const
{
    if (count_ == 0) return kNoRuleMatched;
    Trap trap{record, sender, {}, {}, {}};
    if (needs_identifier_) {
        notification_identifier(record, trap.id, trap.direct);
        if (record.version < 2) trap.direct[0] = '\0';
    }
    if (needs_agent_ && !parse_address_prefix(record.agent_addr, trap.agent)) trap.agent.family = 0;
    for (int i = 0; i < count_; ++i) {
        if (matches(rules_[i], trap)) return rules_[i].actions;
    }
    return kNoRuleMatched;
}
