#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/frame_store.h"
#include "tests/support/trap_bytes.h"

namespace {

struct Frame {
    std::uint32_t time;
    Bytes data;
};

// Frames of every size from 0 to 4096 bytes in turn, so blocks and reads end mid-frame.
std::vector<Frame> varied_frames(std::size_t count)
{
    std::vector<Frame> frames;
    for (std::size_t i = 0; i < count; ++i) {
        Bytes data((i * 331) % (kFrameDataSize + 1));
        for (std::size_t b = 0; b < data.size(); ++b) data[b] = static_cast<std::uint8_t>(i + b);
        frames.push_back({static_cast<std::uint32_t>(1000 + i), data});
    }
    return frames;
}

Bytes record_bytes(const std::vector<Frame>& frames)
{
    Bytes out;
    for (const Frame& f : frames) {
        const std::uint32_t words[2] = {f.time, static_cast<std::uint32_t>(f.data.size())};
        for (std::uint32_t w : words)
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
        out.insert(out.end(), f.data.begin(), f.data.end());
    }
    return out;
}

void expect_frames(const FrameStore& store, const std::vector<Frame>& frames)
{
    ASSERT_EQ(store.size(), frames.size());
    static TrapFrame got;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        store.copy_frame(i, got);
        ASSERT_EQ(got.time, frames[i].time) << i;
        ASSERT_EQ(store.time(i), frames[i].time) << i;
        ASSERT_EQ(Bytes(got.data, got.data + got.length), frames[i].data) << i;
    }
}

TEST(FrameStore, LoadsWholeFramesAndStopsAtADamagedOne)
{
    const std::vector<Frame> frames = varied_frames(1200);  // about 2.5 MB: three read blocks
    const Bytes whole = record_bytes(frames);
    Bytes oversized = record_bytes({{7, Bytes(8, 1)}});
    oversized[4] = 0x01, oversized[5] = 0x10;  // length 4097
    Bytes cut = cat({whole, record_bytes({{9, Bytes(100, 2)}})});
    cut.pop_back();
    const struct {
        const char* name;
        Bytes file;
        std::size_t expected;
    } cases[] = {
        {"empty", {}, 0},
        {"whole", whole, frames.size()},
        {"header cut short", cat({whole, Bytes(5, 0)}), frames.size()},
        {"data cut short", cut, frames.size()},
        {"length above 4096", cat({whole, oversized, record_bytes({{9, Bytes(3, 2)}})}), frames.size()},
    };
    const auto path = std::filesystem::temp_directory_path() / "tarnow_frame_store.orv";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Frame> expected(frames.begin(), frames.begin() + static_cast<long>(c.expected));
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(c.file.data()), static_cast<std::streamsize>(c.file.size()));
        FrameStore store;
        store.append(1, Bytes{0x30}.data(), 1);  // loading appends after what is there
        int blocks = 0;
        EXPECT_EQ(store.load_record_file(path.string().c_str(), [&] { ++blocks; }), c.expected);
        expected.insert(expected.begin(), Frame{1, Bytes{0x30}});
        expect_frames(store, expected);
        EXPECT_GE(blocks, c.file.size() / (1u << 20));
    }
    std::filesystem::remove(path);
    FrameStore missing;
    EXPECT_EQ(missing.load_record_file(path.string().c_str()), 0u);
}

TEST(FrameStore, AppendsKeepEveryFrameInLittleMoreThanItsSize)
{
    FrameStore store;
    std::vector<Frame> frames = varied_frames(600);
    for (const Frame& f : frames) ASSERT_TRUE(store.append(f.time, f.data.data(), static_cast<std::uint32_t>(f.data.size())));
    EXPECT_FALSE(store.append(5, Bytes(kFrameDataSize + 1).data(), kFrameDataSize + 1));
    expect_frames(store, frames);

    store.clear();
    const Bytes trap = example_trap();  // a year of small traps
    const std::size_t count = 200000;
    for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(store.append(static_cast<std::uint32_t>(i), trap.data(), 57));
    EXPECT_EQ(store.size(), count);
    EXPECT_LE(store.bytes_held(), 2 * count * (kFrameHeaderSize + trap.size()));
    EXPECT_EQ(store.time(count - 1), count - 1);
}

} // namespace
