#include "platform/sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

SocketsRuntime::SocketsRuntime() = default;
SocketsRuntime::~SocketsRuntime() = default;

bool resolve_ipv4(const char* host, std::uint16_t port, UdpEndpoint& out)
{
    out.port = htons(port);
    const in_addr_t dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        out.address = dotted;
        return true;
    }
    const hostent* entry = gethostbyname(host);
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list[0] == nullptr) return false;
    std::memcpy(&out.address, entry->h_addr_list[0], sizeof out.address);
    return true;
}

void set_socket_error_invalid_argument() { errno = EINVAL; }

bool UdpSocket::open_bound(std::uint16_t port)
{
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    handle_ = fd;
    sockaddr_in local{};
    char name[128];
    const hostent* entry = ::gethostname(name, sizeof name) == 0 ? gethostbyname(name) : nullptr;
    if (entry == nullptr) {
        close();
        return false;
    }
    local.sin_family = static_cast<sa_family_t>(entry->h_addrtype);
    local.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close();
        return false;
    }
    return true;
}

void UdpSocket::close()
{
    if (handle_ != kInvalid) ::close(static_cast<int>(handle_));
    handle_ = kInvalid;
}

UdpSocket::Receive UdpSocket::receive(void* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    sockaddr_in from{};
    socklen_t from_size = sizeof from;
    // MSG_TRUNC: the result is the datagram's real length, so a cut one is seen.
    const ssize_t n = ::recvfrom(static_cast<int>(handle_), buffer, size, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &from_size);
    if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) return Receive::Interrupted;
        if (errno == EMSGSIZE) {
            got = size;
            return Receive::Truncated;
        }
        return Receive::Failed;
    }
    if (static_cast<std::size_t>(n) > size) {
        got = size;
        return Receive::Truncated;
    }
    got = static_cast<std::size_t>(n);
    return Receive::Datagram;
}

long UdpSocket::send_to(const UdpEndpoint& to, const void* data, std::size_t size)
{
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = to.port;
    dest.sin_addr.s_addr = to.address;
    return ::sendto(static_cast<int>(handle_), data, size, 0, reinterpret_cast<const sockaddr*>(&dest), sizeof dest);
}
