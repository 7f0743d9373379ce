#include "common/frame_store.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kReadSize = 1u << 20;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

bool FrameStore::append(std::uint32_t time, const std::uint8_t* data, std::uint32_t length)
{
    if (length > kFrameDataSize) return false;
    const std::size_t need = kFrameHeaderSize + length;
    try {
        if (used_ + need > kBlockSize) {
            std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[kBlockSize]);
            blocks_.push_back(std::move(block));
            used_ = 0;
        }
        index_.push_back(static_cast<std::uint64_t>(blocks_.size() - 1) * kBlockSize + used_);
    } catch (const std::bad_alloc&) {
        return false;  // a new block may stay, empty: it takes the next frame
    }
    std::uint8_t* out = blocks_.back().get() + used_;
    std::memcpy(out, &time, 4);
    std::memcpy(out + 4, &length, 4);
    if (length > 0) std::memcpy(out + kFrameHeaderSize, data, length);
    used_ += need;
    return true;
}

std::size_t FrameStore::load_record_file(const char* path, const std::function<void()>& between_blocks)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return 0;
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(kReadSize + kFrameHeaderSize + kFrameDataSize);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    const std::size_t before = size();
    std::size_t filled = 0;  // bytes in the buffer not yet taken
    for (;;) {
        const std::size_t got = std::fread(buffer.data() + filled, 1, kReadSize, file.get());
        filled += got;
        std::size_t pos = 0;
        while (filled - pos >= kFrameHeaderSize) {
            std::uint32_t time, length;
            decode_record_header(&buffer[pos], time, length);
            if (length > kFrameDataSize) return size() - before;
            if (filled - pos - kFrameHeaderSize < length) break;  // the rest comes with the next block
            if (!append(time, &buffer[pos + kFrameHeaderSize], length)) return size() - before;
            pos += kFrameHeaderSize + length;
        }
        std::memmove(buffer.data(), buffer.data() + pos, filled - pos);
        filled -= pos;
        if (between_blocks) between_blocks();
        if (got == 0) return size() - before;  // what is left is a frame cut short
    }
}

const std::uint8_t* FrameStore::at(std::size_t i) const
{
    const std::uint64_t position = index_[i];
    return blocks_[static_cast<std::size_t>(position / kBlockSize)].get() + position % kBlockSize;
}

void FrameStore::copy_frame(std::size_t i, TrapFrame& out) const
{
    const std::uint8_t* frame = at(i);
    std::memcpy(&out.time, frame, 4);
    std::memcpy(&out.length, frame + 4, 4);
    std::memcpy(out.data, frame + kFrameHeaderSize, out.length);
}

std::uint32_t FrameStore::time(std::size_t i) const
{
    std::uint32_t t;
    std::memcpy(&t, at(i), 4);
    return t;
}

std::size_t FrameStore::bytes_held() const
{
    return blocks_.size() * kBlockSize + index_.capacity() * sizeof(std::uint64_t) +
           blocks_.capacity() * sizeof(blocks_[0]);
}

void FrameStore::clear()
{
    std::vector<std::uint64_t>().swap(index_);
    std::vector<std::unique_ptr<std::uint8_t[]>>().swap(blocks_);
    used_ = kBlockSize;
}
