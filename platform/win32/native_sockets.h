// Windows Sockets as the shared socket code (platform/sockets.cpp) names them.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

using NativeSocket = SOCKET;
using AddressLength = int;
constexpr std::uint32_t kNoAddress = INADDR_NONE;
