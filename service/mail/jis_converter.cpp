#include "service/mail/jis_converter.h"

#include <cstring>

namespace {

const unsigned char kEscapes[3][3] = {
    {0x1B, 0x28, 0x42},  // ESC ( B: ASCII
    {0x1B, 0x28, 0x49},  // ESC ( I: JIS X 0201 katakana
    {0x1B, 0x24, 0x42},  // ESC $ B: JIS X 0208
};

unsigned char jis_trail(unsigned char b)
{
    if (b < 0x80) return static_cast<unsigned char>(b - 0x1F);
    if (b <= 0x9E) return static_cast<unsigned char>(b - 0x20);
    return static_cast<unsigned char>(b - 0x7E);
}

// The second byte of a double-byte character: 0x40-0x7E or 0x80-0xFC.
bool is_trail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// The first byte of a double-byte character: 0x81-0x9F or 0xE0-0xFC.
bool is_lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Lead bytes whose characters JIS X 0208 holds: from 0xF0 on (user-defined
// and vendor characters) the row would not fit in seven bits.
bool is_jis_lead(unsigned char b) { return is_lead(b) && b < 0xF0; }

unsigned char jis_lead(unsigned char b, unsigned char next)
{
    unsigned char lead = static_cast<unsigned char>(b < 0xA0 ? 2 * (b - 0x70) : 2 * (b - 0xB0));
    if (next < 0x9F) --lead;
    return lead;
}

// A byte of 0x80 or more that starts no character JIS X 0208 holds becomes
// the geta mark: a lead byte without its second byte, a byte no character
// starts with, a character from 0xF0 on.
const unsigned char kReplacement[2] = {0x22, 0x2E};

} // namespace

void JisConverter::start(const char* source)
{
    source_ = reinterpret_cast<const unsigned char*>(source);
    length_ = std::strlen(source);
    position = 0;
    mode = 0;
    escape_index = 3;
    trail_pending = false;
    replacement_length = 0;
}

// Source bytes of the character at `position`: two for a lead byte and its
// second byte, else one.
std::size_t JisConverter::character_length() const
{
    const bool pair = position + 1 < length_ && is_lead(source_[position]) && is_trail(source_[position + 1]);
    return pair ? 2 : 1;
}

std::size_t JisConverter::next(char* out, std::size_t capacity)
{
    std::size_t written = 0;
    auto put = [&](unsigned char byte) { out[written++] = static_cast<char>(byte); };
    auto switch_to = [&](int new_mode) {
        mode = new_mode;
        escape_index = 0;
    };
    while (written < capacity && position < length_) {
        if (escape_index < 3) {
            put(kEscapes[mode][escape_index++]);
            continue;
        }
        const unsigned char b = source_[position];
        if (replacement_length > 0) {
            put(kReplacement[1]);
            position += replacement_length;
            replacement_length = 0;
        } else if (trail_pending) {
            put(jis_trail(b));
            ++position;
            trail_pending = false;
        } else if (b < 0x80) {
            if (mode != 0) switch_to(0);
            else put(b), ++position;
        } else if (b >= 0xA1 && b <= 0xDF) {
            if (mode != 1) switch_to(1);
            else put(static_cast<unsigned char>(b - 0x80)), ++position;
        } else if (mode != 2) {
            switch_to(2);
        } else if (is_jis_lead(b) && character_length() == 2) {
            put(jis_lead(b, source_[position + 1]));
            ++position;
            trail_pending = true;
        } else {
            put(kReplacement[0]);
            replacement_length = character_length();
        }
    }
    if (position >= length_ && mode != 0) switch_to(0);
    while (written < capacity && position >= length_ && escape_index < 3) put(kEscapes[mode][escape_index++]);
    return written;
}
