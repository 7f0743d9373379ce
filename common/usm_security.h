// The user-based security model on the receiving side (RFC 3414 3.2) for
// the notifications the receiver takes: traps, where the sending agent is the
// authoritative engine (timeliness by 3.2.7 b against a bounded table of the
// engines seen), and informs, where the receiver is (3.2.7 a, against its
// own snmpEngineID, snmpEngineBoots and snmpEngineTime). It answers engine
// discovery and time synchronisation with Report PDUs (RFC 3414 4) and builds
// the Response to an inform at the inform's security level.
//
// A user without an engine ID has its keys localised once for each engine
// that sends as it, kept in a bounded cache; nothing is allocated after
// construction, so a datagram costs no allocation once its keys are cached.
// One instance per receive loop, used from one thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/snmp_message.h"
#include "common/usm_users.h"

enum class UsmDrop : std::uint8_t {
    None,
    UnknownUser,       // no such user
    UnknownEngine,     // no engine ID, another engine's informs, a user bound to other engines
    WrongDigest,       // the MAC does not match, or has the wrong size
    UnsupportedLevel,  // a level the user is not set up for, or one this platform cannot run
    NotInTimeWindow,   // engine boots or time out of the window
    Undecryptable,     // the privacy parameters or the decrypted scoped PDU are malformed
};

class UsmSecurity {
public:
    UsmSecurity();
    ~UsmSecurity();
    UsmSecurity(const UsmSecurity&) = delete;
    UsmSecurity& operator=(const UsmSecurity&) = delete;

    // The users (kept by the caller, unchanged while this lives) and the
    // receiver's own engine; snmpEngineTime counts from now.
    void configure(const UsmUser* users, int count, const std::uint8_t* engine_id, std::size_t engine_id_size,
                   std::uint32_t boots);

    // Checks the v3 message `m` read from message[0 .. size) and, with
    // privacy, decrypts its scoped PDU into this object's buffer, setting
    // m.pdu (valid until the next call). `message` is changed while its MAC
    // is computed and restored before the call returns.
    UsmDrop accept(std::uint8_t* message, std::size_t size, SnmpMessage& m);

    // The Report PDU message for a dropped message that asked for one (its
    // reportable flag), in out[0 .. capacity): its size, else 0.
    std::size_t build_report(const SnmpMessage& m, UsmDrop why, std::uint8_t* out, std::size_t capacity);

    // The message carrying `response_pdu` back to the sender of the accepted
    // inform `m`, at the inform's security level. Its size, 0 when it does
    // not fit.
    std::size_t build_response(const SnmpMessage& m, const std::uint8_t* response_pdu, std::size_t pdu_size,
                               std::uint8_t* out, std::size_t capacity);

    std::uint32_t engine_time() const;

    struct Keys;
    struct Engine;

private:
    struct Scope {
        Span engine_id, name;  // contextEngineID, contextName
    };
    UsmDrop check(std::uint8_t* message, std::size_t size, SnmpMessage& m);
    Keys* keys_for(int user, const Span& engine_id);
    bool make_privacy_key(int user, Keys& keys);
    bool in_time_window(const SnmpMessage& m, bool authoritative);
    bool decrypt(const UsmUser& user, const Keys& keys, SnmpMessage& m);
    std::size_t build_message(const SnmpMessage& m, std::uint8_t flags, const Keys* keys, const Scope& scope,
                              const std::uint8_t* pdu, std::size_t pdu_size, std::uint8_t* out, std::size_t capacity);

    const UsmUser* users_ = nullptr;
    int user_count_ = 0;
    std::uint8_t engine_id_[kMaxEngineIdSize] = {};
    std::size_t engine_id_size_ = 0;
    std::uint32_t boots_ = 0;
    std::chrono::steady_clock::time_point started_;
    std::uint32_t counters_[7] = {};  // usmStats by UsmDrop
    int last_user_ = -1;              // the user of the last accepted or authenticated message
    const Keys* last_keys_ = nullptr;
    struct Tables;
    std::unique_ptr<Tables> tables_;
};

// Whether a dropped message is answered with a Report (RFC 3412 6.4): its
// reportable flag decides while its PDU is unread (encrypted); a PDU that was
// read decides by its class, so a trap, response or report never gets one.
inline bool is_reportable(const SnmpMessage& m)
{
    if (!(m.flags & kMsgFlagReportable)) return false;
    if (m.pdu.size == 0) return true;
    const std::uint8_t t = m.pdu_tag;
    return t == kPduGet || t == kPduGetNext || t == kPduSet || t == kPduGetBulk || t == kPduInform;
}
