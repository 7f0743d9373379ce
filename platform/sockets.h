// UDP sockets for the receiver and TCP connections for the mail client:
// blocking calls, IPv4 and IPv6.
//
// SocketsRuntime starts the sockets layer (Windows Sockets 1.1 on Windows,
// nothing elsewhere) and cleans it up; the program holds one instance for its
// whole life, made during static initialisation, before main runs.
//
// UdpSocket owns one socket and closes it when destroyed. open_bound() follows
// the receiver's set-up: the local host name must resolve, then the socket is
// bound to `port` on every local address, IPv6 and IPv4 alike (one IPv6
// socket that also takes IPv4), or IPv4 only where the host has no IPv6. An
// IPv4 peer is always given and taken as an IPv4 endpoint, whichever the
// socket is.
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

// An IPv4 or IPv6 address and port, both in network byte order.
struct Endpoint {
    std::uint8_t family;       // 4 or 6; 0 for none
    std::uint8_t address[16];  // IPv4: the first four octets
    std::uint16_t port;
};

// Room for the longest text endpoint_text() gives, with its NUL (INET6_ADDRSTRLEN).
constexpr std::size_t kAddressTextSize = 46;

// The address as text: "a.b.c.d", or IPv6 as RFC 5952 writes it ("2001:db8::1").
void endpoint_text(const Endpoint& endpoint, char* out, std::size_t size);

// True for 127.0.0.0/8 and ::1.
bool is_loopback(const Endpoint& endpoint);

// The most datagrams one receive_batch() or send_batch() call takes.
constexpr std::size_t kMostBatched = 64;

// One datagram of a batch received: the caller sets `buffer` and `size`.
struct DatagramSlot {
    void* buffer;
    std::size_t size;
    std::size_t got;      // bytes in the buffer
    bool truncated;       // the datagram was longer than the buffer: its first `got` bytes are there
    Endpoint sender;      // where it came from
};

// One datagram to send: `size` bytes at `data`.
struct OutgoingDatagram {
    const void* data;
    std::size_t size;
};

// Resolves `host` as a dotted IPv4 address, an IPv6 address (also in
// brackets, "[::1]"), else a name through the host table / resolver: its
// first IPv4 address, or its first IPv6 one when it has none. False when
// nothing gives an address.
bool resolve_host(const char* host, std::uint16_t port, Endpoint& out);

// Looks a host name (or dotted address) up through the resolver, as
// gethostbyname does, safely from any thread: the first IPv4 address and the
// entry's address family. False when the name does not resolve.
bool lookup_host(const char* name, std::uint32_t& address, int& family);

// This machine's host name. False when it cannot be had.
bool local_host_name(char* name, std::size_t size);

// Sets the sockets layer's last error to "invalid argument" (10022 on Windows).
void set_socket_error_invalid_argument();

class UdpSocket {
public:
    enum class Receive {
        Datagram,     // `got` bytes arrived
        Truncated,    // the datagram was longer than the buffer; its first `got` bytes are there
        Interrupted,  // nothing arrived, and the socket is fine: receive again
        TimedOut,     // nothing arrived within the receive timeout: the socket is empty
        Failed,       // the socket can no longer receive
    };

    UdpSocket() = default;
    ~UdpSocket() { close(); }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool open_bound(std::uint16_t port);
    bool is_open() const { return handle_ != kInvalid; }
    void close();

    // Makes receive() return TimedOut when nothing arrived for `milliseconds`.
    bool set_receive_timeout(int milliseconds);
    // At most how many datagrams the receive buffer can hold, from its size
    // and the least the system charges a queued datagram; 0 when unknown.
    std::size_t most_queued_datagrams() const;
    // Asks the system for a receive buffer of `bytes`; it may grant less.
    bool set_receive_buffer(std::size_t bytes);
    // `sender`, when given, gets the address the datagram came from.
    Receive receive(void* buffer, std::size_t size, std::size_t& got, Endpoint* sender = nullptr);
    // Waits, as receive() does, for one datagram, then takes without waiting
    // those already queued behind it, up to `count` (at most kMostBatched) in
    // all, in the order they arrived. Datagram when `received` slots are
    // filled (at least one, a truncated one among them); otherwise
    // Interrupted, TimedOut or Failed as receive() tells, and nothing is
    // filled. Truncated is never returned: the slot tells.
    Receive receive_batch(DatagramSlot* slots, std::size_t count, std::size_t& received);
    // Sends one datagram; returns the bytes sent or -1.
    long send_to(const Endpoint& to, const void* data, std::size_t size);
    // Sends `count` datagrams to `to` in order, as few calls as the system
    // allows; one that cannot be sent is skipped.
    void send_batch(const Endpoint& to, const OutgoingDatagram* datagrams, std::size_t count);

private:
    bool create(int family);  // a socket of AF_INET or AF_INET6, not bound

    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t handle_ = kInvalid;
    int family_ = 0;  // AF_INET6 (taking IPv4 as well) or AF_INET
};

// A TCP connection with blocking calls, for the mail client and the POP3 log-in.
class TcpSocket {
public:
    enum class Wait { Readable, TimedOut, Failed };

    TcpSocket() = default;
    ~TcpSocket() { close(); }
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // A new socket of `to`'s family, connected to it; false when it cannot
    // be made or connected (the socket then stays open until close()).
    bool connect_to(const Endpoint& to);
    bool is_open() const { return handle_ != kInvalid; }
    void close();
    void shutdown_both();

    // Fails when the peer takes none of the bytes for kSendSeconds: a server
    // that stops reading cannot hold the caller for ever.
    long send(const void* data, std::size_t size);
    // Sends all `size` bytes, as many calls as it takes; false at the first failure.
    bool send_all(const void* data, std::size_t size);
    long receive(void* buffer, std::size_t size);
    Wait wait_readable(int seconds);
    // True when the last failed call only said it would have blocked.
    static bool last_error_would_block();

private:
    bool create(int family);

    static constexpr std::intptr_t kInvalid = -1;
    static constexpr int kSendSeconds = 120;
    std::intptr_t handle_ = kInvalid;
};
