// The keys of SNMPv3's user-based security model (RFC 3414, RFC 3826,
// RFC 7860): passwords to keys, keys localised to an engine, message
// authentication codes and the privacy transforms of a scoped PDU.
//
// The numbers of AuthProtocol and PrivProtocol are the values "auth" and
// "priv" of a user in the settings store. The AES-192 and AES-256 keys are
// extended from the localised key as draft-blumenthal-aes-usm-04 3.1.2.1
// does (net-snmp's "AES-192", "AES-256"); AES-192C and AES-256C extend it the
// other way agents use (the localisation run again on the localised key).
// No allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"

enum class AuthProtocol : std::int32_t { None = 0, Md5 = 1, Sha = 2, Sha224 = 3, Sha256 = 4, Sha384 = 5, Sha512 = 6 };
enum class PrivProtocol : std::int32_t { None = 0, Des = 1, Aes128 = 2, Aes192 = 3, Aes256 = 4, Aes192C = 5, Aes256C = 6 };

constexpr std::size_t kMaxKeySize = kMaxDigestSize;  // Ku, Kul and every privacy key fit
constexpr std::size_t kMaxMacSize = 48;              // HMAC-SHA-512's truncated MAC
constexpr std::size_t kMaxEngineIdSize = 32;         // RFC 3411: 5 to 32 octets
constexpr std::size_t kPrivParamsSize = 8;           // the salt, for DES and every AES

bool auth_protocol_valid(std::int32_t value);  // 0 to 6
bool priv_protocol_valid(std::int32_t value);  // 0 to 6
// The platform can run it (SHA-224 cannot run on Windows).
bool auth_protocol_available(AuthProtocol auth);
bool priv_protocol_available(PrivProtocol priv);

HashKind auth_hash(AuthProtocol auth);          // not for None
std::size_t auth_key_size(AuthProtocol auth);   // the digest size; 0 for None
std::size_t mac_size(AuthProtocol auth);        // 12, 12, 16, 24, 32, 48; 0 for None
std::size_t priv_key_size(PrivProtocol priv);   // 16 (DES: key and pre-IV), 16, 24, 32, 24, 32; 0 for None

// Ku: the password stretched to 1,048,576 octets and hashed (RFC 3414 A.2.1),
// auth_key_size(auth) octets. False for an empty password or None.
bool password_to_key(AuthProtocol auth, const char* password, std::size_t password_size, std::uint8_t* ku);

// Kul = H(Ku | engineID | Ku) (RFC 3414 A.2.2), auth_key_size(auth) octets.
bool localize_key(AuthProtocol auth, const std::uint8_t* ku, const std::uint8_t* engine_id,
                  std::size_t engine_id_size, std::uint8_t* kul);

// The localised privacy key of priv_key_size(priv) octets, from the privacy
// password's Ku (made with the authentication protocol's hash), extended for
// the longer AES keys.
bool localize_priv_key(AuthProtocol auth, PrivProtocol priv, const std::uint8_t* priv_ku,
                       const std::uint8_t* engine_id, std::size_t engine_id_size, std::uint8_t* key);

// The MAC of a whole message whose msgAuthenticationParameters octets are
// zero (RFC 3414 6.3.1, 7.3.1; RFC 7860 4.2.1): mac_size(auth) octets.
bool message_mac(AuthProtocol auth, const std::uint8_t* kul, const std::uint8_t* message, std::size_t size,
                 std::uint8_t* mac);

// The privacy transform of a scoped PDU: `salt` is msgPrivacyParameters (8
// octets), `boots` and `time` the authoritative engine's values the message
// carries (AES IV, RFC 3826 3.1.2.1; DES IV from the pre-IV and the salt,
// RFC 3414 8.1.1.1). DES takes a multiple of 8 octets only. out may be in.
bool decrypt_scoped_pdu(PrivProtocol priv, const std::uint8_t* key, std::uint32_t boots, std::uint32_t time,
                        const std::uint8_t* salt, const std::uint8_t* in, std::size_t size, std::uint8_t* out);
// Encrypts, making a new salt in `salt` (8 octets: for DES the boots and a
// counter, for AES a 64-bit counter started at a random value). For DES
// `size` is padded with zero octets up to a multiple of 8 first; the padded
// size is returned in `out_size`. `out` holds size + 7 octets.
bool encrypt_scoped_pdu(PrivProtocol priv, const std::uint8_t* key, std::uint32_t boots, std::uint32_t time,
                        const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t& out_size,
                        std::uint8_t* salt);
