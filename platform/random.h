// Bytes from the system's cryptographic random source: getrandom() on Linux,
// BCryptGenRandom (the system's preferred generator) on Windows. False when
// the source gives none; `out` is then not to be used.
#pragma once

#include <cstddef>

bool random_bytes(void* out, std::size_t size);
