// What platform/sockets.cpp gives the systems' own socket files.
#pragma once

#include <cstdint>

#include "native_sockets.h"  // from the system's folder
#include "platform/sockets.h"

// Binds the socket `handle` to every local address at `port`, the address
// family taken from the local host name's entry, as the receiver and the mail
// client set up.
bool bind_local(std::intptr_t handle, std::uint16_t port);

sockaddr_in to_sockaddr(const Ipv4Endpoint& endpoint);
