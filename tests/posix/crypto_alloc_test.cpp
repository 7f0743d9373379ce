// The hashes, MACs and ciphers allocate nothing once a thread has used them:
// a counting malloc watches every protocol's per-message work.
#include <gtest/gtest.h>

#include "common/usm_keys.h"
#include "tests/support/posix/malloc_count.h"

namespace {

// Every protocol's MAC, key localisation and privacy transforms both ways.
bool per_message_work()
{
    static const std::uint8_t key[kMaxKeySize] = {1, 2, 3};
    static const std::uint8_t engine[12] = {0x80, 0, 0, 0x1f};
    std::uint8_t text[64] = {}, out[64 + 7], mac[kMaxMacSize], kul[kMaxKeySize], salt[kPrivParamsSize];
    bool ok = true;
    for (int a = 1; a <= 6; ++a)
        ok = ok && message_mac(AuthProtocol(a), key, text, sizeof text, mac) && localize_key(AuthProtocol(a), key, engine, 12, kul);
    std::size_t n = 0;
    for (int p = 1; p <= 6; ++p)
        ok = ok && encrypt_scoped_pdu(PrivProtocol(p), key, 1, 2, text, 61, out, n, salt) &&
             decrypt_scoped_pdu(PrivProtocol(p), key, 1, 2, salt, out, n, out);
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
