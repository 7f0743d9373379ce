// UDP sockets for the receiver: blocking calls, IPv4.
//
// SocketsRuntime starts the sockets layer (Windows Sockets 1.1 on Windows,
// nothing elsewhere) and cleans it up; the program holds one instance for its
// whole life, made during static initialisation, before main runs.
//
// UdpSocket owns one socket and closes it when destroyed. open_bound() follows
// the receiver's set-up: look up the local host name, take the address family
// from the answer, bind to `port` on every local address.
#pragma once

#include <cstddef>
#include <cstdint>

class SocketsRuntime {
public:
    SocketsRuntime();
    ~SocketsRuntime();
    SocketsRuntime(const SocketsRuntime&) = delete;
    SocketsRuntime& operator=(const SocketsRuntime&) = delete;
};

// An IPv4 address and port, both in network byte order.
struct UdpEndpoint {
    std::uint32_t address;
    std::uint16_t port;
};

// Resolves `host` as a dotted address, else through the host table / resolver
// (first IPv4 address). False when neither gives an address.
bool resolve_ipv4(const char* host, std::uint16_t port, UdpEndpoint& out);

// Sets the sockets layer's last error to "invalid argument" (10022 on Windows).
void set_socket_error_invalid_argument();

class UdpSocket {
public:
    enum class Receive {
        Datagram,     // `got` bytes arrived
        Truncated,    // the datagram was longer than the buffer; its first `got` bytes are there
        Interrupted,  // nothing arrived, and the socket is fine: receive again
        Failed,       // the socket can no longer receive
    };

    UdpSocket() = default;
    ~UdpSocket() { close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool open_bound(std::uint16_t port);
    bool is_open() const { return handle_ != kInvalid; }
    void close();

    Receive receive(void* buffer, std::size_t size, std::size_t& got);
    // Sends one datagram; returns the bytes sent or -1.
    long send_to(const UdpEndpoint& to, const void* data, std::size_t size);

private:
    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t handle_ = kInvalid;
};
