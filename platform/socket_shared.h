// What platform/sockets.cpp gives the systems' own socket files.
#pragma once

#include <cstdint>

#include "native_sockets.h"  // from the system's folder
#include "platform/sockets.h"

// `endpoint` as an address of a socket of `socket_family` (AF_INET or
// AF_INET6, an IPv4 endpoint then mapped to ::ffff:a.b.c.d) in `out`; its
// size, 0 when an IPv4 socket cannot reach it.
AddressLength to_native(const Endpoint& endpoint, int socket_family, sockaddr_storage& out);

// The endpoint of an address a socket gave; an IPv4-mapped IPv6 address is
// given as IPv4.
Endpoint from_native(const sockaddr_storage& address);

// True when the last failed call said the host has no IPv6.
bool last_error_means_no_ipv6();
