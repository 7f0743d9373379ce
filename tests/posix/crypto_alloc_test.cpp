// The hashes, MACs and ciphers allocate nothing once a thread has used them:
// a counting malloc watches every protocol's per-message work.
#include <gtest/gtest.h>

#include "common/usm_keys.h"
#include "tests/support/posix/malloc_count.h"

namespace {

// One message's work for every protocol: the MAC, the localisation of a key
// to a new engine, and the privacy transforms both ways.
bool per_message_work()
{
    static const std::uint8_t key[kMaxKeySize] = {1, 2, 3};
    static const std::uint8_t engine[12] = {0x80, 0, 0, 0x1f};
    std::uint8_t text[64] = {}, out[64 + 7], mac[kMaxMacSize], kul[kMaxKeySize], salt[kPrivParamsSize];
    bool ok = true;
    for (int auth = 1; auth <= 6; ++auth) {
        ok = ok && message_mac(static_cast<AuthProtocol>(auth), key, text, sizeof text, mac) &&
             localize_key(static_cast<AuthProtocol>(auth), key, engine, sizeof engine, kul);
    }
    std::size_t size = 0;
    for (int priv = 1; priv <= 6; ++priv) {
        const auto p = static_cast<PrivProtocol>(priv);
        ok = ok && encrypt_scoped_pdu(p, key, 1, 2, text, 61, out, size, salt) &&
             decrypt_scoped_pdu(p, key, 1, 2, salt, out, size, out);
    }
    return ok;
}

}  // namespace

TEST(Crypto, NoAllocationPerMessage)
{
    ASSERT_TRUE(per_message_work());  // a thread's first calls may set up
    const long before = allocations_so_far();
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(per_message_work());
    EXPECT_EQ(allocations_so_far() - before, 0);
}
