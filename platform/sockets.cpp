// The socket code both platforms share: addresses, binding, look-ups and the
// calls that are the same in BSD sockets and Windows Sockets. What differs
// (start-up, errors, timeouts, batches) is in platform/<system>/sockets.cpp.
#include "platform/sockets.h"
#include "platform/socket_shared.h"

namespace {

NativeSocket native(std::intptr_t handle) { return static_cast<NativeSocket>(handle); }

} // namespace

sockaddr_in to_sockaddr(const Ipv4Endpoint& endpoint)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = endpoint.port;
    a.sin_addr.s_addr = endpoint.address;
    return a;
}

bool bind_local(std::intptr_t handle, std::uint16_t port)
{
    char name[128];
    std::uint32_t address = 0;
    int family = 0;
    if (!local_host_name(name, sizeof name) || !lookup_host(name, address, family)) return false;
    sockaddr_in local{};
    local.sin_family = static_cast<AddressFamily>(family);
    local.sin_port = htons(port);
    return ::bind(native(handle), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

bool resolve_ipv4(const char* host, std::uint16_t port, Ipv4Endpoint& out)
{
    out.port = htons(port);
    const std::uint32_t dotted = inet_addr(host);
    if (dotted != kNoAddress) {
        out.address = dotted;
        return true;
    }
    int family = 0;
    return lookup_host(host, out.address, family);
}

bool local_host_name(char* name, std::size_t size)
{
    if (::gethostname(name, static_cast<int>(size)) != 0) return false;
    name[size - 1] = '\0';
    return true;
}

long UdpSocket::send_to(const Ipv4Endpoint& to, const void* data, std::size_t size)
{
    const sockaddr_in dest = to_sockaddr(to);
    return ::sendto(native(handle_), static_cast<const char*>(data), static_cast<int>(size), 0,
                    reinterpret_cast<const sockaddr*>(&dest), sizeof dest);
}

bool TcpSocket::bind_any() { return bind_local(handle_, 0); }

bool TcpSocket::connect_to(const Ipv4Endpoint& to)
{
    const sockaddr_in dest = to_sockaddr(to);
    return ::connect(native(handle_), reinterpret_cast<const sockaddr*>(&dest), sizeof dest) == 0;
}
