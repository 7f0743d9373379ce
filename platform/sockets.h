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
struct Ipv4Endpoint {
    std::uint32_t address;
    std::uint16_t port;
};

// The most datagrams one receive_batch() or send_batch() call takes.
constexpr std::size_t kMostBatched = 64;

// One datagram of a batch received: the caller sets `buffer` and `size`.
struct DatagramSlot {
    void* buffer;
    std::size_t size;
    std::size_t got;      // bytes in the buffer
    bool truncated;       // the datagram was longer than the buffer: its first `got` bytes are there
    Ipv4Endpoint sender;  // where it came from
};

// One datagram to send: `size` bytes at `data`.
struct OutgoingDatagram {
    const void* data;
    std::size_t size;
};

// Resolves `host` as a dotted address, else through the host table / resolver
// (first IPv4 address). False when neither gives an address.
bool resolve_ipv4(const char* host, std::uint16_t port, Ipv4Endpoint& out);

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
    Receive receive(void* buffer, std::size_t size, std::size_t& got, Ipv4Endpoint* sender = nullptr);
    // Waits, as receive() does, for one datagram, then takes without waiting
    // those already queued behind it, up to `count` (at most kMostBatched) in
    // all, in the order they arrived. Datagram when `received` slots are
    // filled (at least one, a truncated one among them); otherwise
    // Interrupted, TimedOut or Failed as receive() tells, and nothing is
    // filled. Truncated is never returned: the slot tells.
    Receive receive_batch(DatagramSlot* slots, std::size_t count, std::size_t& received);
    // Sends one datagram; returns the bytes sent or -1.
    long send_to(const Ipv4Endpoint& to, const void* data, std::size_t size);
    // Sends `count` datagrams to `to` in order, as few calls as the system
    // allows; one that cannot be sent is skipped.
    void send_batch(const Ipv4Endpoint& to, const OutgoingDatagram* datagrams, std::size_t count);

private:
    static constexpr std::intptr_t kInvalid = -1;
    std::intptr_t handle_ = kInvalid;
};

// A TCP connection with blocking calls, for the mail client and the POP3 log-in.
class TcpSocket {
public:
    enum class Wait { Readable, TimedOut, Failed };

    TcpSocket() = default;
    ~TcpSocket() { close(); }
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    bool create();
    // Binds to every local address, port 0, the family taken from the local host's entry.
    bool bind_any();
    bool connect_to(const Ipv4Endpoint& to);
    bool is_open() const { return handle_ != kInvalid; }
    void close();
    void shutdown_both();

    // Fails when the peer takes none of the bytes for kSendSeconds: a server
    // that stops reading cannot hold the caller for ever.
    long send(const void* data, std::size_t size);
    long receive(void* buffer, std::size_t size);
    Wait wait_readable(int seconds);
    // True when the last failed call only said it would have blocked.
    static bool last_error_would_block();

private:
    static constexpr std::intptr_t kInvalid = -1;
    static constexpr int kSendSeconds = 120;
    std::intptr_t handle_ = kInvalid;
};
