// libcrypto's low-level digest and cipher functions: with OpenSSL 3 the EVP
// and HMAC interfaces allocate at every initialisation, even on a reused
// context, while the MD5_*, SHA*_*, AES_* and DES_* functions work on
// contexts on the stack. HMAC is RFC 2104's construction over those digests.
#define OPENSSL_SUPPRESS_DEPRECATED  // the low-level functions are deprecated in OpenSSL 3, not gone
#include "platform/crypto.h"

#include <openssl/aes.h>
#include <openssl/des.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <cstring>

namespace {

union HashContext {
    MD5_CTX md5;
    SHA_CTX sha1;
    SHA256_CTX sha256;  // also SHA-224
    SHA512_CTX sha512;  // also SHA-384
};

struct HashOps {
    std::size_t digest;
    std::size_t block;
    int (*init)(HashContext&);
    int (*update)(HashContext&, const void*, std::size_t);
    int (*final)(std::uint8_t*, HashContext&);
};

const HashOps kHashes[] = {
    {16, 64, [](HashContext& c) { return MD5_Init(&c.md5); },
     [](HashContext& c, const void* d, std::size_t n) { return MD5_Update(&c.md5, d, n); },
     [](std::uint8_t* out, HashContext& c) { return MD5_Final(out, &c.md5); }},
    {20, 64, [](HashContext& c) { return SHA1_Init(&c.sha1); },
     [](HashContext& c, const void* d, std::size_t n) { return SHA1_Update(&c.sha1, d, n); },
     [](std::uint8_t* out, HashContext& c) { return SHA1_Final(out, &c.sha1); }},
    {28, 64, [](HashContext& c) { return SHA224_Init(&c.sha256); },
     [](HashContext& c, const void* d, std::size_t n) { return SHA224_Update(&c.sha256, d, n); },
     [](std::uint8_t* out, HashContext& c) { return SHA224_Final(out, &c.sha256); }},
    {32, 64, [](HashContext& c) { return SHA256_Init(&c.sha256); },
     [](HashContext& c, const void* d, std::size_t n) { return SHA256_Update(&c.sha256, d, n); },
     [](std::uint8_t* out, HashContext& c) { return SHA256_Final(out, &c.sha256); }},
    {48, 128, [](HashContext& c) { return SHA384_Init(&c.sha512); },
     [](HashContext& c, const void* d, std::size_t n) { return SHA384_Update(&c.sha512, d, n); },
     [](std::uint8_t* out, HashContext& c) { return SHA384_Final(out, &c.sha512); }},
    {64, 128, [](HashContext& c) { return SHA512_Init(&c.sha512); },
     [](HashContext& c, const void* d, std::size_t n) { return SHA512_Update(&c.sha512, d, n); },
     [](std::uint8_t* out, HashContext& c) { return SHA512_Final(out, &c.sha512); }},
};
constexpr std::size_t kMaxBlock = 128;

const HashOps* hash_ops(HashKind kind)
{
    const auto index = static_cast<std::size_t>(kind);
    return index < sizeof kHashes / sizeof kHashes[0] ? &kHashes[index] : nullptr;
}

// H(prefix | data): the inner and outer steps of HMAC.
bool hash_two(const HashOps& ops, const std::uint8_t* prefix, std::size_t prefix_size, const void* data,
              std::size_t size, std::uint8_t* out)
{
    HashContext context;
    return ops.init(context) == 1 && ops.update(context, prefix, prefix_size) == 1 &&
           ops.update(context, data, size) == 1 && ops.final(out, context) == 1;
}

bool aes_key_size_valid(std::size_t size) { return size == 16 || size == 24 || size == 32; }

bool run_cipher(CipherKind kind, const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv,
                const std::uint8_t* in, std::size_t size, std::uint8_t* out, bool encrypt)
{
    if (kind == CipherKind::DesCbc) {
        if (key_size != 8 || size % 8 != 0) return false;
        DES_cblock des_key;
        DES_cblock chain;
        std::memcpy(des_key, key, 8);
        std::memcpy(chain, iv, 8);
        DES_key_schedule schedule;
        DES_set_key_unchecked(&des_key, &schedule);
        DES_ncbc_encrypt(in, out, static_cast<long>(size), &schedule, &chain, encrypt ? DES_ENCRYPT : DES_DECRYPT);
        return true;
    }
    if (kind != CipherKind::AesCfb128 || !aes_key_size_valid(key_size)) return false;
    AES_KEY schedule;  // CFB runs the block cipher forwards both ways
    if (AES_set_encrypt_key(key, static_cast<int>(key_size * 8), &schedule) != 0) return false;
    std::uint8_t chain[16];
    std::memcpy(chain, iv, sizeof chain);
    int used = 0;
    AES_cfb128_encrypt(in, out, size, &schedule, chain, &used, encrypt ? AES_ENCRYPT : AES_DECRYPT);
    return true;
}

}  // namespace

std::size_t digest_size(HashKind kind)
{
    const HashOps* ops = hash_ops(kind);
    return ops ? ops->digest : 0;
}

bool hash_available(HashKind kind) { return hash_ops(kind) != nullptr; }

bool hash_bytes(HashKind kind, const void* data, std::size_t size, std::uint8_t* out)
{
    const HashOps* ops = hash_ops(kind);
    return ops && hash_two(*ops, nullptr, 0, data, size, out);
}

bool hmac_bytes(HashKind kind, const std::uint8_t* key, std::size_t key_size, const void* data, std::size_t size,
                std::uint8_t* out)
{
    const HashOps* ops = hash_ops(kind);
    if (!ops) return false;
    std::uint8_t hashed_key[kMaxDigestSize];
    if (key_size > ops->block) {  // RFC 2104 2: a longer key is hashed first
        if (!hash_bytes(kind, key, key_size, hashed_key)) return false;
        key = hashed_key;
        key_size = ops->digest;
    }
    std::uint8_t pad[kMaxBlock] = {};
    std::memcpy(pad, key, key_size);
    for (std::size_t i = 0; i < ops->block; ++i) pad[i] ^= 0x36;
    std::uint8_t inner[kMaxDigestSize];
    if (!hash_two(*ops, pad, ops->block, data, size, inner)) return false;
    for (std::size_t i = 0; i < ops->block; ++i) pad[i] ^= 0x36 ^ 0x5c;
    return hash_two(*ops, pad, ops->block, inner, ops->digest, out);
}

bool cipher_available(CipherKind kind) { return kind == CipherKind::DesCbc || kind == CipherKind::AesCfb128; }

bool encrypt_bytes(CipherKind kind, const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv,
                   const std::uint8_t* in, std::size_t size, std::uint8_t* out)
{
    return run_cipher(kind, key, key_size, iv, in, size, out, true);
}

bool decrypt_bytes(CipherKind kind, const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv,
                   const std::uint8_t* in, std::size_t size, std::uint8_t* out)
{
    return run_cipher(kind, key, key_size, iv, in, size, out, false);
}
