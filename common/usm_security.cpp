#include "common/usm_security.h"

#include <cstring>

#include "common/trap_frame.h"

using namespace ber;

namespace {

constexpr std::uint32_t kMaxInt31 = 0x7FFFFFFFu;
constexpr std::uint32_t kTimeWindow = 150;  // seconds (RFC 3414 3.2.7)
constexpr std::uint32_t kMaxMessageSize = 4096;
constexpr std::size_t kTableSize = 1024;  // keys of (user, engine), and engines seen: a power of two
constexpr std::size_t kProbes = 8;        // slots looked at for one key; the stalest is replaced

// usmStats objects (RFC 3414 5), by UsmDrop: 1.3.6.1.6.3.15.1.1.N.0.
const std::uint8_t kUsmStatsNumber[] = {0, 3, 4, 5, 1, 2, 6};

std::uint32_t fnv1a(const std::uint8_t* data, std::size_t size, std::uint32_t hash = 2166136261u)
{
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

bool same_octets(const Span& a, const std::uint8_t* b, std::size_t b_size)
{
    return a.size == b_size && (b_size == 0 || std::memcmp(a.data, b, b_size) == 0);
}

// Compares without stopping at the first difference.
bool same_mac(const std::uint8_t* a, const std::uint8_t* b, std::size_t size)
{
    std::uint8_t diff = 0;
    for (std::size_t i = 0; i < size; ++i) diff |= static_cast<std::uint8_t>(a[i] ^ b[i]);
    return diff == 0;
}

std::uint8_t level_of(const UsmUser& u)
{
    return static_cast<std::uint8_t>((u.auth != AuthProtocol::None ? kMsgFlagAuth : 0) |
                                     (u.priv != PrivProtocol::None ? kMsgFlagPriv : 0));
}

} // namespace

struct UsmSecurity::Keys {
    int user = -1;  // -1: a free slot
    std::uint8_t engine_id[kMaxEngineIdSize];
    std::size_t engine_id_size = 0;
    std::uint64_t used = 0;
    bool made = false;       // the authentication key; false: the platform could not make it
    bool priv_made = false;  // the privacy key, made once a message has proved the user
    std::uint8_t auth[kMaxKeySize];
    std::uint8_t priv[kMaxKeySize];
};

struct UsmSecurity::Engine {
    bool used_slot = false;
    std::uint8_t engine_id[kMaxEngineIdSize];
    std::size_t engine_id_size = 0;
    std::uint32_t boots = 0;
    std::uint32_t time = 0;        // the engine's time when `at` was
    std::uint32_t latest = 0;      // latestReceivedEngineTime
    std::uint32_t at = 0;          // our engine time when it was noted
};

struct UsmSecurity::Tables {
    Keys keys[kTableSize];
    Engine engines[kTableSize];
    std::uint64_t clock = 0;  // counts key look-ups, for the stalest slot
    std::uint8_t plain[kFrameDataSize];
    std::uint8_t scratch[2][kFrameDataSize + 256];
};

UsmSecurity::UsmSecurity() : started_(std::chrono::steady_clock::now()), tables_(new Tables) {}
UsmSecurity::~UsmSecurity() = default;

void UsmSecurity::configure(const UsmUser* users, int count, const std::uint8_t* engine_id,
                            std::size_t engine_id_size, std::uint32_t boots)
{
    users_ = users;
    user_count_ = count;
    engine_id_size_ = engine_id_size <= kMaxEngineIdSize ? engine_id_size : 0;
    std::memcpy(engine_id_, engine_id, engine_id_size_);
    boots_ = boots;
    started_ = std::chrono::steady_clock::now();
    for (Keys& k : tables_->keys) k.user = -1;
    for (Engine& e : tables_->engines) e.used_slot = false;
}

std::uint32_t UsmSecurity::engine_time() const
{
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_);
    const long long seconds = elapsed.count();
    return seconds < 0 ? 0 : seconds > kMaxInt31 ? kMaxInt31 : static_cast<std::uint32_t>(seconds);
}

UsmSecurity::Keys* UsmSecurity::keys_for(int user, const Span& engine_id)
{
    Tables& t = *tables_;
    const std::uint32_t hash = fnv1a(engine_id.data, engine_id.size, fnv1a(reinterpret_cast<const std::uint8_t*>(&user), sizeof user));
    Keys* slot = nullptr;
    for (std::size_t i = 0; i < kProbes; ++i) {
        Keys& k = t.keys[(hash + i) & (kTableSize - 1)];
        if (k.user == user && same_octets(engine_id, k.engine_id, k.engine_id_size)) {
            k.used = ++t.clock;
            return k.made ? &k : nullptr;
        }
        if (slot == nullptr || (slot->user != -1 && (k.user == -1 || k.used < slot->used))) slot = &k;
    }
    const UsmUser& u = users_[user];
    Keys& k = *slot;
    k.user = user;
    std::memcpy(k.engine_id, engine_id.data, engine_id.size);
    k.engine_id_size = engine_id.size;
    k.used = ++t.clock;
    k.made = localize_key(u.auth, u.auth_ku, engine_id.data, engine_id.size, k.auth);
    k.priv_made = false;
    return k.made ? &k : nullptr;
}

// The privacy key is made only for a message whose MAC proved the user: for
// AES-192C and AES-256C it costs a second password stretch, which a forged
// engine ID must not be able to ask for.
bool UsmSecurity::make_privacy_key(int user, Keys& keys)
{
    const UsmUser& u = users_[user];
    if (!keys.priv_made)
        keys.priv_made = localize_priv_key(u.auth, u.priv, u.priv_ku, keys.engine_id, keys.engine_id_size, keys.priv);
    return keys.priv_made;
}

// RFC 3414 3.2.7: against our own clock when we are the authoritative
// engine, else against what the sending engine's authentic messages told us.
bool UsmSecurity::in_time_window(const SnmpMessage& m, bool authoritative)
{
    const UsmParameters& u = m.usm;
    const std::uint32_t now = engine_time();
    if (authoritative) {
        const std::uint32_t apart = u.time > now ? u.time - now : now - u.time;
        return boots_ != kMaxInt31 && u.boots == boots_ && apart <= kTimeWindow;
    }
    Tables& t = *tables_;
    const std::uint32_t hash = fnv1a(u.engine_id.data, u.engine_id.size);
    Engine* slot = nullptr;
    Engine* known = nullptr;
    for (std::size_t i = 0; i < kProbes && known == nullptr; ++i) {
        Engine& e = t.engines[(hash + i) & (kTableSize - 1)];
        if (e.used_slot && same_octets(u.engine_id, e.engine_id, e.engine_id_size)) known = &e;
        else if (slot == nullptr || (slot->used_slot && (!e.used_slot || e.at < slot->at))) slot = &e;
    }
    if (known == nullptr) {  // first seen: its values are taken as they come
        Engine& e = *slot;
        e.used_slot = true;
        std::memcpy(e.engine_id, u.engine_id.data, u.engine_id.size);
        e.engine_id_size = u.engine_id.size;
        e.boots = u.boots;
        e.time = e.latest = u.time;
        e.at = now;
        return u.boots != kMaxInt31;
    }
    Engine& e = *known;
    if (u.boots > e.boots || (u.boots == e.boots && u.time > e.latest)) {
        e.boots = u.boots;
        e.time = e.latest = u.time;
        e.at = now;
    }
    const std::uint64_t estimated = static_cast<std::uint64_t>(e.time) + (now - e.at);
    return e.boots != kMaxInt31 && u.boots >= e.boots &&
           !(u.boots == e.boots && static_cast<std::uint64_t>(u.time) + kTimeWindow < estimated);
}

namespace {

int find_user(const UsmUser* users, int count, const Span& name)
{
    for (int i = 0; i < count; ++i)
        if (same_octets(name, reinterpret_cast<const std::uint8_t*>(users[i].name), users[i].name_size)) return i;
    return -1;
}

// The MAC over the whole message with its MAC octets zeroed (RFC 3414 6.3.2).
bool authentic(std::uint8_t* message, const SnmpMessage& m, const UsmUser& u, const std::uint8_t* kul)
{
    const std::size_t size = mac_size(u.auth);
    const std::size_t at = m.usm.auth_offset;
    if (m.usm.auth.size != size || at + size > m.message_size) return false;
    std::uint8_t got[kMaxMacSize], want[kMaxMacSize];
    std::memcpy(got, message + at, size);
    std::memset(message + at, 0, size);
    const bool made = message_mac(u.auth, kul, message, m.message_size, want);
    std::memcpy(message + at, got, size);
    return made && same_mac(got, want, size);
}

} // namespace

UsmDrop UsmSecurity::accept(std::uint8_t* message, std::size_t size, SnmpMessage& m)
{
    last_user_ = -1;
    last_keys_ = nullptr;
    const UsmDrop why = check(message, size, m);
    if (why != UsmDrop::None) ++counters_[static_cast<int>(why)];
    return why;
}

UsmDrop UsmSecurity::check(std::uint8_t* message, std::size_t size, SnmpMessage& m)
{
    const UsmParameters& u = m.usm;
    if (u.engine_id.size == 0) return UsmDrop::UnknownEngine;  // discovery
    const bool authoritative = same_octets(u.engine_id, engine_id_, engine_id_size_);
    if (!authoritative && is_reportable(m)) return UsmDrop::UnknownEngine;  // a request or inform for another engine
    const int index = find_user(users_, user_count_, u.user);
    if (index < 0) return UsmDrop::UnknownUser;
    const UsmUser& user = users_[index];
    if (!authoritative && user.engine_id_size > 0 && !same_octets(u.engine_id, user.engine_id, user.engine_id_size))
        return UsmDrop::UnknownEngine;
    // Exactly the user's level: a lower one would let anyone send in its name.
    if (!user.usable || (m.flags & (kMsgFlagAuth | kMsgFlagPriv)) != level_of(user)) return UsmDrop::UnsupportedLevel;
    if (user.auth != AuthProtocol::None) {
        Keys* keys = keys_for(index, u.engine_id);
        if (keys == nullptr) return UsmDrop::UnsupportedLevel;
        if (size < m.message_size || !authentic(message, m, user, keys->auth)) return UsmDrop::WrongDigest;
        last_user_ = index;
        last_keys_ = keys;
        if (!in_time_window(m, authoritative)) return UsmDrop::NotInTimeWindow;
        if (user.priv != PrivProtocol::None) {
            if (!make_privacy_key(index, *keys)) return UsmDrop::UnsupportedLevel;
            if (!decrypt(user, *keys, m)) return UsmDrop::Undecryptable;
        }
    }
    last_user_ = index;
    if (!authoritative && m.pdu_tag == kPduInform) return UsmDrop::UnknownEngine;
    return UsmDrop::None;
}

bool UsmSecurity::decrypt(const UsmUser& user, const Keys& keys, SnmpMessage& m)
{
    std::uint8_t* plain = tables_->plain;
    const Span& sealed = m.scoped_pdu;
    if (m.usm.priv.size != kPrivParamsSize || sealed.size > sizeof tables_->plain) return false;
    return decrypt_scoped_pdu(user.priv, keys.priv, m.usm.boots, m.usm.time, m.usm.priv.data, sealed.data,
                              sealed.size, plain) &&
           read_scoped_pdu(plain, sealed.size, m);
}

std::size_t UsmSecurity::build_report(const SnmpMessage& m, UsmDrop why, std::uint8_t* out, std::size_t capacity)
{
    if (!is_reportable(m) || why == UsmDrop::None) return 0;
    const int index = static_cast<int>(why);
    const std::uint8_t name[] = {0x2B, 6, 1, 6, 3, 15, 1, 1, kUsmStatsNumber[index], 0};
    std::uint8_t count[5];
    const std::size_t count_size = integer_content(counters_[index], count);
    Element request_id{};
    const bool has_id = m.pdu.size > 0 && read_request_id(m.pdu, request_id);
    const std::uint8_t zero = 0;
    const std::size_t binding = tlv_size(sizeof name) + tlv_size(count_size);  // content of the VarBind
    const std::size_t list = tlv_size(binding);                                 // content of the list
    std::uint8_t pdu[128];
    Writer w(pdu, sizeof pdu);
    w.header(kPduReport, (has_id ? request_id.size() : tlv_size(1)) + 2 * tlv_size(1) + tlv_size(list));
    if (has_id) w.element(request_id);
    else w.tlv(kInteger, &zero, 1);
    w.tlv(kInteger, &zero, 1);
    w.tlv(kInteger, &zero, 1);
    w.header(kSequence, list);
    w.header(kSequence, binding);
    w.tlv(kOid, name, sizeof name);
    w.tlv(kCounter32, count, count_size);
    if (!w.ok()) return 0;
    // Only the time window report is authenticated (RFC 3414 3.2.7 a).
    const bool signed_report = why == UsmDrop::NotInTimeWindow && last_keys_ != nullptr;
    const Scope scope{Span{engine_id_, engine_id_size_}, Span{}};
    return build_message(m, signed_report ? kMsgFlagAuth : 0, signed_report ? last_keys_ : nullptr, scope, pdu,
                         w.used(), out, capacity);
}

std::size_t UsmSecurity::build_response(const SnmpMessage& m, const std::uint8_t* response_pdu, std::size_t pdu_size,
                                        std::uint8_t* out, std::size_t capacity)
{
    if (last_user_ < 0) return 0;
    const std::uint8_t level = m.flags & (kMsgFlagAuth | kMsgFlagPriv);
    if (level != 0 && last_keys_ == nullptr) return 0;
    return build_message(m, level, last_keys_, Scope{m.context_engine_id, m.context_name}, response_pdu, pdu_size,
                         out, capacity);
}

// A message from us as the authoritative engine: our engine ID, boots and
// time, the sender's user name and msgID, the PDU in its scope, encrypted
// and signed as `flags` say.
std::size_t UsmSecurity::build_message(const SnmpMessage& m, std::uint8_t flags, const Keys* keys, const Scope& scope,
                                       const std::uint8_t* pdu, std::size_t pdu_size, std::uint8_t* out,
                                       std::size_t capacity)
{
    Tables& t = *tables_;
    const std::uint32_t now = engine_time();
    Writer scoped(t.scratch[0], sizeof t.scratch[0]);
    scoped.header(kSequence, tlv_size(scope.engine_id.size) + tlv_size(scope.name.size) + pdu_size);
    scoped.tlv(kOctetString, scope.engine_id.data, scope.engine_id.size);
    scoped.tlv(kOctetString, scope.name.data, scope.name.size);
    scoped.bytes(pdu, pdu_size);
    if (!scoped.ok()) return 0;

    const UsmUser* user = last_user_ >= 0 ? &users_[last_user_] : nullptr;
    std::uint8_t salt[kPrivParamsSize] = {};
    Span data{t.scratch[0], scoped.used()};
    if (flags & kMsgFlagPriv) {
        std::size_t sealed = 0;
        if (user == nullptr || keys == nullptr ||
            !encrypt_scoped_pdu(user->priv, keys->priv, boots_, now, t.scratch[0], scoped.used(), t.scratch[1], sealed,
                                salt))
            return 0;
        data = Span{t.scratch[1], sealed};
    }
    const std::size_t mac = (flags & kMsgFlagAuth) && user != nullptr ? mac_size(user->auth) : 0;
    const std::size_t salt_size = (flags & kMsgFlagPriv) ? kPrivParamsSize : 0;
    std::uint8_t zeros[kMaxMacSize] = {};
    std::uint8_t boots[5], time[5], id[5], max_size[5];
    const std::size_t boots_size = integer_content(boots_, boots), time_size = integer_content(now, time);
    const std::size_t id_size = integer_content(m.msg_id, id), max_size_size = integer_content(kMaxMessageSize, max_size);
    const std::size_t usm = tlv_size(engine_id_size_) + tlv_size(boots_size) + tlv_size(time_size) +
                            tlv_size(m.usm.user.size) + tlv_size(mac) + tlv_size(salt_size);
    const std::size_t global = tlv_size(id_size) + tlv_size(max_size_size) + tlv_size(1) + tlv_size(1);
    const std::size_t data_size = (flags & kMsgFlagPriv) ? tlv_size(data.size) : data.size;
    const std::uint8_t version = 3, model = kUsmSecurityModel;
    Writer w(out, capacity);
    w.header(kSequence, tlv_size(1) + tlv_size(global) + tlv_size(tlv_size(usm)) + data_size);
    w.tlv(kInteger, &version, 1);
    w.header(kSequence, global);
    w.tlv(kInteger, id, id_size);
    w.tlv(kInteger, max_size, max_size_size);
    w.tlv(kOctetString, &flags, 1);
    w.tlv(kInteger, &model, 1);
    w.header(kOctetString, tlv_size(usm));
    w.header(kSequence, usm);
    w.tlv(kOctetString, engine_id_, engine_id_size_);
    w.tlv(kInteger, boots, boots_size);
    w.tlv(kInteger, time, time_size);
    w.tlv(kOctetString, m.usm.user.data, m.usm.user.size);
    w.header(kOctetString, mac);
    const std::size_t mac_at = w.used();
    w.bytes(zeros, mac);
    w.tlv(kOctetString, salt, salt_size);
    if (flags & kMsgFlagPriv) w.tlv(kOctetString, data.data, data.size);
    else w.bytes(data.data, data.size);
    if (!w.ok()) return 0;
    if (mac > 0) {
        std::uint8_t digest[kMaxMacSize];
        if (!message_mac(user->auth, keys->auth, out, w.used(), digest)) return 0;
        std::memcpy(out + mac_at, digest, mac);
    }
    return w.used();
}
