// The socket code both platforms share: addresses, binding, look-ups and the
// calls that are the same in BSD sockets and Windows Sockets. What differs
// (start-up, errors, timeouts, batches) is in platform/<system>/sockets.cpp.
#include "platform/sockets.h"
#include "platform/socket_shared.h"

#include <cstring>
#include <initializer_list>

namespace {

const std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

NativeSocket native(std::intptr_t handle) { return static_cast<NativeSocket>(handle); }

enum class Bound { Yes, NoIpv6, No };

// Binds `handle`, a socket of `family`, to every local address at `port`;
// an IPv6 socket takes IPv4 as well.
Bound bind_every_address(std::intptr_t handle, int family, std::uint16_t port)
{
    Endpoint any{};
    any.family = family == AF_INET6 ? 6 : 4;
    any.port = htons(port);
    sockaddr_storage local;
    const AddressLength size = to_native(any, family, local);
    if (family == AF_INET6) {
        const int off = 0;
        if (::setsockopt(native(handle), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off), sizeof off) != 0)
            return Bound::NoIpv6;
    }
    if (::bind(native(handle), reinterpret_cast<const sockaddr*>(&local), size) == 0) return Bound::Yes;
    return last_error_means_no_ipv6() ? Bound::NoIpv6 : Bound::No;
}

// The receiver's set-up asks that the local host name resolve.
bool local_host_resolves()
{
    char name[128];
    std::uint32_t address = 0;
    int family = 0;
    return local_host_name(name, sizeof name) && lookup_host(name, address, family);
}

// The first address of `list` of `family`, as an endpoint, port 0.
bool first_of_family(const addrinfo* list, int family, Endpoint& out)
{
    for (const addrinfo* p = list; p != nullptr; p = p->ai_next) {
        if (p->ai_family != family || p->ai_addr == nullptr || p->ai_addrlen > sizeof(sockaddr_storage)) continue;
        sockaddr_storage address{};
        std::memcpy(&address, p->ai_addr, p->ai_addrlen);
        out = from_native(address);
        return out.family != 0;
    }
    return false;
}

// `host` without the brackets around it, if it has them, in `name`.
const char* unbracketed(const char* host, char* name, std::size_t size)
{
    const std::size_t n = std::strlen(host);
    if (n < 2 || host[0] != '[' || host[n - 1] != ']' || n - 2 >= size) return host;
    std::memcpy(name, host + 1, n - 2);
    name[n - 2] = '\0';
    return name;
}

} // namespace

AddressLength to_native(const Endpoint& endpoint, int socket_family, sockaddr_storage& out)
{
    std::memset(&out, 0, sizeof out);
    if (socket_family == AF_INET6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(out);
        a.sin6_family = AF_INET6;
        a.sin6_port = endpoint.port;
        if (endpoint.family == 6) {
            std::memcpy(a.sin6_addr.s6_addr, endpoint.address, 16);
        } else {
            std::memcpy(a.sin6_addr.s6_addr, kMappedPrefix, sizeof kMappedPrefix);
            std::memcpy(a.sin6_addr.s6_addr + sizeof kMappedPrefix, endpoint.address, 4);
        }
        return sizeof a;
    }
    if (endpoint.family == 6) return 0;
    auto& a = reinterpret_cast<sockaddr_in&>(out);
    a.sin_family = AF_INET;
    a.sin_port = endpoint.port;
    std::memcpy(&a.sin_addr, endpoint.address, 4);
    return sizeof a;
}

Endpoint from_native(const sockaddr_storage& address)
{
    Endpoint e{};
    if (address.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
        const std::uint8_t* octets = a.sin6_addr.s6_addr;
        const bool mapped = std::memcmp(octets, kMappedPrefix, sizeof kMappedPrefix) == 0;
        e.family = mapped ? 4 : 6;
        std::memcpy(e.address, mapped ? octets + sizeof kMappedPrefix : octets, mapped ? 4 : 16);
        e.port = a.sin6_port;
    } else if (address.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(address);
        e.family = 4;
        std::memcpy(e.address, &a.sin_addr, 4);
        e.port = a.sin_port;
    }
    return e;
}

bool resolve_host(const char* host, std::uint16_t port, Endpoint& out)
{
    out = Endpoint{};
    const std::uint32_t dotted = inet_addr(host);
    if (dotted != kNoAddress) {
        out.family = 4;
        std::memcpy(out.address, &dotted, 4);
    } else {
        char name[256];
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;  // one answer per address
        addrinfo* list = nullptr;
        if (::getaddrinfo(unbracketed(host, name, sizeof name), nullptr, &hints, &list) != 0) return false;
        const bool found = first_of_family(list, AF_INET, out) || first_of_family(list, AF_INET6, out);
        ::freeaddrinfo(list);
        if (!found) return false;
    }
    out.port = htons(port);
    return true;
}

bool local_host_name(char* name, std::size_t size)
{
    if (::gethostname(name, static_cast<int>(size)) != 0) return false;
    name[size - 1] = '\0';
    return true;
}

// One IPv6 socket that takes IPv4 as well; IPv4 alone where the host has no IPv6.
bool UdpSocket::open_bound(std::uint16_t port)
{
    close();
    if (!local_host_resolves()) return false;
    for (const int family : {AF_INET6, AF_INET}) {
        const bool made = create(family);
        const Bound bound = made ? bind_every_address(handle_, family, port) : Bound::NoIpv6;
        if (bound == Bound::Yes) return true;
        close();
        if (bound == Bound::No) return false;
    }
    return false;
}

long UdpSocket::send_to(const Endpoint& to, const void* data, std::size_t size)
{
    sockaddr_storage dest;
    const AddressLength length = to_native(to, family_, dest);
    if (length == 0) return -1;
    return ::sendto(native(handle_), static_cast<const char*>(data), static_cast<int>(size), 0,
                    reinterpret_cast<const sockaddr*>(&dest), length);
}

bool TcpSocket::connect_to(const Endpoint& to)
{
    const int family = to.family == 6 ? AF_INET6 : AF_INET;
    sockaddr_storage dest;
    const AddressLength length = to_native(to, family, dest);
    return create(family) && ::connect(native(handle_), reinterpret_cast<const sockaddr*>(&dest), length) == 0;
}

bool TcpSocket::send_all(const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    for (std::size_t sent = 0; sent < size;) {
        const long n = send(p + sent, size - sent);
        if (n < 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}
