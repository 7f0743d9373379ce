// BSD sockets: what differs from Windows Sockets (the rest is in platform/sockets.cpp).
#include "platform/sockets.h"
#include "platform/socket_shared.h"

#include <netdb.h>
#include <poll.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

SocketsRuntime::SocketsRuntime() = default;
SocketsRuntime::~SocketsRuntime() = default;

void set_socket_error_invalid_argument() { errno = EINVAL; }

bool last_error_means_no_ipv6() { return errno == EAFNOSUPPORT || errno == EADDRNOTAVAIL; }

bool UdpSocket::create(int family)
{
    close();
    const int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);  // a started program must not keep it
    if (fd < 0) return false;
    handle_ = fd;
    family_ = family;
    return true;
}

void UdpSocket::close()
{
    if (handle_ != kInvalid) ::close(static_cast<int>(handle_));
    handle_ = kInvalid;
}

bool UdpSocket::set_receive_timeout(int milliseconds)
{
    const timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0;
}

// Linux charges a queued datagram the true size of its buffer, about 800
// bytes for a small one; 256 leaves a margin.
std::size_t UdpSocket::most_queued_datagrams() const
{
    constexpr std::size_t kLeastDatagramCost = 256;
    int size = 0;
    socklen_t length = sizeof size;
    if (::getsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_RCVBUF, &size, &length) != 0 || size < 0) return 0;
    return static_cast<std::size_t>(size) / kLeastDatagramCost;
}

// Privileged, the receiver may pass the system's cap (net.core.rmem_max);
// otherwise it gets at most that cap. Linux doubles what is asked, for its
// own bookkeeping.
bool UdpSocket::set_receive_buffer(std::size_t bytes)
{
    const int size = static_cast<int>(std::min<std::size_t>(bytes, INT_MAX / 2));
    const int fd = static_cast<int>(handle_);
    return ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) == 0 ||
           ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) == 0;
}

UdpSocket::Receive UdpSocket::receive(void* buffer, std::size_t size, std::size_t& got, Endpoint* sender)
{
    got = 0;
    sockaddr_storage from{};
    socklen_t from_size = sizeof from;
    // MSG_TRUNC: the result is the datagram's real length, so a cut one is seen.
    const ssize_t n = ::recvfrom(static_cast<int>(handle_), buffer, size, MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &from_size);
    if (sender != nullptr) *sender = from_native(from);
    if (n < 0) {
        if (errno == EAGAIN) return Receive::TimedOut;
        if (errno == EINTR) return Receive::Interrupted;  // a signal, also with datagrams queued
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

// One recvmmsg: MSG_WAITFORONE waits for the first datagram (up to the
// receive timeout) and takes the rest only if they are already queued.
UdpSocket::Receive UdpSocket::receive_batch(DatagramSlot* slots, std::size_t count, std::size_t& received)
{
    received = 0;
    count = std::min(count, kMostBatched);
    mmsghdr messages[kMostBatched];
    iovec parts[kMostBatched];
    sockaddr_storage from[kMostBatched];
    for (std::size_t i = 0; i < count; ++i) {
        parts[i] = iovec{slots[i].buffer, slots[i].size};
        from[i] = sockaddr_storage{};
        messages[i] = mmsghdr{};
        messages[i].msg_hdr.msg_name = &from[i];
        messages[i].msg_hdr.msg_namelen = sizeof from[i];
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    const int n = ::recvmmsg(static_cast<int>(handle_), messages, static_cast<unsigned>(count), MSG_WAITFORONE, nullptr);
    if (n < 0) {
        if (errno == EAGAIN) return Receive::TimedOut;
        if (errno == EINTR) return Receive::Interrupted;  // a signal, also with datagrams queued
        return Receive::Failed;
    }
    if (n == 0) return Receive::Interrupted;  // no slot was offered
    for (int i = 0; i < n; ++i) {
        // Without MSG_TRUNC asked, msg_len is what the buffer holds; the flag tells a cut datagram.
        slots[i].got = std::min<std::size_t>(messages[i].msg_len, slots[i].size);
        slots[i].truncated = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        slots[i].sender = from_native(from[i]);
    }
    received = static_cast<std::size_t>(n);
    return Receive::Datagram;
}

// sendmmsg, kMostBatched at a time; it stops at a datagram it cannot send,
// which is skipped.
void UdpSocket::send_batch(const Endpoint& to, const OutgoingDatagram* datagrams, std::size_t count)
{
    sockaddr_storage dest;
    const socklen_t length = to_native(to, family_, dest);
    if (length == 0) return;
    mmsghdr messages[kMostBatched];
    iovec parts[kMostBatched];
    while (count > 0) {
        const std::size_t n = std::min(count, kMostBatched);
        for (std::size_t i = 0; i < n; ++i) {
            parts[i] = iovec{const_cast<void*>(datagrams[i].data), datagrams[i].size};
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_name = &dest;
            messages[i].msg_hdr.msg_namelen = length;
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        for (std::size_t done = 0; done < n;) {
            const int sent = ::sendmmsg(static_cast<int>(handle_), messages + done, static_cast<unsigned>(n - done), 0);
            done += sent > 0 ? static_cast<std::size_t>(sent) : 1;
        }
        datagrams += n;
        count -= n;
    }
}

bool lookup_host(const char* name, std::uint32_t& address, int& family)
{
    hostent entry{};
    hostent* result = nullptr;
    char scratch[2048];
    int error = 0;
    if (gethostbyname_r(name, &entry, scratch, sizeof scratch, &result, &error) != 0 || result == nullptr ||
        result->h_addr_list[0] == nullptr || result->h_addrtype != AF_INET)
        return false;
    std::memcpy(&address, result->h_addr_list[0], sizeof address);
    family = result->h_addrtype;
    return true;
}

bool TcpSocket::create(int family)
{
    close();
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    handle_ = fd;
    const timeval limit{kSendSeconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return true;
}

void TcpSocket::close()
{
    if (handle_ != kInvalid) ::close(static_cast<int>(handle_));
    handle_ = kInvalid;
}

void TcpSocket::shutdown_both()
{
    if (handle_ != kInvalid) ::shutdown(static_cast<int>(handle_), SHUT_RDWR);
}

long TcpSocket::send(const void* data, std::size_t size)
{
    if (handle_ == kInvalid) return -1;
    return ::send(static_cast<int>(handle_), data, size, MSG_NOSIGNAL);
}

long TcpSocket::receive(void* buffer, std::size_t size)
{
    if (handle_ == kInvalid) return -1;
    return ::recv(static_cast<int>(handle_), buffer, size, 0);
}

TcpSocket::Wait TcpSocket::wait_readable(int seconds)
{
    if (handle_ == kInvalid) return Wait::Failed;
    pollfd p{static_cast<int>(handle_), POLLIN, 0};
    const int n = ::poll(&p, 1, seconds * 1000);
    if (n < 0) return errno == EINTR ? Wait::TimedOut : Wait::Failed;
    return n == 0 ? Wait::TimedOut : Wait::Readable;
}

bool TcpSocket::last_error_would_block() { return errno == EWOULDBLOCK || errno == EAGAIN; }
