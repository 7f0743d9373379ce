// The receive, decode, forward and report path allocates nothing per datagram
// once it runs: a counting malloc watches the real loop on port 162 while
// traps arrive.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "service/receive_loop.h"
#include "tests/support/posix/ports_lock.h"
#include "tests/support/test_platform.h"
#include "tests/support/trap_bytes.h"

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);

namespace {
std::atomic<long> g_allocations{0};
}

extern "C" void* malloc(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t n, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}

extern "C" void* realloc(void* p, std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Sends one datagram to port 162 and waits for its forward on 18882.
bool round_trip(int sender, int manager, const Bytes& trap)
{
    const sockaddr_in to = loopback(kTrapPort);
    sendto(sender, trap.data(), trap.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    std::uint8_t buffer[8192];
    return recv(manager, buffer, sizeof buffer, 0) == static_cast<ssize_t>(trap.size() + 8);
}

TEST(ReceiveLoop, NoAllocationPerDatagram)
{
    PortsLock ports;
    SettingsSandbox sandbox;  // no key: every action off
    const int manager = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in manager_address = loopback(kManagerPort);
    ASSERT_EQ(bind(manager, reinterpret_cast<const sockaddr*>(&manager_address), sizeof manager_address), 0);
    timeval two_seconds{2, 0};
    setsockopt(manager, SOL_SOCKET, SO_RCVTIMEO, &two_seconds, sizeof two_seconds);
    const int sender = socket(AF_INET, SOCK_DGRAM, 0);

    const int saved_stdout = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    std::thread loop([] { run_receive_loop(); });

    const Bytes trap = make_trap(6, 1, binding(oid({6, 1, 9}), tlv(0x04, octets("measured"))));
    int warm = 0;
    for (int i = 0; i < 50 && warm < 20; ++i) warm += round_trip(sender, manager, trap);
    const long before = g_allocations.load();
    int handled = 0;
    for (int i = 0; i < 200; ++i) handled += round_trip(sender, manager, trap);
    handled += round_trip(sender, manager, trap);  // the 200th is fully handled once this one forwards
    const long after = g_allocations.load();

    const sockaddr_in to = loopback(kTrapPort);
    const std::uint8_t stop[2] = {kStopMarker, 0};
    sendto(sender, stop, sizeof stop, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    loop.join();
    std::fflush(stdout);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    close(null);
    close(sender);
    close(manager);

    ASSERT_EQ(warm, 20);
    ASSERT_EQ(handled, 201);
    EXPECT_EQ(after - before, 0) << "allocations while 200 traps were handled";
}

} // namespace
