// Appends one block to a file in a single write: open for appending (creating
// the file, never a folder, sharing it with every other reader and writer),
// write, close. Returns false when the file cannot be opened or the write
// falls short.
#pragma once

#include <cstddef>

bool append_to_file(const char* path, const void* data, std::size_t size);
