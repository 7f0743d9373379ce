// Addresses as text, the same on every system: IPv4 dotted decimal, IPv6 as
// RFC 5952 recommends (lower-case hex without leading zeros, the longest run
// of two or more zero groups, the first of equal ones, written "::", and an
// IPv4-mapped address ending in its dotted IPv4 address). No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the text of the 16 octets at `address`, NUL-terminated, into
// out[0 .. size), cut to fit; 46 octets hold the longest.
void ipv6_text(const std::uint8_t* address, char* out, std::size_t size);
