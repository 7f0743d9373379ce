#include "tests/support/tcp_listener.h"

#include <winsock2.h>

namespace {
struct Startup {
    Startup()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} startup;
} // namespace

TcpListener::TcpListener()
{
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    listener_ = static_cast<std::intptr_t>(s);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(s, 4);
    int size = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
}

TcpListener::~TcpListener()
{
    close_connection();
    ::closesocket(static_cast<SOCKET>(listener_));
}

bool TcpListener::accept_one()
{
    close_connection();
    const SOCKET c = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (c == INVALID_SOCKET) return false;
    connection_ = static_cast<std::intptr_t>(c);
    return true;
}

std::string TcpListener::receive(int timeout_ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(connection_), &readable);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    if (::select(0, &readable, nullptr, nullptr, &limit) <= 0) return "";
    char buffer[65536];
    const int n = ::recv(static_cast<SOCKET>(connection_), buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

void TcpListener::send(const std::string& bytes)
{
    ::send(static_cast<SOCKET>(connection_), bytes.data(), static_cast<int>(bytes.size()), 0);
}

void TcpListener::close_connection()
{
    if (connection_ >= 0) ::closesocket(static_cast<SOCKET>(connection_));
    connection_ = -1;
}
