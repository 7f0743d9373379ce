// Values shown as a DISPLAY-HINT asks (RFC 2579 3.1), and the InetAddress
// convention, which has no hint of its own (RFC 4001).
//
// format_octets_hint() applies an octet-format hint ("1x:", "255a",
// "2d-1d-1d,1d:1d:1d.1d,1a1d:1d") to `count` octets: each part is
// an optional '*' (the next octet is a repeat count), a length, a format
// (x lower-case hex, two digits an octet; d decimal; o octal; a and t the
// octets as they are), an optional separator and, after '*', an optional
// terminator; the last one is used again while octets are left, and a
// separator or terminator that would end the text is left out.
// format_integer_hint() applies an integer hint: "d", "d-N" (N digits after a
// decimal point), "x", "o" or "b".
// format_inet_address() gives 4 octets as dotted IPv4 and 16 as RFC 5952 text.
//
// Each writes a NUL-terminated text into out[0 .. size) and returns true; false
// (and "") for a malformed hint, octets the hint cannot show (an 'a' or 't'
// octet that is not printable ASCII), a length the convention has no form
// for, or a text that does not fit. No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

bool format_octets_hint(const char* hint, const std::uint8_t* octets, std::size_t count, char* out, std::size_t size);
bool format_integer_hint(const char* hint, std::int64_t value, char* out, std::size_t size);
bool format_inet_address(const std::uint8_t* octets, std::size_t count, char* out, std::size_t size);
