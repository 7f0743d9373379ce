// Code page 932 (Shift_JIS) to ISO-2022-JP, in pieces of a given size.
//
// start() takes the source text (NUL-terminated; the converter keeps a
// pointer, so the text must outlive the conversion). Each next() writes at
// most `capacity` bytes and returns how many; 0 means the conversion is
// complete. An escape sequence or a double-byte character may be split
// between two pieces. The output always ends in ASCII. A lead byte that no
// valid second byte (0x40-0x7E, 0x80-0xFC) follows goes out as one geta mark
// (JIS X 0208 0x222E), and the byte after it is converted on its own, so a
// line end always stays a line end.
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
    bool replacement_pending = false;  // the first byte of the geta mark is out, the second is next
};
