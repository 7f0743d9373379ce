// Reversible scrambling of the POP3 password as it is stored in the settings.
//
// Every character of a plain or scrambled password must be one of the 92 of
// kScrambleAlphabet. A scrambled password is four salt characters, the
// scrambled body (a length marker, the text, filler up to 19 characters) and
// a check character: 25 characters for up to 18 plain characters, n + 6 for
// longer ones.
//
// Both return 0 on success, 1 on failure. On failure `out` is left as it was,
// so a stored password that is not in scrambled form is used as it stands.
// unscramble_password() may write into the buffer it reads (out == stored);
// its result is never longer than `stored`.
#pragma once

#include <cstddef>
#include <cstdint>

extern const char kScrambleAlphabet[];  // 92 characters, the same in both programs

int scramble_password(const char* plain, char* out, std::size_t out_size);
// The same with the salt seeded from `now` (seconds since 1970) instead of the clock.
int scramble_password_at(const char* plain, char* out, std::size_t out_size, std::uint32_t now);
int unscramble_password(const char* stored, char* out);
