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

// How octet_string_text() reads the octets: as UTF-8 text (printable ASCII
// among it), as CP932 text, or as none (hex).
enum class OctetReading { Utf8, Cp932, Hex };
OctetReading octet_string_reading(const std::uint8_t* octets, std::size_t count);

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

// The Unicode character of a CP932 code (one byte, or the two bytes
// big-endian), 0 when CP932 has none. Where two characters share a code,
// the one Windows gives (the full-width form) is taken.
std::uint32_t unicode_from_cp932(std::uint16_t code);

// The UTF-8 octets of `cp` (the Basic Multilingual Plane) into out[0..3); returns how many.
std::size_t utf8_octets(std::uint32_t cp, char out[4]);

// The character at p[0 .. n) (n >= 1) read as CP932, U+FFFD for an octet that
// begins none, and in `width` the octets it takes (1 or 2).
std::uint32_t cp932_char_at(const std::uint8_t* p, std::size_t n, std::size_t& width);

// CP932 text[0 .. n) as UTF-8 into out[0 .. size), NUL-terminated; an octet
// that begins no character becomes U+FFFD. With `escape`, '"', '\\' and ']'
// get a backslash before them (a syslog PARAM-VALUE). Stops before the first
// character that does not fit whole; returns the octets written.
std::size_t cp932_to_utf8(char* out, std::size_t size, const char* text, std::size_t n, bool escape = false);
