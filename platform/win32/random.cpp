#include "platform/random.h"

#include <windows.h>

#include <bcrypt.h>

bool random_bytes(void* out, std::size_t size)
{
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}
