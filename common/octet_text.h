// How an OCTET STRING value reads: as text where its octets are text, else
// as hex. Also the CP932 rules every cut text follows.
//
// octet_string_text() writes, NUL-terminated into field[0 .. size):
// - printable octets (ASCII 0x20-0x7E, TAB, CR, LF) as they are;
// - valid UTF-8 that holds non-ASCII characters, none of them a control
//   character, converted to CP932 (a character CP932 lacks becomes '?');
// - else valid CP932 text as it is;
// - anything else (a NUL, other control octets, broken characters) as
//   upper-case hex pairs separated by blanks: "00 1A 2B".
// A text longer than the field is cut at a character; hex at a whole pair.
// No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

void octet_string_text(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count);

// Every octet as two upper-case hex digits, blank-separated, cut at a whole pair.
void hex_octets_text(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count);

// Copies octets as they are, cut so that no double-byte CP932 character is
// split: at most size - 1 octets, NUL-terminated.
void copy_cp932_cut(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count);

// The CP932 code of a Unicode character (one byte for half-width katakana,
// else the two bytes big-endian), 0 when CP932 has none. ASCII maps to itself.
std::uint16_t cp932_from_unicode(std::uint32_t code_point);
