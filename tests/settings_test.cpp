#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/password.h"
#include "common/settings.h"
#include "common/trap_rules.h"
#include "common/usm_users.h"
#include "tests/support/test_platform.h"

namespace {

std::string read_text(const char* name, std::size_t size, const char* fallback = "default")
{
    std::vector<char> buffer(size + 8, 'Z');
    read_string_setting(name, buffer.data(), size, fallback);
    EXPECT_EQ(buffer[size], 'Z') << "wrote past the buffer";
    return buffer.data();
}

TEST(Settings, DefaultsWithoutTheKey)
{
    SettingsSandbox sandbox;
    ASSERT_FALSE(sandbox.key_exists());
    ServiceSettings s;
    std::memset(static_cast<void*>(&s), 0x55, sizeof s);
    ASSERT_EQ(load_service_settings(s), 0);
    const std::int32_t numbers[][2] = {
        {s.traplevel, 0},  {s.f_popup, 0},   {s.f_popup_mysend, 1}, {s.binfile.enabled, 0},
        {s.csvfile.enabled, 0}, {s.logfile.enabled, 0}, {s.f_sound, 0}, {s.f_wave, 1},
        {s.waveloop, 0},   {s.sound_freq, 500}, {s.sound_msec, 200}, {s.f_email, 0},
        {s.smtpport, 25},  {s.f_pop3, 0},    {s.pop_port, 110},     {s.f_program, 0},
        {s.smtp_security, 0}, {s.f_smtp_verify, 1}, {s.f_smtp_auth, 0},
    };
    for (const auto& n : numbers) EXPECT_EQ(n[0], n[1]);
    const char* texts[] = {s.binfile.path, s.csvfile.path, s.logfile.path, s.wavefile, s.smtpname,
                           s.mail_from, s.mail_to, s.pop_server, s.pop_user, s.pop_pass, s.program,
                           s.smtp_user, s.smtp_pass};
    for (const char* t : texts) EXPECT_STREQ(t, "");
    EXPECT_EQ(s.popup_hosts[0], nullptr);
    EXPECT_FALSE(sandbox.key_exists());
}

TEST(Settings, WritesCreateTheKeyAndReadBack)
{
    SettingsSandbox sandbox;
    EXPECT_EQ(read_dword_setting("traplevel", 3), 3);
    EXPECT_EQ(read_text("binfile", 260), "default");
    ASSERT_EQ(write_dword_setting("traplevel", 6), 1);
    EXPECT_TRUE(sandbox.key_exists());
    struct Case {
        const char* name;
        std::string text;
    } texts[] = {
        {"binfile", "C:\\trap\\record.orv"},
        {"mail_to", "noc@example.com"},
        {"program", "\"C:\\Program Files\\x.exe\" -a \"b c\""},
        {"csvfile", "C:\\\x95\x5C\\\x83\x5C.csv"},  // CP932 with 0x5C trail bytes (表, ソ)
        {"popup_host", ""},
    };
    for (const Case& c : texts) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(write_string_setting(c.name, c.text.c_str()), 1);
        EXPECT_EQ(read_text(c.name, 260), c.text);
    }
    const std::int32_t numbers[] = {0, 1, -1, 65535, 0x7FFFFFFF, static_cast<std::int32_t>(0x80000000u)};
    for (std::int32_t v : numbers) {
        ASSERT_EQ(write_dword_setting("smtpport", v), 1);
        EXPECT_EQ(read_dword_setting("smtpport", 25), v);
    }
    EXPECT_EQ(read_dword_setting("traplevel", 0), 6);
    EXPECT_EQ(read_dword_setting("f_sound", 42), 42);  // key there, value missing
}

TEST(Settings, ValuesThatDoNotFitCountAsMissing)
{
    SettingsSandbox sandbox;
    const std::string path259(259, 'p'), path260(260, 'p');
    write_string_setting("binfile", path259.c_str());
    write_string_setting("csvfile", path260.c_str());
    sandbox.store_raw_value("sound_freq", std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    sandbox.store_raw_value("sound_msec", std::string("\x2C\x01", 2));
    sandbox.store_raw_value("smtpname", "abc");  // no NUL: the reader ends it at its last byte
    sandbox.store_raw_value("mail_from", "");

    EXPECT_EQ(read_text("binfile", 260), path259);
    EXPECT_EQ(read_text("csvfile", 260), "default");
    EXPECT_EQ(read_text("csvfile", 261), path260);
    EXPECT_EQ(read_dword_setting("sound_freq", 500), 500);
    EXPECT_EQ(read_dword_setting("sound_msec", 200), 300);
    EXPECT_EQ(read_text("smtpname", 256), "ab");
    EXPECT_EQ(read_text("smtpname", 3), "ab");
    EXPECT_EQ(read_text("smtpname", 2), "d");  // too long: the default, cut to the buffer
    EXPECT_EQ(read_text("mail_from", 256), "");

    ServiceSettings s;
    load_service_settings(s);
    EXPECT_STREQ(s.binfile.path, path259.c_str());
    EXPECT_STREQ(s.csvfile.path, "");
    EXPECT_EQ(s.sound_freq, 500);
    EXPECT_EQ(s.sound_msec, 300);
}

// Users' subkeys: names that differ only in case are one key, CP932 names
// keep trail bytes 0x5C ("表", "ソフト") whole and tell "ア" from "ヂ" (trail
// bytes 0x41, 0x61); a delete takes the key's subkeys along and nothing else.
TEST(Settings, SubkeysRoundTripListAndDelete)
{
    SettingsSandbox sandbox;
    write_string_setting("mail_to", "noc@local");
    const std::vector<std::string> users = {"alice", "\x95\x5C", "\x83\x5C\x83t\x83g", "\x83\x41", "\x83\x61"};
    for (std::size_t i = 0; i < users.size(); ++i) {
        ASSERT_EQ(write_dword_setting_in(("Users\\" + users[i]).c_str(), "auth", static_cast<std::int32_t>(i)), 1);
        ASSERT_EQ(write_string_setting_in(("Users\\" + users[i]).c_str(), "auth_pass", users[i].c_str()), 1);
    }
    ASSERT_EQ(write_dword_setting_in("Users\\\x95\x5C\\deep", "auth", 9), 1);
    char names[8][256];
    ASSERT_EQ(list_setting_subkeys("Users", names, 2), 5);
    ASSERT_EQ(list_setting_subkeys("Users", names, 8), 5);
    EXPECT_EQ(std::set<std::string>(names, names + 5), std::set<std::string>(users.begin(), users.end()));
    ASSERT_EQ(delete_setting_subkey("USERS\\\x95\x5C"), 1);
    ASSERT_EQ(delete_setting_subkey("Users\\nobody"), 1);
    EXPECT_EQ(list_setting_subkeys("Users", names, 8), 4);
    EXPECT_EQ(list_setting_subkeys("Nothing", names, 8), 0);
    EXPECT_EQ(read_dword_setting_in("Users\\\x95\x5C\\deep", "auth", -1), -1);
    EXPECT_EQ(read_dword_setting_in("Users\\\x95\x5C", "auth", -1), -1);
    for (std::size_t i : {0u, 2u, 3u, 4u}) {
        char pass[64];
        read_string_setting_in(("users\\" + users[i]).c_str(), "auth_pass", pass, sizeof pass, "");
        EXPECT_EQ(pass, users[i]);
        EXPECT_EQ(read_dword_setting_in(("Users\\" + users[i]).c_str(), "auth", -1), static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(read_text("mail_to", 64), "noc@local");
}

// Rules come back in their numbers' order ("10" after "9"), whoever wrote
// them; writing replaces every rule, and a rule with a problem is refused.
TEST(Settings, RulesRoundTripInNumericOrder)
{
    SettingsSandbox sandbox;
    for (const char* name : {"10", "9", "007", "x1", "0", "7"})
        write_string_setting_in((std::string("Rules\\") + name).c_str(), "oid", name);
    static RuleSetting rules[kMaxRules + 1];
    ASSERT_EQ(read_rule_settings(rules, kMaxRules), 5);
    EXPECT_EQ(std::vector<std::string>({rules[0].oid, rules[1].oid, rules[2].oid, rules[3].oid, rules[4].oid}),
              std::vector<std::string>({"0", "007", "7", "9", "10"}));
    rules[0] = RuleSetting{"1.3.6.1.6.3.1.1.5.3", 1, "2001:db8::/32", "pager", "1.3.6.1.2.1.2.2.1.2", "core", 0, 1, 0, 1, 1, 1};
    rules[1] = RuleSetting{};
    rules[1].f_drop = 1;
    ASSERT_EQ(write_rule_settings(rules, 2), 1);
    RuleSetting back[3];
    ASSERT_EQ(read_rule_settings(back, 3), 2);
    EXPECT_EQ(std::memcmp(back, rules, 2 * sizeof rules[0]), 0);
    std::strcpy(rules[1].address, "10.0.0.0/33");
    EXPECT_EQ(write_rule_settings(rules, 2), 0);
    EXPECT_EQ(write_rule_settings(rules, kMaxRules + 1), 0);
    ASSERT_EQ(read_rule_settings(back, 3), 2);  // a refused list leaves the stored one
}

// Users as the receiver loads them, the passwords as their Ku (RFC 3414
// A.3.1, A.3.2: "maplesyrup"); one that cannot run here stays, unusable.
TEST(Settings, UsmUsersLoadAndRefuse)
{
    SettingsSandbox sandbox;
    const char* md5_ku = "9faf3283884e92834ebc9847d8edd963";
    const char* sha_ku = "9fb5cc0381497b3793528939ff788d5d79145211";
    const struct {
        UsmUserSetting user;
        bool scrambled, usable;
        const char* ku;  // of the privacy password when there is one
    } cases[] = {
        {{"md5", 1, "maplesyrup", 0, "", ""}, true, true, md5_ku},
        {{"shapriv", 2, "maplesyrup", 2, "maplesyrup", "80001f8880e9630000d61ff449"}, true, true, sha_ku},
        {{"plain", 1, "maplesyrup", 0, "", ""}, false, true, md5_ku},  // not scrambled: used as it stands
        {{"sha224", 3, "maplesyrup", 0, "", ""}, true, auth_protocol_available(AuthProtocol::Sha224), nullptr},
        {{"nopass", 2, "", 0, "", ""}, false, false, nullptr},
        {{"privonly", 0, "", 1, "maplesyrup", ""}, false, false, nullptr},
        {{"badauth", 9, "maplesyrup", 0, "", ""}, false, false, nullptr},
        {{"badengine", 1, "maplesyrup", 0, "", "8000"}, false, false, nullptr},
    };
    for (const auto& c : cases) {
        const std::string key = std::string("Users\\") + c.user.name;
        if (c.scrambled) {
            ASSERT_EQ(write_usm_user(c.user), 1) << c.user.name;
            continue;
        }
        write_string_setting_in(key.c_str(), "auth_pass", c.user.auth_pass);
        write_string_setting_in(key.c_str(), "priv_pass", c.user.priv_pass);
        write_string_setting_in(key.c_str(), "engine_id", c.user.engine_id);
        write_dword_setting_in(key.c_str(), "auth", c.user.auth);
        write_dword_setting_in(key.c_str(), "priv", c.user.priv);
    }
    UsmUser users[kMaxUsmUsers];
    ASSERT_EQ(load_usm_users(users, kMaxUsmUsers), static_cast<int>(std::size(cases)));
    for (const UsmUser& u : std::vector<UsmUser>(users, users + std::size(cases))) {
        const auto& c = *std::find_if(std::begin(cases), std::end(cases), [&](const auto& c) { return std::string(c.user.name) == u.name; });
        EXPECT_EQ(u.usable, c.usable) << u.name;
        char ku[2 * kMaxKeySize + 1];
        format_hex_octets(u.priv != PrivProtocol::None ? u.priv_ku : u.auth_ku, auth_key_size(u.auth), ku);
        if (c.ku != nullptr) {
            EXPECT_STREQ(ku, c.ku) << u.name;
        }
    }
    const UsmUserSetting refused[] = {
        {"a\\b", 1, "maplesyrup", 0, "", ""}, {"", 1, "maplesyrup", 0, "", ""},
        {"short", 1, "maple", 0, "", ""},    {"space", 1, "maple syrup", 0, "", ""},
        {"privonly", 0, "", 1, "maplesyrup", ""}, {"oddhex", 1, "maplesyrup", 0, "", "80001f888"}};
    for (const UsmUserSetting& u : refused) EXPECT_EQ(write_usm_user(u), 0) << u.name;
    EXPECT_EQ(load_usm_users(users, kMaxUsmUsers), static_cast<int>(std::size(cases)));
    write_dword_setting("engine_boots", 0x7FFFFFFE);
    EXPECT_EQ(next_engine_boots(), 0x7FFFFFFFu);
    EXPECT_EQ(next_engine_boots(), 0x7FFFFFFFu);  // latched, RFC 3414 2.2.2
}

TEST(Settings, HostListSplit)
{
    std::string twenty;
    for (int i = 1; i <= 20; ++i) twenty += "host" + std::to_string(i) + (i % 2 ? ";" : " ");
    struct Case {
        std::string text;
        std::vector<std::string> hosts;
    } cases[] = {
        {"alpha; beta;;gamma", {"alpha", "beta", "gamma"}},
        {"", {}},
        {" ;; ; ", {}},
        {"one", {"one"}},
        {";;lead  trail;; ", {"lead", "trail"}},
        {twenty, {"host1", "host2", "host3", "host4", "host5", "host6", "host7", "host8", "host9", "host10",
                  "host11", "host12", "host13", "host14", "host15", "host16"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char text[kHostListSize];
        std::strcpy(text, c.text.c_str());
        const char* hosts[kMaxPopupHosts];
        ASSERT_EQ(split_host_list(text, hosts), static_cast<int>(c.hosts.size()));
        for (int i = 0; i < kMaxPopupHosts; ++i) {
            if (i < static_cast<int>(c.hosts.size())) {
                EXPECT_STREQ(hosts[i], c.hosts[i].c_str());
            } else {
                EXPECT_EQ(hosts[i], nullptr);
            }
        }
    }
}

TEST(Settings, LoadReadsEveryValue)
{
    SettingsSandbox sandbox;
    char stored[64];
    ASSERT_EQ(scramble_password("pa55word", stored, sizeof stored), 0);
    const struct {
        const char* name;
        std::int32_t value;
    } numbers[] = {{"traplevel", 2}, {"f_popup", 1},   {"f_popup_mysend", 0}, {"f_binfile", 1},
                   {"f_csvfile", 1}, {"f_logfile", 1}, {"f_sound", 1},        {"f_wave", 0},
                   {"waveloop", 1},  {"sound_freq", 880}, {"sound_msec", 50}, {"f_email", 1},
                   {"smtpport", 2525}, {"f_pop3", 1},  {"pop_port", 1110},    {"f_program", 1},
                   {"smtp_security", 1}, {"f_smtp_verify", 0}, {"f_smtp_auth", 1}};
    for (const auto& n : numbers) write_dword_setting(n.name, n.value);
    const struct {
        const char* name;
        const char* text;
    } texts[] = {{"popup_host", "pc1;pc2 pc3"}, {"binfile", "r.orv"},     {"csvfile", "t.csv"},
                 {"logfile", "t.log"},         {"wavefile", "a.wav"},    {"smtpname", "mail.local"},
                 {"mail_from", "trap@local"},  {"mail_to", "noc@local"}, {"pop_server", "pop.local"},
                 {"pop_user", "noc"},          {"pop_pass", stored},     {"program", "notify.exe -x"},
                 {"smtp_user", "relay"},       {"smtp_pass", stored}};
    for (const auto& t : texts) write_string_setting(t.name, t.text);

    ServiceSettings s;
    load_service_settings(s);
    const std::int32_t got[] = {s.traplevel, s.f_popup, s.f_popup_mysend, s.binfile.enabled, s.csvfile.enabled,
                                s.logfile.enabled, s.f_sound, s.f_wave, s.waveloop, s.sound_freq, s.sound_msec,
                                s.f_email, s.smtpport, s.f_pop3, s.pop_port, s.f_program,
                                s.smtp_security, s.f_smtp_verify, s.f_smtp_auth};
    for (std::size_t i = 0; i < std::size(numbers); ++i) EXPECT_EQ(got[i], numbers[i].value) << numbers[i].name;
    EXPECT_STREQ(s.popup_hosts[0], "pc1");
    EXPECT_STREQ(s.popup_hosts[2], "pc3");
    EXPECT_EQ(s.popup_hosts[3], nullptr);
    EXPECT_STREQ(s.binfile.path, "r.orv");
    EXPECT_STREQ(s.csvfile.path, "t.csv");
    EXPECT_STREQ(s.logfile.path, "t.log");
    EXPECT_STREQ(s.wavefile, "a.wav");
    EXPECT_STREQ(s.smtpname, "mail.local");
    EXPECT_STREQ(s.mail_from, "trap@local");
    EXPECT_STREQ(s.mail_to, "noc@local");
    EXPECT_STREQ(s.pop_server, "pop.local");
    EXPECT_STREQ(s.pop_user, "noc");
    EXPECT_STREQ(s.pop_pass, "pa55word");
    EXPECT_STREQ(s.program, "notify.exe -x");
    EXPECT_STREQ(s.smtp_user, "relay");
    EXPECT_STREQ(s.smtp_pass, "pa55word");

    write_string_setting("pop_pass", "not scrambled");  // used as it stands
    write_string_setting("smtp_pass", "not scrambled");
    load_service_settings(s);
    EXPECT_STREQ(s.pop_pass, "not scrambled");
    EXPECT_STREQ(s.smtp_pass, "not scrambled");
}

} // namespace
