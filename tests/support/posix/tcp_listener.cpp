#include "tests/support/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TcpListener::TcpListener()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(static_cast<int>(listener_), reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(static_cast<int>(listener_), 4);
    socklen_t size = sizeof a;
    ::getsockname(static_cast<int>(listener_), reinterpret_cast<sockaddr*>(&a), &size);
    port_ = ntohs(a.sin_port);
}

TcpListener::~TcpListener()
{
    close_connection();
    ::close(static_cast<int>(listener_));
}

bool TcpListener::accept_one()
{
    close_connection();
    connection_ = ::accept(static_cast<int>(listener_), nullptr, nullptr);
    return connection_ >= 0;
}

std::string TcpListener::receive(int timeout_ms)
{
    pollfd p{static_cast<int>(connection_), POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return "";
    char buffer[65536];
    const ssize_t n = ::recv(static_cast<int>(connection_), buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

void TcpListener::send(const std::string& bytes)
{
    ::send(static_cast<int>(connection_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void TcpListener::close_connection()
{
    if (connection_ >= 0) ::close(static_cast<int>(connection_));
    connection_ = -1;
}
