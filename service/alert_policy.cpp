#include "service/alert_policy.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "common/octet_text.h"
#include "service/counters.h"
#include "service/file_recorders.h"
#include "service/mail/mail_notification.h"
#include "service/notifications.h"

namespace {

constexpr int kWindows = 4096;
constexpr int kProbes = 32;
constexpr int kKeptTraps = 64;
constexpr std::size_t kSummaryLimit = 1024 * 1024;
// A summary line longer than this goes on in indented lines: SMTP takes no
// line of more than 998 characters (RFC 5321 4.5.3.1.6), and an identifier
// of 128 arcs is longer than that.
constexpr std::size_t kSummaryWidth = 255;
constexpr std::uint32_t kAlerts = kRunSound | kRunPopup | kRunProgram | kRunMail;

std::int64_t steady_milliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Mixes one part's hash into the key.
std::uint64_t mix(std::uint64_t key, std::string_view part)
{
    const std::uint64_t h = std::hash<std::string_view>{}(part);
    key ^= h + 0x9E3779B97F4A7C15ull + (key << 6) + (key >> 2);
    return key * 0xFF51AFD7ED558CCDull + part.size();
}

// What makes two traps the same: sender address, identifier, bindings.
std::uint64_t trap_key(const TrapRecord& r, const Endpoint& sender)
{
    std::uint64_t key = sender.family;
    key = mix(key, std::string_view(reinterpret_cast<const char*>(sender.address), sizeof sender.address));
    key = mix(key, r.enterprise);
    const std::uint32_t numbers[2] = {static_cast<std::uint32_t>(r.generic_trap), r.specific_trap};
    key = mix(key, std::string_view(reinterpret_cast<const char*>(numbers), sizeof numbers));
    for (int i = 0; i < kMaxVarBinds && r.varbinds[i].name[0] != '\0'; ++i) {
        key = mix(key, r.varbinds[i].name);
        key = mix(key, std::string_view(reinterpret_cast<const char*>(&r.varbinds[i].type), 1));
        key = mix(key, r.varbinds[i].value);
    }
    return key;
}

// `text` onto `out`, broken into lines of kSummaryWidth bytes at most, the
// breaks between CP932 characters; then the line end.
void append_folded(std::string& out, const char* text)
{
    std::size_t column = 0;
    for (const char* p = text; *p != '\0';) {
        const std::size_t width = is_cp932_lead(static_cast<std::uint8_t>(*p)) && p[1] != '\0' ? 2 : 1;
        if (column + width > kSummaryWidth) {
            out += "\r\n    ";
            column = 4;
        }
        out.append(p, width);
        column += width;
        p += width;
    }
    out += "\r\n";
}

struct Window {
    std::uint64_t key;
    std::int64_t first;      // steady milliseconds
    std::uint32_t repeats;
    std::uint32_t actions;   // the first's
    int kept;                // index of its kept trap, -1 before the first repeat
    bool used;
};

} // namespace

struct AlertPolicy::State {
    const ServiceSettings& settings;
    const MibNames* names;
    bool console;
    RuleSetting rule_settings[kMaxRules];
    int stored_rules = 0;
    TrapRules rules;
    Window windows[kWindows] = {};
    TrapRecord kept[kKeptTraps];
    int free_kept[kKeptTraps];
    int free_count = 0;
    std::int64_t window_ms = 0;
    std::int64_t last_sweep = 0;
    // The minute's mails and summary.
    std::int64_t minute = -1;
    std::int32_t mailed = 0;
    std::uint32_t summarised = 0;
    std::string summary;

    State(const ServiceSettings& s, const MibNames* n, bool c) : settings(s), names(n), console(c)
    {
        stored_rules = read_rule_settings(rule_settings, kMaxRules);
        rules.set(rule_settings, stored_rules);
        for (int i = 0; i < kKeptTraps; ++i) free_kept[free_count++] = i;
        window_ms = static_cast<std::int64_t>(s.dup_seconds) * 1000;
        if (s.mail_max_per_minute > 0) summary.reserve(kSummaryLimit + 4096);
    }

    bool repeats_on() const { return settings.dup_seconds > 0; }
    bool mail_limited() const { return settings.mail_max_per_minute > 0 && is_on(settings.f_email); }

    std::uint32_t check_repeat(const TrapRecord& r, const Endpoint& sender, std::uint32_t actions);
    void name_or_identifier(const TrapRecord& r, char (&out)[kNotificationIdSize]) const;
    void close(Window& w);
    void sweep(std::int64_t now, bool all);

    void roll_minute(std::time_t now);
    bool take_mail(std::time_t now);
    void add_summary_line(const TrapRecord& r, std::uint32_t repeats);
    void send_summary();
};

std::uint32_t AlertPolicy::State::check_repeat(const TrapRecord& r, const Endpoint& sender, std::uint32_t actions)
{
    const std::int64_t now = steady_milliseconds();
    const std::uint64_t key = trap_key(r, sender);
    Window* room = nullptr;
    for (int i = 0; i < kProbes; ++i) {
        Window& w = windows[(key + i) % kWindows];
        const bool ended = w.used && now - w.first >= window_ms;
        if (w.used && w.key == key) {
            if (ended) {  // the same trap after its window: a new first
                close(w);
                room = &w;
                break;
            }
            if (w.kept < 0) {
                if (free_count == 0) return actions;  // no room to keep it: notified as new
                w.kept = free_kept[--free_count];
                kept[w.kept] = r;
            }
            ++w.repeats;
            count(Counter::Duplicates);
            return actions & ~kAlerts;
        }
        if (room == nullptr && (!w.used || (ended && w.repeats == 0))) room = &w;
    }
    if (room != nullptr) *room = Window{key, now, 0, actions, -1, true};
    return actions;
}

// The notification's name from the MIB modules, else its identifier.
void AlertPolicy::State::name_or_identifier(const TrapRecord& r, char (&out)[kNotificationIdSize]) const
{
    char direct[kNotificationIdSize];
    if (names == nullptr || !names->notification_name(r, out, sizeof out)) notification_identifier(r, out, direct);
}

void AlertPolicy::State::close(Window& w)
{
    if (w.repeats > 0 && w.kept >= 0) {
        const TrapRecord& r = kept[w.kept];
        char line[kNotificationIdSize + 400];
        char name[kNotificationIdSize];
        name_or_identifier(r, name);
        std::snprintf(line, sizeof line, "%s: %s %s %s", repeats_text(w.repeats).c_str(), r.recv_time, r.agent_addr,
                      name);
        if (console) std::printf("%s\n", line);
        write_log_line(settings.logfile, line);
        if ((w.actions & kRunMail) != 0 && is_on(settings.f_email)) {
            if (take_mail(std::time(nullptr))) {
                start_mail_notification(settings, r, w.repeats);
            } else {
                add_summary_line(r, w.repeats);
            }
        }
    }
    if (w.kept >= 0) free_kept[free_count++] = w.kept;
    w = Window{};
}

void AlertPolicy::State::sweep(std::int64_t now, bool all)
{
    for (Window& w : windows) {
        if (w.used && (all || now - w.first >= window_ms)) close(w);
    }
}

// A minute that ended sends its summary.
void AlertPolicy::State::roll_minute(std::time_t now)
{
    const std::int64_t this_minute = now / 60;
    if (this_minute == minute) return;
    send_summary();
    minute = this_minute;
    mailed = 0;
}

// True when the trap may have a mail of its own this minute.
bool AlertPolicy::State::take_mail(std::time_t now)
{
    if (!mail_limited()) return true;
    roll_minute(now);
    if (mailed >= settings.mail_max_per_minute) return false;
    ++mailed;
    return true;
}

void AlertPolicy::State::add_summary_line(const TrapRecord& r, std::uint32_t repeats)
{
    char name[kNotificationIdSize];
    name_or_identifier(r, name);
    char line[kNotificationIdSize + 400];
    std::snprintf(line, sizeof line, "%s  %s  %s%s%s%s", r.recv_time, r.agent_addr, name, repeats > 0 ? "  (" : "",
                  repeats > 0 ? repeats_text(repeats).c_str() : "", repeats > 0 ? ")" : "");
    append_folded(summary, line);
    ++summarised;
    count(Counter::MailsSummarised);
    if (summary.size() >= kSummaryLimit) send_summary();
}

void AlertPolicy::State::send_summary()
{
    if (summarised == 0) return;
    char head[256];
    const std::time_t at = static_cast<std::time_t>(minute * 60);
    std::tm local{};
    char when[32] = "";
    if (localtime_r(&at, &local) != nullptr) std::strftime(when, sizeof when, "%Y/%m/%d %H:%M", &local);
    std::snprintf(head, sizeof head,
                  "%s の 1 分間にメールの上限 (%d 通) を超えたトラップ %u 件:\r\n\r\n", when,
                  static_cast<int>(settings.mail_max_per_minute), summarised);
    std::string body = head + summary;
    std::snprintf(head, sizeof head, "\r\n計 %u 件\r\n", summarised);
    body += head;
    // The subject goes out as it stands, so it stays ASCII like the trap mails' own.
    std::snprintf(head, sizeof head, "SNMP Trap Summary %s (%u)", when, summarised);
    start_text_mail(settings, head, std::move(body));
    summary.clear();
    summarised = 0;
}

AlertPolicy::AlertPolicy(const ServiceSettings& settings, const MibNames* names, bool console)
    : state_(std::make_unique<State>(settings, names, console))
{
}

AlertPolicy::~AlertPolicy()
{
    state_->sweep(0, true);
    state_->send_summary();
}

std::uint32_t AlertPolicy::decide(const TrapRecord& record, const Endpoint& sender)
{
    State& s = *state_;
    std::uint32_t actions = s.rules.match(record, sender);
    if (actions == kNoRuleMatched) actions = trap_level_actions(s.settings, record);
    if ((actions & kDrop) != 0) {
        count(Counter::Dropped);
        return kDrop;
    }
    if (s.repeats_on() && (actions & kAlerts) != 0) actions = s.check_repeat(record, sender, actions);
    if ((actions & kRunMail) != 0 && s.mail_limited() && !s.take_mail(std::time(nullptr))) {
        s.add_summary_line(record, 0);
        actions &= ~kRunMail;
    }
    return actions;
}

void AlertPolicy::tick()
{
    State& s = *state_;
    if (s.repeats_on()) {
        const std::int64_t now = steady_milliseconds();
        if (now - s.last_sweep >= 100) {  // ten sweeps a second at most
            s.last_sweep = now;
            s.sweep(now, false);
        }
    }
    if (s.mail_limited()) s.roll_minute(std::time(nullptr));
}

int AlertPolicy::rule_count() const { return state_->rules.size(); }

int AlertPolicy::report_rule_problems() const
{
    const State& s = *state_;
    int problems = 0;
    for (int i = 0; i < s.stored_rules; ++i) {
        const char* why = rule_problem(s.rule_settings[i]);
        if (why == nullptr) continue;
        char line[256];
        std::snprintf(line, sizeof line, "ルール %d を使えません: %s", i + 1, why);
        if (s.console) std::printf("%s\n", line);
        write_log_line(s.settings.logfile, line);
        ++problems;
    }
    return problems;
}
