#include "common/trap_frame.h"

#include <cstring>

#include "platform/append_file.h"

namespace {

// The value whose bytes in memory are `v` written big-endian.
std::uint32_t to_big_endian_bytes(std::uint32_t v)
{
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    std::uint32_t result;
    std::memcpy(&result, b, 4);
    return result;
}

// The value written big-endian in the memory bytes of `stored`.
std::uint32_t from_big_endian_bytes(std::uint32_t stored)
{
    std::uint8_t b[4];
    std::memcpy(b, &stored, 4);
    return static_cast<std::uint32_t>(b[0]) << 24 | static_cast<std::uint32_t>(b[1]) << 16 |
           static_cast<std::uint32_t>(b[2]) << 8 | b[3];
}

void put_le32(std::uint8_t* out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get_le32(const std::uint8_t* in)
{
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

} // namespace

void frame_to_network_order(TrapFrame& frame)
{
    frame.time = to_big_endian_bytes(frame.time);
    frame.length = to_big_endian_bytes(frame.length);
}

void frame_from_network_order(TrapFrame& frame)
{
    frame.time = from_big_endian_bytes(frame.time);
    frame.length = from_big_endian_bytes(frame.length);
}

void encode_record_header(const TrapFrame& frame, std::uint8_t out[kFrameHeaderSize])
{
    put_le32(out, frame.time);
    put_le32(out + 4, frame.length);
}

std::size_t encode_record_frame(const TrapFrame& frame, std::uint8_t out[kFrameHeaderSize + kFrameDataSize])
{
    if (frame.length > kFrameDataSize) return 0;
    encode_record_header(frame, out);
    std::memcpy(out + kFrameHeaderSize, frame.data, frame.length);
    return kFrameHeaderSize + frame.length;
}

void decode_record_header(const std::uint8_t in[kFrameHeaderSize], std::uint32_t& time, std::uint32_t& length)
{
    time = get_le32(in);
    length = get_le32(in + 4);
}

int append_frame_to_record_file(const char* path, const TrapFrame& frame)
{
    // One block, so the frame reaches the file in a single write.
    std::uint8_t block[kFrameHeaderSize + kFrameDataSize];
    const std::size_t size = encode_record_frame(frame, block);
    if (size == 0) return -1;
    return append_to_file(path, block, size) ? 0 : -1;
}

RecordFileReader::RecordFileReader(const char* path) : file_(std::fopen(path, "rb")) {}

RecordFileReader::~RecordFileReader()
{
    if (file_ != nullptr) std::fclose(file_);
}

bool RecordFileReader::next(TrapFrame& frame)
{
    if (file_ == nullptr) return false;
    std::uint8_t header[kFrameHeaderSize];
    const std::size_t got = std::fread(header, 1, sizeof header, file_);
    if (got < sizeof header) {
        damaged_ = got != 0;
        return false;
    }
    decode_record_header(header, frame.time, frame.length);
    if (frame.length > kFrameDataSize ||
        std::fread(frame.data, 1, frame.length, file_) != frame.length) {
        damaged_ = true;
        frame.length = 0;
        return false;
    }
    return true;
}
