// BSD sockets as the shared socket code (platform/sockets.cpp) names them.
#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

using NativeSocket = int;
using AddressLength = socklen_t;
constexpr std::uint32_t kNoAddress = INADDR_NONE;
