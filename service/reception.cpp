#include "service/reception.h"

#include <cstdio>
#include <cstring>

#include "common/octet_text.h"
#include "common/snmp_message.h"
#include "common/usm_security.h"
#include "common/usm_users.h"
#include "common/v2c_notification.h"
#include "service/file_recorders.h"

namespace {

constexpr std::size_t kAnswerSize = kFrameDataSize + 512;
constexpr std::uint8_t kV3VersionField = 2;  // the frame's version field: shown as version 3

const char* drop_reason(UsmDrop why)
{
    switch (why) {
    case UsmDrop::UnknownUser: return "登録されていないユーザー";
    case UsmDrop::UnknownEngine: return "不明なエンジンID";
    case UsmDrop::WrongDigest: return "認証コードの不一致";
    case UsmDrop::UnsupportedLevel: return "対応していないセキュリティレベル";
    case UsmDrop::NotInTimeWindow: return "時刻の範囲外";
    case UsmDrop::Undecryptable: return "復号できません";
    case UsmDrop::None: break;
    }
    return "";
}

// A community or user name as a log line may hold it: text where it is
// printable, else its octets in hex, so that no line break or control
// octet from the datagram reaches the log.
void name_text(char* out, std::size_t size, const Span& name)
{
    for (std::size_t i = 0; i < name.size; ++i) {
        if (name.data[i] < 0x20 || name.data[i] == 0x7F) {
            hex_octets_text(out, size, name.data, name.size);
            return;
        }
    }
    octet_string_text(out, size, name.data, name.size);
}

// True when the community is one of the list's (';' between), or the list is empty.
bool community_allowed(const char* list, const Span& community)
{
    if (*list == '\0') return true;
    for (const char* p = list;;) {
        const char* end = std::strchr(p, ';');
        const std::size_t n = end ? static_cast<std::size_t>(end - p) : std::strlen(p);
        if (n == community.size && std::memcmp(p, community.data, n) == 0) return true;
        if (end == nullptr) return false;
        p = end + 1;
    }
}

} // namespace

struct Reception::State {
    UsmUser users[kMaxUsmUsers];
    int user_count = 0;
    UsmSecurity usm;
    std::uint8_t answer[kAnswerSize];
    std::uint8_t response_pdu[kAnswerSize];
};

Reception::Reception(const ServiceSettings& settings) : settings_(settings), state_(new State)
{
    State& s = *state_;
    s.user_count = load_usm_users(s.users, kMaxUsmUsers);
    std::uint8_t engine_id[kMaxEngineIdSize];
    const std::size_t engine_id_size = receiver_engine_id(engine_id);
    s.usm.configure(s.users, s.user_count, engine_id, engine_id_size, next_engine_boots());
}

Reception::~Reception() = default;

namespace {

void log_drop(const ServiceSettings& settings, const char* version, const char* reason, const Endpoint& sender,
              const char* name_label, const Span& name)
{
    char from[kAddressTextSize], who[kTextSize], line[2 * kTextSize + 256];
    endpoint_text(sender, from, sizeof from);
    name_text(who, sizeof who, name);
    std::snprintf(line, sizeof line, "%s メッセージを破棄しました: %s (送信元: %s, %s: %s)", version, reason, from,
                  name_label, who);
    write_log_line(settings.logfile, line);
}

} // namespace

Reception::Outcome Reception::take(TrapFrame& frame, const Endpoint& sender, UdpSocket& replies,
                                   TrapFrame& translated, TrapRecord& record, TrapFrame*& trap)
{
    State& s = *state_;
    SnmpMessage m;
    const bool readable = read_snmp_message(frame.data, frame.length, m);
    if (readable && m.version == SnmpVersion::V3) {
        const UsmDrop why = s.usm.accept(frame.data, frame.length, m);
        if (why != UsmDrop::None) {
            const std::size_t report = s.usm.build_report(m, why, s.answer, sizeof s.answer);
            if (report > 0) replies.send_to(sender, s.answer, report);
            const bool discovery = why == UsmDrop::UnknownEngine && m.usm.engine_id.size == 0 && report > 0;
            if (!discovery) log_drop(settings_, "SNMPv3", drop_reason(why), sender, "ユーザー", m.usm.user);
            return Outcome::Dropped;
        }
        const NotificationOrigin origin{kV3VersionField, m.usm.user, sender, frame.time};
        const V2cNotification kind = translate_notification(m.pdu, origin, translated);
        if (kind == V2cNotification::None || decode_trap(record, translated) != 0) return Outcome::NotATrap;
        if (kind == V2cNotification::Inform) {
            const std::size_t pdu = build_response_pdu(m.pdu, s.response_pdu, sizeof s.response_pdu);
            const std::size_t size = s.usm.build_response(m, s.response_pdu, pdu, s.answer, sizeof s.answer);
            if (pdu > 0 && size > 0) replies.send_to(sender, s.answer, size);
        }
        trap = &translated;
        return Outcome::Trap;
    }
    V2cNotification kind = V2cNotification::None;
    if (readable && m.version == SnmpVersion::V2c && is_on(settings_.f_v2c)) {
        const NotificationOrigin origin{static_cast<std::uint8_t>(SnmpVersion::V2c), m.community, sender,
                                        frame.time};
        kind = translate_notification(m.pdu, origin, translated);
    }
    trap = kind != V2cNotification::None ? &translated : &frame;
    if (decode_trap(record, *trap) != 0) return Outcome::NotATrap;
    const char* version = kind != V2cNotification::None ? "SNMPv2c" : "SNMPv1";
    const Span community = readable ? m.community
                                    : Span{reinterpret_cast<const std::uint8_t*>(record.community), std::strlen(record.community)};
    if (is_on(settings_.f_v3only)) {
        log_drop(settings_, version, "SNMPv3 のみ受け付ける設定", sender, "コミュニティ", community);
        return Outcome::Dropped;
    }
    if (!community_allowed(settings_.communities, community)) {
        log_drop(settings_, version, "許可されていないコミュニティ", sender, "コミュニティ", community);
        return Outcome::Dropped;
    }
    if (kind == V2cNotification::Inform) {
        const std::size_t size = build_community_response(m, s.answer, sizeof s.answer);
        if (size > 0) replies.send_to(sender, s.answer, size);
    }
    return Outcome::Trap;
}
