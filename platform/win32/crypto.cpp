// CNG (BCrypt). The algorithm providers are opened once for the process; each
// call makes its hash or key object in a buffer of the calling thread, so no
// call asks CNG for memory. A provider the system lacks stays closed and its
// functions return false.
//
// Single DES: where the "DES" provider is missing (Wine has none), 3DES with
// the key three times over is the same cipher (EDE with K1 = K2 = K3).
#include "platform/crypto.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>

namespace {

constexpr ULONG kObjectBufferSize = 4096;

struct Provider {
    BCRYPT_ALG_HANDLE handle = nullptr;
    ULONG object_size = 0;
};

ULONG object_length(BCRYPT_ALG_HANDLE handle)
{
    DWORD size = 0;
    ULONG written = 0;
    const NTSTATUS status = BCryptGetProperty(handle, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size),
                                              sizeof size, &written, 0);
    return status == 0 && size <= kObjectBufferSize ? size : 0;
}

Provider open_provider(const wchar_t* algorithm, ULONG flags, const wchar_t* chaining_mode)
{
    Provider p;
    if (BCryptOpenAlgorithmProvider(&p.handle, algorithm, nullptr, flags) != 0) return Provider{};
    const bool mode_set =
        !chaining_mode || BCryptSetProperty(p.handle, BCRYPT_CHAINING_MODE, (PUCHAR)chaining_mode,
                                            static_cast<ULONG>((wcslen(chaining_mode) + 1) * sizeof(wchar_t)), 0) == 0;
    p.object_size = mode_set ? object_length(p.handle) : 0;
    if (p.object_size == 0) {
        BCryptCloseAlgorithmProvider(p.handle, 0);
        return Provider{};
    }
    return p;
}

constexpr const wchar_t* kHashNames[] = {BCRYPT_MD5_ALGORITHM,    BCRYPT_SHA1_ALGORITHM,  L"SHA224",
                                         BCRYPT_SHA256_ALGORITHM, BCRYPT_SHA384_ALGORITHM, BCRYPT_SHA512_ALGORITHM};
constexpr std::size_t kHashCount = sizeof kHashNames / sizeof kHashNames[0];
constexpr std::size_t kDigestSizes[kHashCount] = {16, 20, 28, 32, 48, 64};

struct Providers {
    Provider hash[kHashCount];
    Provider hmac[kHashCount];
    Provider aes;
    Provider des;
    bool des_tripled = false;  // `des` is 3DES: the key goes in three times

    Providers()
    {
        for (std::size_t i = 0; i < kHashCount; ++i) {
            hash[i] = open_provider(kHashNames[i], 0, nullptr);
            hmac[i] = open_provider(kHashNames[i], BCRYPT_ALG_HANDLE_HMAC_FLAG, nullptr);
        }
        aes = open_provider(BCRYPT_AES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_CFB);
        des = open_provider(BCRYPT_DES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_CBC);
        if (!des.handle) {
            des = open_provider(BCRYPT_3DES_ALGORITHM, 0, BCRYPT_CHAIN_MODE_CBC);
            des_tripled = des.handle != nullptr;
        }
    }
};

const Providers& providers()
{
    static const Providers p;
    return p;
}

const Provider* hash_provider(HashKind kind, bool keyed)
{
    const auto index = static_cast<std::size_t>(kind);
    if (index >= kHashCount) return nullptr;
    const Provider& p = keyed ? providers().hmac[index] : providers().hash[index];
    return p.handle ? &p : nullptr;
}

struct alignas(16) ObjectBuffer {
    UCHAR bytes[kObjectBufferSize];
};
thread_local ObjectBuffer t_object;

bool run_hash(const Provider& p, const std::uint8_t* key, std::size_t key_size, const void* data, std::size_t size,
              std::uint8_t* out, std::size_t out_size)
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptCreateHash(p.handle, &hash, t_object.bytes, p.object_size, const_cast<PUCHAR>(key),
                         static_cast<ULONG>(key_size), 0) != 0)
        return false;
    const bool ok = BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0) == 0 &&
                    BCryptFinishHash(hash, out, static_cast<ULONG>(out_size), 0) == 0;
    BCryptDestroyHash(hash);
    return ok;
}

// A key object for the cipher in the thread's buffer; AES runs CFB with a
// 16-octet feedback (CNG's default for CFB is 8 bits).
BCRYPT_KEY_HANDLE make_key(CipherKind kind, const std::uint8_t* key, std::size_t key_size)
{
    const Providers& all = providers();
    const Provider& p = kind == CipherKind::DesCbc ? all.des : all.aes;
    if (!p.handle) return nullptr;
    std::uint8_t tripled[24];
    if (kind == CipherKind::DesCbc && all.des_tripled) {
        for (int i = 0; i < 3; ++i) std::memcpy(tripled + 8 * i, key, 8);
        key = tripled;
        key_size = sizeof tripled;
    }
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (BCryptGenerateSymmetricKey(p.handle, &handle, t_object.bytes, p.object_size, const_cast<PUCHAR>(key),
                                   static_cast<ULONG>(key_size), 0) != 0)
        return nullptr;
    DWORD feedback = 16;
    if (kind == CipherKind::AesCfb128 &&
        BCryptSetProperty(handle, BCRYPT_MESSAGE_BLOCK_LENGTH, reinterpret_cast<PUCHAR>(&feedback), sizeof feedback, 0) != 0) {
        BCryptDestroyKey(handle);
        return nullptr;
    }
    return handle;
}

bool cng_blocks(BCRYPT_KEY_HANDLE key, bool encrypt, std::uint8_t* iv, ULONG iv_size, const std::uint8_t* in,
                std::size_t size, std::uint8_t* out)
{
    ULONG done = 0;
    const auto input = const_cast<PUCHAR>(in);
    const auto n = static_cast<ULONG>(size);
    const NTSTATUS status = encrypt ? BCryptEncrypt(key, input, n, nullptr, iv, iv_size, out, n, &done, 0)
                                    : BCryptDecrypt(key, input, n, nullptr, iv, iv_size, out, n, &done, 0);
    return status == 0 && done == n;
}

// CNG takes whole 16-octet blocks only: the blocks first, then the last part
// through a zero-padded block whose IV is the last ciphertext block (CFB's
// feedback), of which the first octets are the result.
bool aes_cfb(BCRYPT_KEY_HANDLE key, bool encrypt, const std::uint8_t* iv, const std::uint8_t* in, std::size_t size,
             std::uint8_t* out)
{
    const std::size_t whole = size / 16 * 16;
    const std::size_t rest = size - whole;
    std::uint8_t chain[16];
    std::memcpy(chain, iv, 16);
    if (whole > 0) {
        std::uint8_t last_cipher[16];
        if (!encrypt) std::memcpy(last_cipher, in + whole - 16, 16);  // before `out` may overwrite it
        if (!cng_blocks(key, encrypt, chain, 16, in, whole, out)) return false;
        std::memcpy(chain, encrypt ? out + whole - 16 : last_cipher, 16);
    }
    if (rest == 0) return true;
    std::uint8_t block[16] = {};
    std::memcpy(block, in + whole, rest);
    if (!cng_blocks(key, encrypt, chain, 16, block, 16, block)) return false;
    std::memcpy(out + whole, block, rest);
    return true;
}

bool run_cipher(CipherKind kind, const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv,
                const std::uint8_t* in, std::size_t size, std::uint8_t* out, bool encrypt)
{
    const bool des = kind == CipherKind::DesCbc;
    if (des ? key_size != 8 || size % 8 != 0 : key_size != 16 && key_size != 24 && key_size != 32) return false;
    if (size == 0) return true;
    const BCRYPT_KEY_HANDLE handle = make_key(kind, key, key_size);
    if (!handle) return false;
    std::uint8_t chain[8];
    if (des) std::memcpy(chain, iv, 8);  // CNG writes the chaining value back
    const bool ok = des ? cng_blocks(handle, encrypt, chain, 8, in, size, out) : aes_cfb(handle, encrypt, iv, in, size, out);
    BCryptDestroyKey(handle);
    return ok;
}

}  // namespace

std::size_t digest_size(HashKind kind)
{
    const auto index = static_cast<std::size_t>(kind);
    return index < kHashCount ? kDigestSizes[index] : 0;
}

bool hash_available(HashKind kind) { return hash_provider(kind, false) && hash_provider(kind, true); }

bool hash_bytes(HashKind kind, const void* data, std::size_t size, std::uint8_t* out)
{
    const Provider* p = hash_provider(kind, false);
    return p && run_hash(*p, nullptr, 0, data, size, out, digest_size(kind));
}

bool hmac_bytes(HashKind kind, const std::uint8_t* key, std::size_t key_size, const void* data, std::size_t size,
                std::uint8_t* out)
{
    const Provider* p = hash_provider(kind, true);
    return p && run_hash(*p, key, key_size, data, size, out, digest_size(kind));
}

bool cipher_available(CipherKind kind)
{
    return (kind == CipherKind::DesCbc ? providers().des : providers().aes).handle != nullptr;
}

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
