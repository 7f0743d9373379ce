#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/password.h"

namespace {

std::string scrambled(const std::string& plain, std::uint32_t now)
{
    char out[300] = "";
    EXPECT_EQ(scramble_password_at(plain.c_str(), out, sizeof out, now), 0) << plain;
    return out;
}

std::string unscrambled(const std::string& stored)
{
    char out[300];
    std::strcpy(out, "untouched");
    if (unscramble_password(stored.c_str(), out) != 0) return "failed";
    return out;
}

// The first scrambled body character, computed with the C library's form of
// the generator step: it hides the marker, whose index is what comes out.
int marker_index(const std::string& stored)
{
    std::uint32_t seed = 0;
    for (int i = 3; i >= 0; --i) seed = seed << 8 | static_cast<std::uint8_t>(stored[i]);
    seed = (seed * 1103515245u + 12345u) % 0x80000000u;
    const int a = static_cast<int>(std::strchr(kScrambleAlphabet, stored[4]) - kScrambleAlphabet);
    return ((a - static_cast<int>(seed % 92)) % 92 + 92) % 92;
}

TEST(Password, AlphabetHas92DistinctPrintableCharacters)
{
    const std::string a = kScrambleAlphabet;
    EXPECT_EQ(a.size(), 92u);
    EXPECT_EQ(std::set<char>(a.begin(), a.end()).size(), 92u);
    for (char c : a) EXPECT_TRUE(c > 0x20 && c < 0x7F) << c;
}

TEST(Password, StoredLengthsAndMarkers)
{
    struct Case {
        std::string plain;
        std::size_t stored;
        int marker;
    } cases[] = {
        {"", 25, 1},
        {"abcde", 25, 6},
        {"abcdefghijklmnopqr", 25, 19},
        {"abcdefghijklmnopqrs", 25, 0},
        {"abcdefghijklmnopqrstuvwxyz0123", 36, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plain);
        const std::string s = scrambled(c.plain, 1700000000u);
        EXPECT_EQ(s.size(), c.stored);
        EXPECT_EQ(marker_index(s), c.marker);
        EXPECT_EQ(unscrambled(s), c.plain);
    }
}

TEST(Password, RoundTripAtAnyTime)
{
    const std::string all = kScrambleAlphabet;
    const std::string plains[] = {"", "x", "pass word", "Secret!9", all.substr(0, 40), all, "~~~~", "0000"};
    const std::uint32_t times[] = {0u, 1u, 1118131750u, 0x7FFFFFFFu, 0xFFFFFFFFu, 4000000000u};
    for (const std::string& plain : plains) {
        if (plain.find(' ') != std::string::npos) continue;
        for (std::uint32_t t : times) {
            SCOPED_TRACE(plain + " at " + std::to_string(t));
            EXPECT_EQ(unscrambled(scrambled(plain, t)), plain);
        }
    }
    char out[64];
    ASSERT_EQ(scramble_password("clock", out, sizeof out), 0);
    EXPECT_EQ(unscrambled(out), "clock");
}

TEST(Password, DifferentSecondsGiveDifferentStoredTexts)
{
    std::set<std::string> seen;
    for (std::uint32_t t = 1700000000u; t < 1700000050u; ++t) seen.insert(scrambled("samepass", t));
    EXPECT_EQ(seen.size(), 50u);
}

TEST(Password, FailuresLeaveTheOutputAsItWas)
{
    std::string changed_last = scrambled("secret", 1234567u);
    changed_last.back() = changed_last.back() == 'A' ? 'B' : 'A';
    std::string changed_middle = scrambled("secret", 1234567u);
    changed_middle[10] = changed_middle[10] == 'A' ? 'B' : 'A';
    const char* cases[] = {"", "plainpassword", changed_last.c_str(), changed_middle.c_str(), "0000", "a"};
    for (const char* stored : cases) {
        SCOPED_TRACE(stored);
        EXPECT_EQ(unscrambled(stored), "failed");
    }
    char out[64] = "keep";
    EXPECT_EQ(scramble_password_at("has blank", out, sizeof out, 1u), 1);
    EXPECT_EQ(scramble_password_at("quote\"", out, sizeof out, 1u), 1);
    EXPECT_EQ(scramble_password_at("abc", out, 25, 1u), 1);  // no room for 25 characters and the NUL
    EXPECT_STREQ(out, "keep");
}

TEST(Password, UnscramblesInPlace)
{
    char buffer[256];
    std::strcpy(buffer, scrambled("inplace", 99u).c_str());
    ASSERT_EQ(unscramble_password(buffer, buffer), 0);
    EXPECT_STREQ(buffer, "inplace");
}

} // namespace
