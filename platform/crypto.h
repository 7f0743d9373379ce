// Hashes, HMAC and the ciphers SNMPv3's user-based security model uses, from
// the platform's library: OpenSSL's libcrypto on Linux, CNG (BCrypt) on
// Windows. Nothing here keeps state a caller sees, and after a thread's
// first call of each function no call allocates, so the receive loop may use
// them per datagram.
//
// CNG has no SHA-224: hash_available(HashKind::Sha224) is false there, and
// every function given it returns false.
#pragma once

#include <cstddef>
#include <cstdint>

enum class HashKind : std::uint8_t { Md5, Sha1, Sha224, Sha256, Sha384, Sha512 };
constexpr std::size_t kMaxDigestSize = 64;

std::size_t digest_size(HashKind kind);
bool hash_available(HashKind kind);

// The digest of data[0 .. size) in `out` (digest_size(kind) octets).
bool hash_bytes(HashKind kind, const void* data, std::size_t size, std::uint8_t* out);

// HMAC (RFC 2104) with the hash `kind`: the whole digest_size(kind) octets in `out`.
bool hmac_bytes(HashKind kind, const std::uint8_t* key, std::size_t key_size, const void* data, std::size_t size,
                std::uint8_t* out);

// CBC-DES (RFC 3414 8: 8-octet key, 8-octet IV, whole blocks only) and
// CFB128-AES (RFC 3826: 16-, 24- or 32-octet key, 16-octet IV, any length).
enum class CipherKind : std::uint8_t { DesCbc, AesCfb128 };
bool cipher_available(CipherKind kind);

// out[0 .. size) from in[0 .. size); `out` may be `in`. False for a key size
// the cipher does not take, a DES size that is not a multiple of 8, or a
// failure of the library.
bool encrypt_bytes(CipherKind kind, const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv,
                   const std::uint8_t* in, std::size_t size, std::uint8_t* out);
bool decrypt_bytes(CipherKind kind, const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv,
                   const std::uint8_t* in, std::size_t size, std::uint8_t* out);
