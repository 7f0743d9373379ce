#include "platform/address_text.h"

#include <cstdio>
#include <cstring>

#include "platform/sockets.h"

namespace {

constexpr int kGroups = 8;
const std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

// The longest run of two or more zero groups, the first of equal ones: its
// start, -1 when there is none.
int longest_zero_run(const std::uint16_t* groups, int& length)
{
    int best = -1;
    length = 1;
    for (int i = 0; i < kGroups;) {
        int j = i;
        while (j < kGroups && groups[j] == 0) ++j;
        if (j - i > length) {
            best = i;
            length = j - i;
        }
        i = j > i ? j : i + 1;
    }
    return best;
}

} // namespace

void ipv6_text(const std::uint8_t* address, char* out, std::size_t size)
{
    std::uint16_t groups[kGroups];
    for (int i = 0; i < kGroups; ++i) groups[i] = static_cast<std::uint16_t>(address[2 * i] << 8 | address[2 * i + 1]);
    int run = 0;
    const int zeros = longest_zero_run(groups, run);
    const bool mapped = std::memcmp(address, kMappedPrefix, sizeof kMappedPrefix) == 0;
    char text[kAddressTextSize];
    std::size_t n = 0;
    for (int i = 0; i < (mapped ? 6 : kGroups); ++i) {
        if (i == zeros) {
            n += static_cast<std::size_t>(std::snprintf(text + n, sizeof text - n, "::"));
            i += run - 1;
            continue;
        }
        const char* colon = n > 0 && text[n - 1] != ':' ? ":" : "";
        n += static_cast<std::size_t>(std::snprintf(text + n, sizeof text - n, "%s%x", colon, groups[i]));
    }
    if (mapped) std::snprintf(text + n, sizeof text - n, ":%u.%u.%u.%u", address[12], address[13], address[14], address[15]);
    if (size > 0) std::snprintf(out, size, "%s", text);
}

void endpoint_text(const Endpoint& endpoint, char* out, std::size_t size)
{
    const std::uint8_t* a = endpoint.address;
    if (endpoint.family == 6) ipv6_text(a, out, size);
    else if (size > 0) std::snprintf(out, size, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
}

bool is_loopback(const Endpoint& endpoint)
{
    static const std::uint8_t kIpv6Loopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (endpoint.family == 6) return std::memcmp(endpoint.address, kIpv6Loopback, sizeof kIpv6Loopback) == 0;
    return endpoint.family == 4 && endpoint.address[0] == 127;
}
