// How an OCTET STRING value reads: as text where its octets are text, else
// as hex. Also the CP932 rules every cut text follows.
//
// octet_string_text() writes, NUL-terminated into field[0 .. size):
// - printable octets (ASCII 0x20-0x7E, TAB, CR, LF) as they are;
// - valid UTF-8 that holds non-ASCII characters, none of them a control
//   character, converted to CP932, when CP932 has every one of them;
// - else valid CP932 text as it is (so CP932 text that also reads as UTF-8,
//   such as C3 BD, shows as it was meant);
// - else valid UTF-8 text converted, a character CP932 lacks becoming '?';
// - anything else (a NUL, other control octets, broken characters) as
//   upper-case hex pairs separated by blanks: "00 1A 2B".
// A text longer than the field is cut at a character; hex at a whole pair.
// Each returns true when the whole text fitted, false when it was cut.
// No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

bool octet_string_text(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count);

// Every octet as two upper-case hex digits, blank-separated, cut at a whole pair.
bool hex_octets_text(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count);

// Copies octets as they are, cut so that no double-byte CP932 character is
// split: at most size - 1 octets, NUL-terminated.
bool copy_cp932_cut(char* field, std::size_t size, const std::uint8_t* octets, std::size_t count);

// True for an octet that begins a double-byte CP932 character.
inline bool is_cp932_lead(std::uint8_t octet) { return (octet >= 0x81 && octet <= 0x9F) || (octet >= 0xE0 && octet <= 0xFC); }

// The CP932 code of a Unicode character (one byte for half-width katakana,
// else the two bytes big-endian), 0 when CP932 has none. ASCII maps to itself.
std::uint16_t cp932_from_unicode(std::uint32_t code_point);

// The Unicode character of a CP932 code (as cp932_from_unicode gives it), 0
// when CP932 assigns none there. ASCII maps to itself.
std::uint32_t unicode_from_cp932(std::uint16_t code);
