// The trap listener: a datagram socket on port 18882 whose receive
// notifications arrive on the user-interface thread. Datagrams from one of the
// host's own addresses are dropped, except loopback ones (127.0.0.0/8): the
// service forwards every trap to "localhost". The socket takes IPv6 senders
// as well where the host has IPv6; the receivers of other hosts may forward
// to it over either.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "manager/framework/framework.h"

class CUdpSock : public CAsyncSocket {
public:
    using Callback = void (*)(std::uint8_t* buffer, int count, const char* sender, UINT port);
    static constexpr int kBufferSize = 8192;
    static constexpr int kMaxLocalAddresses = 20;
    static constexpr int kReceiveBufferBytes = 4 << 20;
    static constexpr int kDrainCount = 256;

    CUdpSock(UINT port, const char* group_addr);

    // Looks up the host's addresses and opens the socket: 1, or 0 on failure.
    int start(Callback callback);

protected:
    void OnReceive(int error) override;

private:
    bool from_own_host(const std::string& sender) const;

    UINT port_;
    std::string group_addr_;
    std::uint32_t local_addr_ = 0;
    std::uint32_t local_addrs_[kMaxLocalAddresses] = {};
    std::vector<std::uint8_t> buffer_;
    Callback callback_ = nullptr;
};
