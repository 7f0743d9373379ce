#include "common/usm_keys.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/random.h"

namespace {

constexpr std::size_t kStretchedSize = 1048576;  // RFC 3414 A.2.1: one megabyte of password

// The stretched password is hashed in one piece; one buffer serves every
// caller in turn, so making a key allocates nothing.
std::mutex g_stretch_mutex;
std::uint8_t g_stretched[kStretchedSize];

bool is_aes(PrivProtocol priv) { return priv != PrivProtocol::None && priv != PrivProtocol::Des; }
bool is_reeder(PrivProtocol priv) { return priv == PrivProtocol::Aes192C || priv == PrivProtocol::Aes256C; }

void put_u32(std::uint8_t* out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// draft-blumenthal-aes-usm-04 3.1.2.1: Kul = Kul | H(Kul) until it is long enough.
bool extend_by_hash(AuthProtocol auth, std::uint8_t* key, std::size_t have, std::size_t need)
{
    while (have < need) {
        std::uint8_t digest[kMaxDigestSize];
        if (!hash_bytes(auth_hash(auth), key, have, digest)) return false;
        const std::size_t take = std::min(need - have, auth_key_size(auth));
        std::memcpy(key + have, digest, take);
        have += take;
    }
    return true;
}

// The other extension agents use ("AES-192C", "AES-256C"): the key made so far
// taken as a password, and its Ku localised again, Kul = Kul | Kul(Ku(Kul)).
bool extend_by_localisation(AuthProtocol auth, const std::uint8_t* engine_id, std::size_t engine_id_size,
                            std::uint8_t* key, std::size_t have, std::size_t need)
{
    while (have < need) {
        std::uint8_t ku[kMaxKeySize];
        std::uint8_t kul[kMaxKeySize];
        if (!password_to_key(auth, reinterpret_cast<const char*>(key), have, ku) ||
            !localize_key(auth, ku, engine_id, engine_id_size, kul))
            return false;
        const std::size_t take = std::min(need - have, auth_key_size(auth));
        std::memcpy(key + have, kul, take);
        have += take;
    }
    return true;
}

// The salts: process-wide counters, each started at a random value (RFC 3414
// 8.1.1.1, RFC 3826 3.1.2.1). `seeded` is false when the system gave no
// random start; nothing is encrypted then.
struct SaltCounters {
    std::atomic<std::uint32_t> des{0};
    std::atomic<std::uint64_t> aes{0};
    bool seeded = false;

    SaltCounters()
    {
        std::uint32_t des_start = 0;
        std::uint64_t aes_start = 0;
        seeded = random_bytes(&des_start, sizeof des_start) && random_bytes(&aes_start, sizeof aes_start);
        des = des_start;
        aes = aes_start;
    }
};

SaltCounters& salt_counters()
{
    static SaltCounters counters;
    return counters;
}

// The IV: for DES the pre-IV (the key's second 8 octets) XOR the salt, for
// AES boots | time | salt.
void make_iv(PrivProtocol priv, const std::uint8_t* key, std::uint32_t boots, std::uint32_t time,
             const std::uint8_t* salt, std::uint8_t* iv)
{
    if (priv == PrivProtocol::Des) {
        for (std::size_t i = 0; i < 8; ++i) iv[i] = key[8 + i] ^ salt[i];
        return;
    }
    put_u32(iv, boots);
    put_u32(iv + 4, time);
    std::memcpy(iv + 8, salt, kPrivParamsSize);
}

CipherKind cipher_of(PrivProtocol priv) { return priv == PrivProtocol::Des ? CipherKind::DesCbc : CipherKind::AesCfb128; }
std::size_t cipher_key_size(PrivProtocol priv) { return priv == PrivProtocol::Des ? 8 : priv_key_size(priv); }

}  // namespace

bool auth_protocol_valid(std::int32_t value) { return value >= 0 && value <= 6; }
bool priv_protocol_valid(std::int32_t value) { return value >= 0 && value <= 6; }

bool auth_protocol_available(AuthProtocol auth)
{
    if (!auth_protocol_valid(static_cast<std::int32_t>(auth))) return false;
    return auth == AuthProtocol::None || hash_available(auth_hash(auth));
}

bool priv_protocol_available(PrivProtocol priv)
{
    if (!priv_protocol_valid(static_cast<std::int32_t>(priv))) return false;
    return priv == PrivProtocol::None || cipher_available(cipher_of(priv));
}

HashKind auth_hash(AuthProtocol auth)
{
    switch (auth) {
    case AuthProtocol::Sha: return HashKind::Sha1;
    case AuthProtocol::Sha224: return HashKind::Sha224;
    case AuthProtocol::Sha256: return HashKind::Sha256;
    case AuthProtocol::Sha384: return HashKind::Sha384;
    case AuthProtocol::Sha512: return HashKind::Sha512;
    default: return HashKind::Md5;
    }
}

std::size_t auth_key_size(AuthProtocol auth)
{
    return auth_protocol_valid(static_cast<std::int32_t>(auth)) && auth != AuthProtocol::None
               ? digest_size(auth_hash(auth))
               : 0;
}

std::size_t mac_size(AuthProtocol auth)
{
    static const std::size_t sizes[] = {0, 12, 12, 16, 24, 32, 48};
    const auto index = static_cast<std::int32_t>(auth);
    return auth_protocol_valid(index) ? sizes[index] : 0;
}

std::size_t priv_key_size(PrivProtocol priv)
{
    static const std::size_t sizes[] = {0, 16, 16, 24, 32, 24, 32};
    const auto index = static_cast<std::int32_t>(priv);
    return priv_protocol_valid(index) ? sizes[index] : 0;
}

bool password_to_key(AuthProtocol auth, const char* password, std::size_t password_size, std::uint8_t* ku)
{
    if (auth_key_size(auth) == 0 || password_size == 0) return false;
    std::lock_guard<std::mutex> lock(g_stretch_mutex);
    const std::size_t first = std::min(password_size, kStretchedSize);
    std::memcpy(g_stretched, password, first);
    for (std::size_t filled = first; filled < kStretchedSize;) {  // doubling copies of the repeated password
        const std::size_t copy = std::min(filled, kStretchedSize - filled);
        std::memcpy(g_stretched + filled, g_stretched, copy);
        filled += copy;
    }
    return hash_bytes(auth_hash(auth), g_stretched, kStretchedSize, ku);
}

bool localize_key(AuthProtocol auth, const std::uint8_t* ku, const std::uint8_t* engine_id, std::size_t engine_id_size,
                  std::uint8_t* kul)
{
    const std::size_t key_size = auth_key_size(auth);
    if (key_size == 0 || engine_id_size == 0 || engine_id_size > kMaxEngineIdSize) return false;
    std::uint8_t text[kMaxKeySize * 2 + kMaxEngineIdSize];
    std::memcpy(text, ku, key_size);
    std::memcpy(text + key_size, engine_id, engine_id_size);
    std::memcpy(text + key_size + engine_id_size, ku, key_size);
    return hash_bytes(auth_hash(auth), text, 2 * key_size + engine_id_size, kul);
}

bool localize_priv_key(AuthProtocol auth, PrivProtocol priv, const std::uint8_t* priv_ku, const std::uint8_t* engine_id,
                       std::size_t engine_id_size, std::uint8_t* key)
{
    const std::size_t need = priv_key_size(priv);
    const std::size_t have = auth_key_size(auth);
    std::uint8_t kul[kMaxKeySize * 2];  // room for one more digest than `need` asks
    if (need == 0 || !localize_key(auth, priv_ku, engine_id, engine_id_size, kul)) return false;
    const bool extended = is_reeder(priv) ? extend_by_localisation(auth, engine_id, engine_id_size, kul, have, need)
                                          : extend_by_hash(auth, kul, have, need);
    if (!extended) return false;
    std::memcpy(key, kul, need);
    return true;
}

bool message_mac(AuthProtocol auth, const std::uint8_t* kul, const std::uint8_t* message, std::size_t size,
                 std::uint8_t* mac)
{
    const std::size_t key_size = auth_key_size(auth);
    std::uint8_t digest[kMaxDigestSize];
    if (key_size == 0 || !hmac_bytes(auth_hash(auth), kul, key_size, message, size, digest)) return false;
    std::memcpy(mac, digest, mac_size(auth));
    return true;
}

bool decrypt_scoped_pdu(PrivProtocol priv, const std::uint8_t* key, std::uint32_t boots, std::uint32_t time,
                        const std::uint8_t* salt, const std::uint8_t* in, std::size_t size, std::uint8_t* out)
{
    if (priv_key_size(priv) == 0) return false;
    std::uint8_t iv[16];
    make_iv(priv, key, boots, time, salt, iv);
    return decrypt_bytes(cipher_of(priv), key, cipher_key_size(priv), iv, in, size, out);
}

bool encrypt_scoped_pdu(PrivProtocol priv, const std::uint8_t* key, std::uint32_t boots, std::uint32_t time,
                        const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t& out_size,
                        std::uint8_t* salt)
{
    SaltCounters& counters = salt_counters();
    if (priv_key_size(priv) == 0 || !counters.seeded) return false;
    if (is_aes(priv)) {
        const std::uint64_t count = counters.aes.fetch_add(1, std::memory_order_relaxed);
        put_u32(salt, static_cast<std::uint32_t>(count >> 32));
        put_u32(salt + 4, static_cast<std::uint32_t>(count));
    } else {
        put_u32(salt, boots);
        put_u32(salt + 4, counters.des.fetch_add(1, std::memory_order_relaxed));
    }
    out_size = is_aes(priv) ? size : (size + 7) / 8 * 8;
    std::memmove(out, in, size);
    std::memset(out + size, 0, out_size - size);
    std::uint8_t iv[16];
    make_iv(priv, key, boots, time, salt, iv);
    return encrypt_bytes(cipher_of(priv), key, cipher_key_size(priv), iv, out, out_size, out);
}
