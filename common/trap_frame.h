// Trap frame: one received datagram with its receive time and length in front.
//
// In memory `time` and `length` are in host byte order and `data` follows them
// directly, so the first 8 + length bytes of a TrapFrame are the frame itself.
// On the wire (forward datagram to the manager) the two words are big-endian;
// in a record file they are little-endian. A record file is frames back to
// back, with no header and no padding.
//
// The caller owns every frame; nothing here allocates or keeps state, except
// RecordFileReader, which owns its open file until it is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t kFrameHeaderSize = 8;
constexpr std::size_t kFrameDataSize = 4096;   // the receiver's buffer: largest datagram kept
constexpr unsigned short kManagerPort = 18882; // where frames are forwarded

struct TrapFrame {
    std::uint32_t time;    // seconds since 1970-01-01 00:00:00 UTC
    std::uint32_t length;  // datagram bytes in data
    std::uint8_t data[kFrameDataSize];
};
static_assert(offsetof(TrapFrame, data) == kFrameHeaderSize, "frame header is two words");

// Puts the two words of a host-order frame into network order in place, and back.
void frame_to_network_order(TrapFrame& frame);
void frame_from_network_order(TrapFrame& frame);

// Writes the 8-byte header of `frame` as stored in a record file (little-endian).
void encode_record_header(const TrapFrame& frame, std::uint8_t out[kFrameHeaderSize]);
// Reads the time and length of a record file's 8-byte header.
void decode_record_header(const std::uint8_t in[kFrameHeaderSize], std::uint32_t& time, std::uint32_t& length);

// The frame as a record file holds it (header little-endian, then `length`
// bytes) in `out`; returns its size, or 0 when `length` exceeds the data buffer.
std::size_t encode_record_frame(const TrapFrame& frame, std::uint8_t out[kFrameHeaderSize + kFrameDataSize]);

// Appends the frame (header little-endian, then `length` bytes) to the record
// file at `path` in one write, creating the file. Returns 0, or -1 when the
// file cannot be opened or written, or `length` exceeds the data buffer.
int append_frame_to_record_file(const char* path, const TrapFrame& frame);

// Reads a record file frame by frame. next() returns false at the end of the
// file, and also at a frame that is cut short by the end of the file or whose
// length exceeds kFrameDataSize: reading stops there, and nothing of that
// frame is handed out. A file that cannot be opened reads as empty.
class RecordFileReader {
public:
    explicit RecordFileReader(const char* path);
    ~RecordFileReader();
    RecordFileReader(const RecordFileReader&) = delete;
    RecordFileReader& operator=(const RecordFileReader&) = delete;

    bool next(TrapFrame& frame);
    // True when reading stopped at a damaged or cut frame, not at a clean end.
    bool damaged() const { return damaged_; }

private:
    std::FILE* file_;
    bool damaged_ = false;
};
