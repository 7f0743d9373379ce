// The frames of the traps a manager lists, kept compact: each frame's time,
// length and datagram bytes back to back in blocks of 1 MiB, and the position
// of each frame in an index. A frame costs its own bytes plus 16 of header and
// index (twice that while the index grows); a block leaves at most one
// frame's size unused. Nothing is decoded here: the caller decodes a frame
// when it needs its texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/trap_frame.h"

class FrameStore {
public:
    static constexpr std::size_t kBlockSize = 1u << 20;

    // Keeps a copy of the frame. False, keeping nothing, when `length` exceeds
    // kFrameDataSize or memory cannot be had.
    bool append(std::uint32_t time, const std::uint8_t* data, std::uint32_t length);

    // Adds every whole frame of a record file, reading it in large blocks.
    // Stops at a frame cut short by the end of the file or longer than
    // kFrameDataSize (nothing of it is added), and when memory runs out. A file
    // that cannot be opened adds nothing. `between_blocks` runs after each
    // block read. Returns the number of frames added.
    std::size_t load_record_file(const char* path, const std::function<void()>& between_blocks = {});

    std::size_t size() const { return index_.size(); }
    // Copies frame `i` (i < size()) into `out`, time and length in host order.
    void copy_frame(std::size_t i, TrapFrame& out) const;
    std::uint32_t time(std::size_t i) const;
    // The bytes held for frames and index, unused capacity included.
    std::size_t bytes_held() const;
    void clear();

private:
    const std::uint8_t* at(std::size_t i) const;

    std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
    std::size_t used_ = kBlockSize;  // bytes taken in the last block; full when there is none
    std::vector<std::uint64_t> index_;  // block number * kBlockSize + offset in the block
};
