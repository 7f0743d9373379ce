#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>

bool random_bytes(void* out, std::size_t size)
{
    auto* p = static_cast<unsigned char*>(out);
    while (size > 0) {
        const ssize_t n = getrandom(p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
