// The receive, decode, forward and report path allocates nothing per datagram
// once it runs: a counting malloc watches the real loop on port 162 while
// traps arrive.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

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
    const bool inform = message[13] == 0xA6;
    return !inform || (recv(sender, buffer, sizeof buffer, 0) > 13 && buffer[13] == 0xA2);
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

    // An SNMPv1 trap, an SNMPv2c trap and an inform, in turn.
    const Bytes value = binding(oid({6, 1, 9}), tlv(0x04, octets("measured")));
    const Bytes v2c = cat({notification_start({0x64}, oid({6, 1, 4, 1, 8072, 2, 3, 0, 1})), value});
    const Bytes messages[] = {make_trap(6, 1, value), make_v2c(0xA7, integer(1), v2c), make_v2c(0xA6, integer(2), v2c)};
    int warm = 0;
    for (int i = 0; i < 60 && warm < 21; ++i) warm += round_trip(sender, manager, messages[i % 3]);
    const long before = allocations_so_far();
    int handled = 0;
    for (int i = 0; i < 201; ++i) handled += round_trip(sender, manager, messages[i % 3]);
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
    ASSERT_EQ(warm, 21);
    ASSERT_EQ(handled, 202);
    EXPECT_EQ(after - before, 0) << "allocations while 201 notifications were handled";
}

} // namespace
