#include "platform/sockets.h"

#include <winsock2.h>

#include <cstring>

SocketsRuntime::SocketsRuntime()
{
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
}

SocketsRuntime::~SocketsRuntime() { WSACleanup(); }

bool resolve_ipv4(const char* host, std::uint16_t port, UdpEndpoint& out)
{
    out.port = htons(port);
    const unsigned long dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        out.address = dotted;
        return true;
    }
    const hostent* entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) return false;
    std::memcpy(&out.address, entry->h_addr_list[0], sizeof out.address);
    return true;
}

void set_socket_error_invalid_argument() { WSASetLastError(WSAEINVAL); }

bool UdpSocket::open_bound(std::uint16_t port)
{
    close();
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<std::intptr_t>(s);
    sockaddr_in local{};
    char name[128];
    const hostent* entry = ::gethostname(name, sizeof name) == 0 ? gethostbyname(name) : nullptr;
    if (entry == nullptr) {
        close();
        return false;
    }
    local.sin_family = static_cast<short>(entry->h_addrtype);
    local.sin_port = htons(port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close();
        return false;
    }
    return true;
}

void UdpSocket::close()
{
    if (handle_ != kInvalid) ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kInvalid;
}

UdpSocket::Receive UdpSocket::receive(void* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    sockaddr_in from{};
    int from_size = sizeof from;
    const int n = ::recvfrom(static_cast<SOCKET>(handle_), static_cast<char*>(buffer), static_cast<int>(size), 0,
                             reinterpret_cast<sockaddr*>(&from), &from_size);
    if (n != SOCKET_ERROR) {
        got = static_cast<std::size_t>(n);
        return Receive::Datagram;
    }
    switch (WSAGetLastError()) {
    case WSAEMSGSIZE:  // the buffer holds the datagram's first `size` bytes
        got = size;
        return Receive::Truncated;
    case WSAECONNRESET:  // an earlier send met a closed port
    case WSAEINTR:
        return Receive::Interrupted;
    default:
        return Receive::Failed;
    }
}

long UdpSocket::send_to(const UdpEndpoint& to, const void* data, std::size_t size)
{
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = to.port;
    dest.sin_addr.s_addr = to.address;
    return ::sendto(static_cast<SOCKET>(handle_), static_cast<const char*>(data), static_cast<int>(size), 0,
                    reinterpret_cast<const sockaddr*>(&dest), sizeof dest);
}
