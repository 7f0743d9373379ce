// Windows Sockets as the shared socket code (platform/sockets.cpp) names them.
#pragma once

#include <winsock2.h>

#include <cstdint>

using NativeSocket = SOCKET;
using AddressLength = int;
using AddressFamily = short;
constexpr std::uint32_t kNoAddress = INADDR_NONE;
