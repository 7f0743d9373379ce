#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/trap_rules.h"

namespace {

struct PrefixCase {
    const char* text;
    const char* inside;   // null: the text is refused
    const char* outside;  // null: nothing to check
};

// IPv4 and IPv6 text as Endpoint bytes, for the rows.
AddressPrefix address(const char* text)
{
    AddressPrefix a{};
    EXPECT_TRUE(parse_address_prefix(text, a)) << text;
    return a;
}

TEST(TrapRules, AddressesAndPrefixes)
{
    const PrefixCase cases[] = {
        {"192.0.2.7", "192.0.2.7", "192.0.2.8"},
        {"192.0.2.0/24", "192.0.2.255", "192.0.3.0"},
        {"10.0.0.0/9", "10.127.255.255", "10.128.0.0"},  // a prefix inside an octet
        {"0.0.0.0/0", "203.0.113.9", "::1"},              // every IPv4 address, no IPv6 one
        {"2001:db8::/32", "2001:db8:ffff::1", "2001:db9::"},
        {"::ffff:192.0.2.0/120", "192.0.2.77", "192.0.3.1"},  // IPv4 as the sockets give it
        {"::ffff:0:0/95", "::fffe:0:1", "192.0.2.77"},
        {"::", "::", "::1"},
        {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:9"},
        {"1::8/127", "1::9", "1::a"},
        {"256.0.0.1", nullptr, nullptr}, {"1.2.3", nullptr, nullptr}, {"1.2.3.4/33", nullptr, nullptr},
        {"1.2.3.4/", nullptr, nullptr}, {"1.2.3.4 ", nullptr, nullptr}, {"01234.1.1.1", nullptr, nullptr},
        {"", nullptr, nullptr}, {"1::2::3", nullptr, nullptr}, {"2001:db8:::1", nullptr, nullptr},
        {"1:2:3:4:5:6:7:8:9", nullptr, nullptr}, {"1:2:3:4:5:6:7::8", nullptr, nullptr},
        {"12345::", nullptr, nullptr}, {"1:", nullptr, nullptr}, {"::1/129", nullptr, nullptr},
        {"fe80::1%eth0", nullptr, nullptr}, {"::1.2.3.4.5", nullptr, nullptr},
    };
    for (const PrefixCase& c : cases) {
        AddressPrefix prefix;
        ASSERT_EQ(parse_address_prefix(c.text, prefix), c.inside != nullptr) << c.text;
        if (c.inside == nullptr) continue;
        const AddressPrefix in = address(c.inside), out = address(c.outside);
        EXPECT_TRUE(prefix_contains(prefix, in.family, in.address)) << c.text << " " << c.inside;
        EXPECT_FALSE(prefix_contains(prefix, out.family, out.address)) << c.text << " " << c.outside;
    }
}

struct Trap {
    int version;
    const char* enterprise;
    int generic;
    std::uint32_t specific;
    const char* community;
    const char* agent;
    const char* sender;
    std::vector<std::pair<const char*, const char*>> bindings;
    std::uint32_t actions;  // of the first rule that matches
};

TEST(TrapRules, FirstMatchingRuleDecides)
{
    static RuleSetting rules[9] = {};
    auto rule = [](int i, const char* oid, int subtree, const char* address, const char* community) -> RuleSetting& {
        std::strcpy(rules[i].oid, oid);
        rules[i].f_subtree = subtree;
        std::strcpy(rules[i].address, address);
        std::strcpy(rules[i].community, community);
        return rules[i];
    };
    rule(0, "1.3.6.1.4.1.99999.5", 1, "", "").f_email = 1;
    rule(1, ".1.3.6.1.6.3.1.1.5.3", 0, "10.1.0.0/16", "").f_sound = 1;  // linkDown (generic 2) from 10.1/16
    rule(2, "", 0, "2001:db8::/32", "").f_drop = 1;
    rule(3, "", 0, "", "pager").f_popup = 1;
    rule(4, "1.3.6.1.4.1.7.1", 0, "", "").f_program = 1;  // a v2 identifier without the 0
    RuleSetting& value = rule(5, "", 0, "", "");
    std::strcpy(value.value_oid, "1.3.6.1.2.1.2.2.1.2");
    std::strcpy(value.value_text, "core");
    value.f_syslog = 1;
    rule(6, "", 0, "10.0.0.0/33", "").f_drop = 1;  // refused: left out
    rule(7, "1.3.6.1.4.1.07", 1, "", "").f_drop = 1;  // refused: an arc no trap's identifier has
    rule(8, ".", 0, "", "").f_drop = 1;               // refused: no identifier
    TrapRules compiled;
    compiled.set(rules, 9);
    EXPECT_EQ(compiled.size(), 6);

    const Trap traps[] = {
        {1, "1.3.6.1.4.1.99999.5.2", 6, 1, "public", "192.0.2.1", "192.0.2.1", {}, kRunMail},
        {1, "1.3.6.1.4.1.99999.50", 6, 1, "public", "192.0.2.1", "192.0.2.1", {}, kNoRuleMatched},
        {1, "1.3.6.1.4.1.99999", 6, 5, "public", "192.0.2.1", "192.0.2.1", {}, kNoRuleMatched},  // ....0.5 is no child of .5
        {1, "1.3.6.1.4.1.1", 2, 0, "public", "10.1.9.9", "192.0.2.1", {}, kRunSound},    // the agent's address
        {1, "1.3.6.1.4.1.1", 2, 0, "public", "192.0.2.1", "10.1.9.9", {}, kRunSound},    // the sender's
        {1, "1.3.6.1.4.1.1", 3, 0, "public", "10.1.9.9", "10.1.9.9", {}, kNoRuleMatched},
        {2, "1.3.6.1.4.1.1", 6, 1, "pager", "2001:db8::7", "192.0.2.1", {}, kDrop},     // before the community's rule
        {2, "1.3.6.1.4.1.1", 6, 1, "pager", "192.0.2.1", "2001:db9::7", {}, kRunPopup},
        {1, "1.3.6.1.4.1.1", 6, 1, "pagers", "192.0.2.1", "192.0.2.1", {}, kNoRuleMatched},
        {2, "1.3.6.1.4.1.7", 6, 1, "public", "192.0.2.1", "192.0.2.1", {}, kRunProgram},  // sent as ...7.1
        {1, "1.3.6.1.4.1.7", 6, 1, "public", "192.0.2.1", "192.0.2.1", {}, kNoRuleMatched},  // v1: only ...7.0.1
        {1, "1.3.6.1.4.1.1", 6, 1, "public", "192.0.2.1", "192.0.2.1",
         {{"1.3.6.1.2.1.1.5.0", "core-sw1"}, {"1.3.6.1.2.1.2.2.1.2.3", "uplink to core"}}, kRunSyslog},
        {1, "1.3.6.1.4.1.1", 6, 1, "public", "192.0.2.1", "192.0.2.1",
         {{"1.3.6.1.2.1.1.5.0", "core-sw1"}, {"1.3.6.1.2.1.2.2.1.20.3", "core"}}, kNoRuleMatched},
        {1, "1.3.6.1.4.1.1", 6, 1, "public", "192.0.2.1", "192.0.2.1",
         {{"1.3.6.1.2.1.2.2.1.2.3", "\x83" "core"}}, kNoRuleMatched},  // "c" ends a CP932 character
    };
    for (const Trap& t : traps) {
        static TrapRecord record;
        record = TrapRecord{};
        record.version = t.version;
        std::strcpy(record.enterprise, t.enterprise);
        record.generic_trap = t.generic;
        record.specific_trap = t.specific;
        std::strcpy(record.community, t.community);
        std::strcpy(record.agent_addr, t.agent);
        for (std::size_t i = 0; i < t.bindings.size(); ++i) {
            std::strcpy(record.varbinds[i].name, t.bindings[i].first);
            std::strcpy(record.varbinds[i].value, t.bindings[i].second);
        }
        const AddressPrefix from = address(t.sender);
        Endpoint sender{from.family, {}, 0};
        std::memcpy(sender.address, from.address, sizeof sender.address);
        EXPECT_EQ(compiled.match(record, sender), t.actions) << t.enterprise << " " << t.generic << " " << t.agent;
    }
}

} // namespace
