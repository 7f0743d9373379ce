#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/trap_frame.h"
#include "tests/support/trap_bytes.h"

namespace {

const std::uint32_t kTime = 1118131750u;  // 2005-06-07 08:09:10 UTC

class RecordFile : public ::testing::Test {
protected:
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 (std::string("tarnow_frame_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".orv");
    void SetUp() override { std::filesystem::remove(path); }
    void TearDown() override { std::filesystem::remove(path); }

    Bytes contents() const
    {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    void write(const Bytes& bytes) const
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint32_t> read_lengths(bool* damaged = nullptr) const
    {
        RecordFileReader reader(path.string().c_str());
        std::vector<std::uint32_t> lengths;
        TrapFrame frame;
        while (reader.next(frame)) lengths.push_back(frame.length);
        if (damaged) *damaged = reader.damaged();
        return lengths;
    }
};

TrapFrame frame_of(std::size_t length, std::uint32_t time = kTime)
{
    Bytes data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i);
    return make_frame(data, time);
}

TEST(TrapFrame, ForwardOrderIsBigEndianAndReversible)
{
    TrapFrame frame = frame_of(60);
    frame_to_network_order(frame);
    const std::uint8_t expected[] = {0x42, 0xA5, 0x56, 0x26, 0x00, 0x00, 0x00, 0x3C};
    EXPECT_EQ(std::memcmp(&frame, expected, 8), 0);
    frame_from_network_order(frame);
    EXPECT_EQ(frame.time, kTime);
    EXPECT_EQ(frame.length, 60u);
}

TEST_F(RecordFile, FramesAreRecordedLittleEndianBackToBack)
{
    ASSERT_EQ(append_frame_to_record_file(path.string().c_str(), frame_of(60)), 0);
    ASSERT_EQ(append_frame_to_record_file(path.string().c_str(), frame_of(100, kTime + 1)), 0);
    const Bytes file = contents();
    ASSERT_EQ(file.size(), 176u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{0x26, 0x56, 0xA5, 0x42, 0x3C, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(file.begin() + 68, file.begin() + 76), (Bytes{0x27, 0x56, 0xA5, 0x42, 0x64, 0x00, 0x00, 0x00}));
    EXPECT_EQ(file[8 + 59], 59);
    EXPECT_EQ(file[76 + 99], 99);

    RecordFileReader reader(path.string().c_str());
    TrapFrame frame;
    ASSERT_TRUE(reader.next(frame));
    EXPECT_EQ(frame.time, kTime);
    EXPECT_EQ(frame.length, 60u);
    ASSERT_TRUE(reader.next(frame));
    EXPECT_EQ(frame.time, kTime + 1);
    EXPECT_EQ(frame.data[99], 99);
    EXPECT_FALSE(reader.next(frame));
    EXPECT_FALSE(reader.damaged());
}

TEST_F(RecordFile, ReaderStopsAtADamagedFrame)
{
    ASSERT_EQ(append_frame_to_record_file(path.string().c_str(), frame_of(60)), 0);
    ASSERT_EQ(append_frame_to_record_file(path.string().c_str(), frame_of(100)), 0);
    const Bytes whole = contents();
    Bytes too_long = whole;
    too_long[68 + 4] = 0x01;  // second length 4097
    too_long[68 + 5] = 0x10;
    too_long.resize(68 + 8 + 4097 + 60, 0);
    struct Case {
        const char* what;
        Bytes bytes;
        std::size_t frames;
        bool damaged;
    } cases[] = {
        {"empty file", {}, 0, false},
        {"whole", whole, 2, false},
        {"cut inside second data", Bytes(whole.begin(), whole.end() - 1), 1, true},
        {"cut inside second header", Bytes(whole.begin(), whole.begin() + 72), 1, true},
        {"cut right after second header", Bytes(whole.begin(), whole.begin() + 76), 1, true},
        {"length above 4096", too_long, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.bytes);
        bool damaged = false;
        EXPECT_EQ(read_lengths(&damaged).size(), c.frames);
        EXPECT_EQ(damaged, c.damaged);
    }
}

TEST_F(RecordFile, MissingFileReadsAsEmptyAndUnwritableFails)
{
    EXPECT_TRUE(read_lengths().empty());
    const std::string in_missing_dir = (path.parent_path() / "no-such-dir" / "x.orv").string();
    EXPECT_EQ(append_frame_to_record_file(in_missing_dir.c_str(), frame_of(10)), -1);
    TrapFrame oversize = frame_of(10);
    oversize.length = kFrameDataSize + 1;
    EXPECT_EQ(append_frame_to_record_file(path.string().c_str(), oversize), -1);
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
