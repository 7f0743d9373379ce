// Rules: an ordered list of conditions on a notification and what to do
// with the notifications that meet them. The first rule that matches decides;
// a notification no rule matches is handled by the trap level.
//
// In the settings store each rule is the subkey "Rules\<n>" (n = 1, 2, ...,
// the order; written as three digits, read in numeric order, "7" and "007"
// both, as listed) with:
//   "oid"        the notification's identifier ("" any), dotted decimal;
//   "f_subtree"  1: the identifier and every identifier below it;
//   "address"    an address or CIDR prefix, IPv4 or IPv6 ("" any), met by
//                the datagram's sender or the trap's agent address; an
//                IPv4-mapped one (::ffff:a.b.c.d/96 or longer) is IPv4;
//   "community"  the community, or the SNMPv3 user ("" any), exactly;
//   "value_oid", "value_text": a binding named value_oid or below it ("" any
//                binding) whose value, as the report shows it, contains
//                value_text at a CP932 character ("" any value); both ""
//                matches every trap;
//   "f_drop"     1: not recorded, not forwarded, not notified, counted;
//   "f_sound", "f_popup", "f_program", "f_email", "f_syslog": otherwise, the
//                notifications that run (each also needs its own switch on).
// A notification's identifier is the one RFC 3584 3.1 gives its v1 form:
// snmpTraps.(generic+1) for a generic trap 0 to 5, else enterprise.0.specific;
// an SNMPv2 notification whose identifier had no 0 before its last arc also
// matches as enterprise.specific, the identifier it came with.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/trap_record.h"
#include "platform/sockets.h"

constexpr int kMaxRules = 100;

// One rule as stored; texts in CP932 as the store keeps them.
struct RuleSetting {
    char oid[kOidTextSize];
    std::int32_t f_subtree;
    char address[kTextSize];
    char community[kTextSize];
    char value_oid[kOidTextSize];
    char value_text[kTextSize];
    std::int32_t f_drop;
    std::int32_t f_sound;
    std::int32_t f_popup;
    std::int32_t f_program;
    std::int32_t f_email;
    std::int32_t f_syslog;
};

// The stored rules in order, at most `capacity`; returns how many were read.
int read_rule_settings(RuleSetting* out, int capacity);
// Replaces every stored rule with rules[0 .. count). 1 on success, 0 when a
// rule has a problem (rule_problem) or the store refused.
int write_rule_settings(const RuleSetting* rules, int count);

// Null for a rule the receiver can use, else what is wrong with it, as the
// manager and the log show it ("アドレスが正しくありません" ...).
const char* rule_problem(const RuleSetting& rule);

// What a matching rule asks for; the notification bits are those of the
// rule's switches.
enum RuleAction : std::uint32_t {
    kRunSound = 1,
    kRunPopup = 2,
    kRunProgram = 4,
    kRunMail = 8,
    kRunSyslog = 16,
    kDrop = 32,
    kNoRuleMatched = 0x80000000u,
};

// An address or prefix: "192.0.2.7", "192.0.2.0/24", "2001:db8::/32".
struct AddressPrefix {
    std::uint8_t family;  // 4 or 6
    std::uint8_t address[16];
    int bits;
};
bool parse_address_prefix(const char* text, AddressPrefix& out);
bool prefix_contains(const AddressPrefix& prefix, int family, const std::uint8_t* address);

// The rules in a form that matches without allocating. Rules with a problem
// are left out; problems() tells which (1-based numbers, up to kMaxRules).
class TrapRules {
public:
    TrapRules() = default;
    TrapRules(const TrapRules&) = delete;
    TrapRules& operator=(const TrapRules&) = delete;

    // Takes rules[0 .. count), count at most kMaxRules.
    void set(const RuleSetting* rules, int count);
    int size() const { return count_; }

    // The actions of the first rule the trap matches, or kNoRuleMatched.
    std::uint32_t match(const TrapRecord& record, const Endpoint& sender) const;

private:
    struct Compiled {
        const RuleSetting* setting;
        std::uint32_t actions;
        bool has_prefix;
        AddressPrefix prefix;
    };
    struct Trap;
    static bool matches(const Compiled& rule, const Trap& trap);

    Compiled rules_[kMaxRules] = {};
    int count_ = 0;
    bool needs_identifier_ = false;
    bool needs_agent_ = false;
};
