// Windows Sockets: what differs from BSD sockets (the rest is in platform/sockets.cpp).
#include "platform/sockets.h"
#include "platform/socket_shared.h"

#include <cstring>

namespace {

UdpSocket::Receive receive_into(UdpSocket& socket, DatagramSlot& slot)
{
    const UdpSocket::Receive result = socket.receive(slot.buffer, slot.size, slot.got, &slot.sender);
    slot.truncated = result == UdpSocket::Receive::Truncated;
    return result;
}

bool is_datagram(UdpSocket::Receive result)
{
    return result == UdpSocket::Receive::Datagram || result == UdpSocket::Receive::Truncated;
}

} // namespace

SocketsRuntime::SocketsRuntime()
{
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
}

SocketsRuntime::~SocketsRuntime() { WSACleanup(); }

void set_socket_error_invalid_argument() { WSASetLastError(WSAEINVAL); }

bool last_error_means_no_ipv6()
{
    const int error = WSAGetLastError();
    return error == WSAEAFNOSUPPORT || error == WSAEADDRNOTAVAIL;
}

bool UdpSocket::create(int family)
{
    close();
    const SOCKET s = ::socket(family, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<std::intptr_t>(s);
    family_ = family;
    return true;
}

void UdpSocket::close()
{
    if (handle_ != kInvalid) ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kInvalid;
}

bool UdpSocket::set_receive_timeout(int milliseconds)
{
    const DWORD limit = static_cast<DWORD>(milliseconds);
    return ::setsockopt(static_cast<SOCKET>(handle_), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                        sizeof limit) == 0;
}

// Windows charges a queued datagram little more than its data; no SNMP
// message is shorter than 16 bytes.
std::size_t UdpSocket::most_queued_datagrams() const
{
    constexpr std::size_t kLeastDatagramCost = 16;
    int size = 0;
    int length = sizeof size;
    if (::getsockopt(static_cast<SOCKET>(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&size), &length) != 0 ||
        size < 0)
        return 0;
    return static_cast<std::size_t>(size) / kLeastDatagramCost;
}

bool UdpSocket::set_receive_buffer(std::size_t bytes)
{
    const int size = static_cast<int>(bytes < 0x7FFFFFFF ? bytes : 0x7FFFFFFF);
    return ::setsockopt(static_cast<SOCKET>(handle_), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
                        sizeof size) == 0;
}

UdpSocket::Receive UdpSocket::receive(void* buffer, std::size_t size, std::size_t& got, Endpoint* sender)
{
    got = 0;
    sockaddr_storage from{};
    int from_size = sizeof from;
    const int n = ::recvfrom(static_cast<SOCKET>(handle_), static_cast<char*>(buffer), static_cast<int>(size), 0,
                             reinterpret_cast<sockaddr*>(&from), &from_size);
    if (sender != nullptr) *sender = from_native(from);
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
    case WSAETIMEDOUT:  // the receive timeout passed
        return Receive::TimedOut;
    default:
        return Receive::Failed;
    }
}

// The first datagram as receive() waits for it; then the socket is drained
// with non-blocking receives until WSAEWOULDBLOCK (or another error, which
// the next wait reports) and made blocking again.
UdpSocket::Receive UdpSocket::receive_batch(DatagramSlot* slots, std::size_t count, std::size_t& received)
{
    received = 0;
    if (count == 0) return Receive::Interrupted;
    const Receive first = receive_into(*this, slots[0]);
    if (!is_datagram(first)) return first;
    received = 1;
    count = count < kMostBatched ? count : kMostBatched;
    const SOCKET s = static_cast<SOCKET>(handle_);
    u_long non_blocking = 1;
    if (count > 1 && ::ioctlsocket(s, FIONBIO, &non_blocking) == 0) {
        while (received < count) {
            const Receive next = receive_into(*this, slots[received]);
            if (is_datagram(next)) {
                ++received;
            } else if (next != Receive::Interrupted) {  // an earlier send's reset is passed over
                break;
            }
        }
        u_long blocking = 0;
        ::ioctlsocket(s, FIONBIO, &blocking);
    }
    return Receive::Datagram;
}

// Windows Sockets has no call that sends several datagrams: one at a time.
void UdpSocket::send_batch(const Endpoint& to, const OutgoingDatagram* datagrams, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) send_to(to, datagrams[i].data, datagrams[i].size);
}

bool lookup_host(const char* name, std::uint32_t& address, int& family)
{
    // Windows Sockets keeps the answer per thread.
    const hostent* entry = gethostbyname(name);
    if (entry == nullptr || entry->h_addr_list[0] == nullptr || entry->h_addrtype != AF_INET) return false;
    std::memcpy(&address, entry->h_addr_list[0], sizeof address);
    family = entry->h_addrtype;
    return true;
}

bool TcpSocket::create(int family)
{
    close();
    const SOCKET s = ::socket(family, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return false;
    handle_ = static_cast<std::intptr_t>(s);
    const DWORD limit_ms = kSendSeconds * 1000;
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit_ms), sizeof limit_ms);
    return true;
}

void TcpSocket::close()
{
    if (handle_ != kInvalid) ::closesocket(static_cast<SOCKET>(handle_));
    handle_ = kInvalid;
}

void TcpSocket::shutdown_both()
{
    if (handle_ != kInvalid) ::shutdown(static_cast<SOCKET>(handle_), SD_BOTH);
}

long TcpSocket::send(const void* data, std::size_t size)
{
    if (handle_ == kInvalid) return -1;
    return ::send(static_cast<SOCKET>(handle_), static_cast<const char*>(data), static_cast<int>(size), 0);
}

long TcpSocket::receive(void* buffer, std::size_t size)
{
    if (handle_ == kInvalid) return -1;
    return ::recv(static_cast<SOCKET>(handle_), static_cast<char*>(buffer), static_cast<int>(size), 0);
}

TcpSocket::Wait TcpSocket::wait_readable(int seconds)
{
    if (handle_ == kInvalid) return Wait::Failed;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(handle_), &readable);
    timeval limit{seconds, 0};
    const int n = ::select(0, &readable, nullptr, nullptr, &limit);
    if (n == SOCKET_ERROR) return Wait::Failed;
    return n == 0 ? Wait::TimedOut : Wait::Readable;
}

bool TcpSocket::last_error_would_block() { return WSAGetLastError() == WSAEWOULDBLOCK; }
