#include "platform/folders.h"

#include <cstdio>
#include <memory>

bool read_whole_file(const std::string& path, std::size_t most, std::string& out)
{
    out.clear();
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    char block[65536];
    for (;;) {
        const std::size_t got = std::fread(block, 1, sizeof block, file.get());
        if (got == 0) break;
        if (out.size() + got > most) return false;
        out.append(block, got);
    }
    return std::ferror(file.get()) == 0;
}
