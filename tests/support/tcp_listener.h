// A TCP server end for tests: listens on 127.0.0.1 at a free port and takes
// one connection at a time.
#pragma once

#include <cstdint>
#include <string>

class TcpListener {
public:
    TcpListener();
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    int port() const { return port_; }
    bool accept_one();
    // What arrives within `timeout_ms`; empty when nothing came or the peer closed.
    std::string receive(int timeout_ms);
    void send(const std::string& bytes);
    void close_connection();

private:
    std::intptr_t listener_ = -1;
    std::intptr_t connection_ = -1;
    int port_ = 0;
};
