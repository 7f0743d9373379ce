// Code page 932 (Shift_JIS) to ISO-2022-JP, in pieces of a given size.
//
// start() takes the source text (NUL-terminated; the converter keeps a
// pointer, so the text must outlive the conversion). Each next() writes at
// most `capacity` bytes and returns how many; 0 means the conversion is
// complete. An escape sequence or a double-byte character may be split
// between two pieces. The output always ends in ASCII and holds no byte of
// 0x80 or more. Lead bytes are 0x81-0x9F and 0xE0-0xFC; whatever of 0x80 or
// more is no character of JIS X 0208 goes out as one geta mark (JIS X 0208
// 0x222E): a lead byte that no valid second byte (0x40-0x7E, 0x80-0xFC)
// follows, a byte no character starts with (0x80, 0xA0, 0xFD-0xFF), and a
// character from lead byte 0xF0 on (user-defined and vendor characters, with
// their second byte). Only a character's own second byte goes with it: the
// byte after a lone lead byte is converted on its own, so a line end always
// stays a line end.
#pragma once

#include <cstddef>

class JisConverter {
public:
    void start(const char* source);
    std::size_t next(char* out, std::size_t capacity);

private:
    const unsigned char* source_ = nullptr;
    std::size_t length_ = 0;
    std::size_t position = 0;
    int mode = 0;            // 0 ASCII, 1 half-width katakana, 2 JIS X 0208
    int escape_index = 3;    // next byte of the escape sequence for `mode`; 3: none pending
    bool trail_pending = false;
    std::size_t replacement_length = 0;  // >0: the geta mark's first byte is out; source bytes it stands for

    std::size_t character_length() const;
};
