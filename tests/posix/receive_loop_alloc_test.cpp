// The receive, decode, forward and report path allocates nothing per datagram
// once it runs: a counting malloc watches the real loop on port 162 while
// traps arrive, SNMPv3 ones among them once their user's keys are cached,
// past 50 rules and as repeats.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "common/trap_rules.h"
#include "common/usm_users.h"
#include "platform/settings_store.h"
#include "service/receive_loop.h"
#include "tests/support/posix/malloc_count.h"
#include "tests/support/posix/ports_lock.h"
#include "tests/support/test_platform.h"
#include "tests/support/trap_bytes.h"

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Sends one datagram to port 162 and waits for its forward on 18882 (and
// for the response to an inform).
bool round_trip(int sender, int manager, const Bytes& message)
{
    const sockaddr_in to = loopback(kTrapPort);
    sendto(sender, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    std::uint8_t buffer[8192];
    if (recv(manager, buffer, sizeof buffer, 0) <= 8) return false;
    const bool inform = message[4] == 0x01 && message[13] == 0xA6;
    return !inform || (recv(sender, buffer, sizeof buffer, 0) > 13 && buffer[13] == 0xA2);
}

// The datagram `snmptrap -v 3` sends with `security`, caught on a port of our
// own; net-snmp keeps its engine's state in `dir`, not in the machine's shared file.
Bytes snmptrap_v3(const std::string& security, const std::string& dir)
{
    const int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at = loopback(0);
    socklen_t size = sizeof at;
    bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    getsockname(s, reinterpret_cast<sockaddr*>(&at), &size);
    const std::string command = "SNMP_PERSISTENT_DIR='" + dir + "' snmptrap -v 3 " + security + " 127.0.0.1:" + std::to_string(ntohs(at.sin_port)) +
                                " 100 1.3.6.1.4.1.8072.2.3.0.1 1.3.6.1.9 s measured";
    Bytes out(4096);
    const ssize_t got = std::system(command.c_str()) == 0 ? recv(s, out.data(), out.size(), 0) : -1;
    close(s);
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

TEST(ReceiveLoop, NoAllocationPerDatagram)
{
    PortsLock ports;
    SettingsSandbox sandbox;  // no key but the three files: every other action off
    // Japanese file names, CP932 in the settings: each path is converted once.
    std::string dir = std::getenv("TARNOW_SETTINGS");
    dir.erase(dir.rfind('/') + 1);
    const char* kinds[][2] = {{"bin", "orv"}, {"csv", "csv"}, {"log", "log"}};
    for (const auto& kind : kinds) {
        write_dword_setting(("f_" + std::string(kind[0]) + "file").c_str(), 1);
        write_string_setting((kind[0] + std::string("file")).c_str(), (dir + "\x83\x8D\x83O." + kind[1]).c_str());
    }
    // 50 rules that each trap walks through (written as the file holds them); repeats within the window.
    write_dword_setting("dup_seconds", 3600);
    FILE* file = std::fopen(std::getenv("TARNOW_SETTINGS"), "ab");
    for (int i = 1; i <= 50; ++i) {
        std::fprintf(file, "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\Rules\\%03d]\r\n\"oid\"=\"1.3.6.1.4.1.9.%d\"\r\n"
                     "\"f_subtree\"=dword:00000001\r\n\"address\"=\"10.%d.0.0/16\"\r\n\"value_text\"=\"never\"\r\n", i, i, i);
    }
    std::fclose(file);
    RuleSetting rules[kMaxRules];
    ASSERT_EQ(read_rule_settings(rules, kMaxRules), 50);
    UsmUserSetting user{"watched", 6, "watched-auth", 4, "watched-priv", ""};  // SHA-512: the 48-octet MAC; AES-256
    ASSERT_EQ(write_usm_user(user), 1);
    const Bytes v3 = snmptrap_v3("-u watched -l authPriv -a SHA-512 -A watched-auth -x AES-256 -X watched-priv", dir);
    ASSERT_FALSE(v3.empty());
    const int manager = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in manager_address = loopback(kManagerPort);
    ASSERT_EQ(bind(manager, reinterpret_cast<const sockaddr*>(&manager_address), sizeof manager_address), 0);
    timeval two_seconds{2, 0};
    setsockopt(manager, SOL_SOCKET, SO_RCVTIMEO, &two_seconds, sizeof two_seconds);
    const int sender = socket(AF_INET, SOCK_DGRAM, 0);
    setsockopt(sender, SOL_SOCKET, SO_RCVTIMEO, &two_seconds, sizeof two_seconds);

    const int saved_stdout = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    std::thread loop([] { run_receive_loop(); });

    // An SNMPv1 trap, an SNMPv2c trap, an inform and an SNMPv3 trap, in turn.
    const Bytes value = binding(oid({6, 1, 9}), tlv(0x04, octets("measured")));
    const Bytes v2c = cat({notification_start({0x64}, oid({6, 1, 4, 1, 8072, 2, 3, 0, 1})), value});
    const Bytes messages[] = {make_trap(6, 1, value), make_v2c(0xA7, integer(1), v2c), make_v2c(0xA6, integer(2), v2c), v3};
    int warm = 0;
    for (int i = 0; i < 60 && warm < 20; ++i) warm += round_trip(sender, manager, messages[i % 4]);
    const long before = allocations_so_far();
    int handled = 0;
    for (int i = 0; i < 201; ++i) handled += round_trip(sender, manager, messages[i % 4]);
    handled += round_trip(sender, manager, messages[0]);  // the last is fully handled once this one forwards
    const long after = allocations_so_far();

    request_stop();
    loop.join();
    std::fflush(stdout);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    close(null);
    close(sender);
    close(manager);

    for (const auto& kind : kinds) EXPECT_EQ(std::remove((dir + "\xE3\x83\xAD\xE3\x82\xB0." + kind[1]).c_str()), 0);
    std::remove((dir + "snmpapp.conf").c_str());
    rmdir((dir + "cert_indexes").c_str());
    ASSERT_EQ(warm, 20);
    ASSERT_EQ(handled, 202);
    EXPECT_EQ(after - before, 0) << "allocations while 201 notifications were handled";
}

} // namespace
