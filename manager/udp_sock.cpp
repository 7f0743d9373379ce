#include "manager/udp_sock.h"

#include <ws2tcpip.h>

#include <cstring>

CUdpSock::CUdpSock(UINT port, const char* group_addr)
    : port_(port), group_addr_(group_addr != nullptr ? group_addr : ""), buffer_(kBufferSize)
{
}

int CUdpSock::start(Callback callback)
{
    callback_ = callback;
    if (local_addr_ != 0) return 0;
    char name[256];
    if (gethostname(name, sizeof name) != 0) return 0;
    const hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addrtype != AF_INET) return 0;
    int count = 0;
    for (; count < kMaxLocalAddresses && host->h_addr_list[count] != nullptr; ++count)
        std::memcpy(&local_addrs_[count], host->h_addr_list[count], sizeof local_addrs_[count]);
    if (count == 0) return 0;
    local_addr_ = local_addrs_[0];
    if (!Create(port_, SOCK_DGRAM, FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE)) return 0;
    // Room for a storm from the receiver while the window is busy; the system may grant less.
    const int receive_buffer = kReceiveBufferBytes;
    setsockopt(handle(), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer), sizeof receive_buffer);
    if (!group_addr_.empty()) {
        ip_mreq group{};
        group.imr_multiaddr.s_addr = inet_addr(group_addr_.c_str());
        group.imr_interface.s_addr = htonl(INADDR_ANY);
        const BOOL on = TRUE;
        if (setsockopt(handle(), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&group), sizeof group) != 0 ||
            setsockopt(handle(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0)
            return 0;
    }
    return 1;
}

bool CUdpSock::from_own_host(const std::string& sender) const
{
    const std::uint32_t address = inet_addr(sender.c_str());
    if ((ntohl(address) >> 24) == 127) return false;  // loopback: the service's own forward
    for (std::uint32_t own : local_addrs_)
        if (own == address) return true;
    return false;
}

void CUdpSock::OnReceive(int)
{
    // The datagrams queued are read together: a burst waits in the socket, not
    // behind one notification message per datagram. At most kDrainCount per
    // notification, so a flood still lets the window answer between drains;
    // the read re-arms the notification while datagrams remain.
    for (int i = 0; i < kDrainCount; ++i) {
        std::string sender;
        UINT port = 0;
        const int n = ReceiveFrom(buffer_.data(), kBufferSize, sender, port);
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) continue;  // too long: discarded whole
        if (n == SOCKET_ERROR) return;  // WSAEWOULDBLOCK: the queue is empty
        if (n == 0 || from_own_host(sender) || callback_ == nullptr) continue;
        callback_(buffer_.data(), n, sender.c_str(), port);
    }
}
