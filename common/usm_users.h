// SNMPv3 users and the receiver's own engine in the settings store.
//
// A user is the subkey "Users\<name>" with the values "auth" (0 none, 1 MD5,
// 2 SHA, 3 SHA-224, 4 SHA-256, 5 SHA-384, 6 SHA-512), "auth_pass", "priv"
// (0 none, 1 DES, 2 AES-128, 3 AES-192, 4 AES-256, 5 AES-192C, 6 AES-256C),
// "priv_pass" (both passwords scrambled as "pop_pass" is) and "engine_id"
// (hex; empty: any engine). The receiver's engine is "engine_id" (hex, RFC
// 3411 format) and "engine_boots" in the settings key itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/usm_keys.h"

constexpr int kMaxUsmUsers = 64;
constexpr std::size_t kMaxUserNameSize = 32;   // SnmpAdminString (SIZE(1..32)) for a security name
constexpr std::size_t kMaxPasswordSize = 255;

// A user as the receiver needs it: the passwords are kept only as their Ku.
struct UsmUser {
    char name[kMaxUserNameSize + 1];
    std::size_t name_size;
    AuthProtocol auth;
    PrivProtocol priv;
    std::uint8_t auth_ku[kMaxKeySize];
    std::uint8_t priv_ku[kMaxKeySize];        // made with the authentication hash
    std::uint8_t engine_id[kMaxEngineIdSize];
    std::size_t engine_id_size;               // 0: every engine
    bool usable;  // false: a protocol this platform cannot run, a missing password, priv without auth
};

// A user as stored, passwords in plain text: what "-user add" and the
// manager write.
struct UsmUserSetting {
    char name[kMaxUserNameSize + 1];
    std::int32_t auth;
    char auth_pass[kMaxPasswordSize + 1];
    std::int32_t priv;
    char priv_pass[kMaxPasswordSize + 1];
    char engine_id[2 * kMaxEngineIdSize + 1];  // hex, or empty
};

// Reads every user under "Users" into users[0 .. capacity), making each Ku
// (about a million hash octets per password). Returns the number read.
int load_usm_users(UsmUser* users, int capacity);

// Reads one stored user (passwords unscrambled); false when it is missing.
bool read_usm_user(const char* name, UsmUserSetting& out);
// Writes one user, scrambling the passwords. 1 on success, 0 when it cannot
// be stored or a value is out of range (the name empty or longer than 32
// octets, a protocol number outside 0 to 6, priv without auth, a password
// shorter than 8 characters where its protocol is set, an engine ID that is
// not 5 to 32 octets of hex).
int write_usm_user(const UsmUserSetting& user);
int delete_usm_user(const char* name);

// Hex text (two digits per octet, either case, no separators) to octets.
// False for odd length, a non-hex digit or more than `capacity` octets.
bool parse_hex_octets(const char* text, std::uint8_t* out, std::size_t capacity, std::size_t& size);
// Lower-case hex text of size octets in `out` (2 * size + 1 characters).
void format_hex_octets(const std::uint8_t* octets, std::size_t size, char* out);

// The receiver's snmpEngineID: the stored "engine_id" when it is valid hex
// of 5 to 32 octets; else made now (0x80 and an enterprise number, format 5,
// eight random octets) and stored. Returns its size, 0 when no ID could be
// made.
std::size_t receiver_engine_id(std::uint8_t out[kMaxEngineIdSize]);
// Counts "engine_boots" up by one (never past 2^31-1) and returns the new
// value: once per start of the receive loop.
std::uint32_t next_engine_boots();
