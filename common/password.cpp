#include "common/password.h"

#include <cstring>
#include <ctime>
#include <string>

// No blank, no double quote and no backslash: the stored text needs no
// escaping anywhere it is written.
const char kScrambleAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz!#$%&'()*+,-./:;<=>?@[]^_`{|}~";

namespace {

constexpr std::uint32_t L = 92;
static_assert(sizeof kScrambleAlphabet - 1 == L, "the alphabet has 92 characters");

constexpr std::size_t kShortBody = 19;  // text part of a short password's body

// The C library's rand() step: (seed * 1103515245 + 12345) mod 2^31.
std::uint32_t step(std::uint32_t& seed)
{
    seed = (12345u - seed * 1043968403u) & 0x7FFFFFFFu;
    return seed;
}

int index_of(char c)
{
    if (c == '\0') return -1;
    const char* p = std::strchr(kScrambleAlphabet, c);
    return p == nullptr ? -1 : static_cast<int>(p - kScrambleAlphabet);
}

char check_char(const std::string& text)
{
    std::uint8_t sum = 0;
    for (char c : text) sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(c));
    return kScrambleAlphabet[sum % L];
}

std::uint32_t salt_seed(const std::string& salt)
{
    std::uint32_t seed = 0;
    for (int i = 3; i >= 0; --i) seed = seed << 8 | static_cast<std::uint8_t>(salt[i]);
    return seed;
}

} // namespace

int scramble_password_at(const char* plain, char* out, std::size_t out_size, std::uint32_t now)
{
    const std::size_t n = std::strlen(plain);
    std::uint32_t seed = now;
    std::string result;
    for (int i = 0; i < 4; ++i) result += kScrambleAlphabet[step(seed) % L];
    seed = salt_seed(result);

    std::string body(1, n < kShortBody ? kScrambleAlphabet[n + 1] : kScrambleAlphabet[0]);
    body += plain;
    if (n < kShortBody) body.append(kShortBody - n, kScrambleAlphabet[0]);

    for (char c : body) {
        const int b = index_of(c);
        if (b < 0) return 1;
        result += kScrambleAlphabet[(step(seed) % L + static_cast<std::uint32_t>(b)) % L];
    }
    result += check_char(result);
    if (result.size() + 1 > out_size) return 1;
    std::memcpy(out, result.c_str(), result.size() + 1);
    return 0;
}

int scramble_password(const char* plain, char* out, std::size_t out_size)
{
    return scramble_password_at(plain, out, out_size, static_cast<std::uint32_t>(std::time(nullptr)));
}

int unscramble_password(const char* stored, char* out)
{
    std::string text(stored);
    // four salt characters, a marker and a check character at the least
    if (text.size() < 6 || text.back() != check_char(text.substr(0, text.size() - 1))) return 1;
    text.pop_back();

    std::uint32_t seed = salt_seed(text);
    std::string body;
    for (std::size_t i = 4; i < text.size(); ++i) {
        const int a = index_of(text[i]);
        if (a < 0) return 1;
        int b = a - static_cast<int>(step(seed) % L);
        while (b < 0) b += static_cast<int>(L);
        body += kScrambleAlphabet[b];
    }
    std::string plain;
    const int marker = index_of(body[0]);
    if (marker == 0) {
        plain = body.substr(1);
    } else {
        const std::size_t n = static_cast<std::size_t>(marker - 1);
        if (n > body.size() - 1) return 1;
        plain = body.substr(1, n);
    }
    std::memcpy(out, plain.c_str(), plain.size() + 1);
    return 0;
}
