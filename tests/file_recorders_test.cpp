#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "service/file_recorders.h"
#include "tests/support/trap_bytes.h"

namespace {

class Recorders : public ::testing::Test {
protected:
    FileSetting file{};
    std::filesystem::path path;

    void SetUp() override
    {
        path = std::filesystem::temp_directory_path() /
               (std::string("tarnow_rec_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove(path);
        file.enabled = 1;
        std::strcpy(file.path, path.string().c_str());
    }
    void TearDown() override { std::filesystem::remove(path); }

    std::string contents() const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

std::string repeat(const std::string& text, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

TrapRecord record_of(const Bytes& datagram)
{
    TrapRecord r;
    const TrapFrame frame = make_frame(datagram);
    EXPECT_EQ(decode_trap(r, frame), 0);
    std::strcpy(r.recv_time, "2005/06/07 17:09:10");
    return r;
}

const char kHeaderFields[] = "\"2005/06/07 17:09:10\",\"1\",\"public\",\"A4\",\"1.3.6.1.4.1.311\",\"10.0.0.1\"";

TEST_F(Recorders, CsvRows)
{
    Bytes ten;
    for (std::uint32_t i = 1; i <= 10; ++i) {
        const Bytes b = binding(oid({6, 1, 9, i}), integer(static_cast<std::int32_t>(i)));
        ten.insert(ten.end(), b.begin(), b.end());
    }
    std::string ten_fields;
    for (int i = 1; i <= 10; ++i)
        ten_fields += ",\"1.3.6.1.9." + std::to_string(i) + "\",\"" + std::to_string(i) + "\"";
    struct Case {
        const char* what;
        Bytes trap;
        std::string row;
    } cases[] = {
        {"no bindings", make_trap(0, 0, {}), std::string(kHeaderFields) + ",\"0\",\"0\",\"100\"\r\n"},
        {"example", example_trap(), std::string(kHeaderFields) + ",\"6\",\"1\",\"100\",\"1.3.6.1.2.1.1.5.0\",\"up\"\r\n"},
        {"specific trap unsigned", make_trap(6, -1, {}), std::string(kHeaderFields) + ",\"6\",\"4294967295\",\"100\"\r\n"},
        {"ten bindings", make_trap(2, 0, ten), std::string(kHeaderFields) + ",\"2\",\"0\",\"100\"" + ten_fields + "\r\n"},
        {"quotes doubled, NULL value empty",
         make_trap(6, 9, cat({binding(oid({6, 1, 9}), tlv(0x04, octets("say \"hi\", ok"))),
                              binding(oid({6, 1, 8}), tlv(0x05, {}))})),
         std::string(kHeaderFields) + ",\"6\",\"9\",\"100\",\"1.3.6.1.9\",\"say \"\"hi\"\", ok\",\"1.3.6.1.8\",\"\"\r\n"},
    };
    std::string all;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(write_csv_file(file, record_of(c.trap)), 0);
        all += c.row;
        EXPECT_EQ(contents(), all);
    }
}

TEST_F(Recorders, LogEntries)
{
    const TrapRecord trap = record_of(example_trap());
    ASSERT_EQ(write_log_file(file, trap), 0);
    const std::string report = contents();
    EXPECT_EQ(report.substr(report.size() - 6), "up\r\n\r\n");
    std::size_t lf = 0, crlf = 0;
    for (std::size_t i = 0; i < report.size(); ++i) {
        lf += report[i] == '\n';
        crlf += report.compare(i, 2, "\r\n") == 0;
    }
    EXPECT_EQ(lf, 14u);  // nine header lines, four binding lines, the empty line
    EXPECT_EQ(crlf, 14u);

    TrapFrame garbage = make_frame(octets("garbage"));
    ASSERT_EQ(write_error_log(file, garbage), 0);
    ASSERT_EQ(write_log_line(file, "POP3\x94\x46\x8F\xD8\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42"), 0);
    const std::string rest = contents().substr(report.size());
    const std::string error_heading =
        "SNMP\x83g\x83\x89\x83" "b\x83v\x83p\x83" "P\x83" "b\x83g\x82\xCC\x89\xF0\x90\xCD\x82\xC5\x83G\x83\x89\x81[\x82\xAA"
        "\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\r\n";
    const std::string dump = "00000000 : 67 61 72 62 61 67 65 " + std::string(29, ' ') + "*garbage         *\r\n\r\n";
    ASSERT_EQ(rest.substr(0, error_heading.size() + dump.size()), error_heading + dump);
    const std::string line = rest.substr(error_heading.size() + dump.size());
    // "[YYYY/MM/DD hh:mm:ss] text\r\n"
    ASSERT_EQ(line.size(), 1 + 19 + 2 + 24 + 2);
    EXPECT_EQ(line[0], '[');
    EXPECT_EQ(line[5], '/');
    EXPECT_EQ(line.substr(20, 2), "] ");
    EXPECT_EQ(line.substr(22), "POP3\x94\x46\x8F\xD8\x82\xC9\x8E\xB8\x94\x73\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\r\n");
}

// What a file opened in text mode on Windows gets: every LF becomes CR LF.
TEST_F(Recorders, LineFeedsInsideTextsBecomeCrLf)
{
    struct Case {
        const char* what;
        std::string text;
        std::string in_file;
    } cases[] = {
        {"one LF", "a\nb", "a\r\nb"},
        {"CR LF gets a second CR", "a\r\nb", "a\r\r\nb"},
        {"LF at both ends, twice", "\n\nx\n", "\r\n\r\nx\r\n"},
        {"a lone CR stays", "a\rb", "a\rb"},
        {"two hundred line ends", "x" + std::string(200, '\n'), "x" + repeat("\r\n", 200)},
    };
    const TrapRecord trap = record_of(example_trap());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrapRecord with_text = trap;
        std::strcpy(with_text.community, c.text.c_str());
        std::strcpy(with_text.varbinds[0].value, c.text.c_str());

        std::filesystem::remove(path);
        ASSERT_EQ(write_csv_file(file, with_text), 0);
        EXPECT_EQ(contents(), "\"2005/06/07 17:09:10\",\"1\",\"" + c.in_file +
                                  "\",\"A4\",\"1.3.6.1.4.1.311\",\"10.0.0.1\",\"6\",\"1\",\"100\","
                                  "\"1.3.6.1.2.1.1.5.0\",\"" + c.in_file + "\"\r\n");

        std::filesystem::remove(path);
        ASSERT_EQ(write_log_line(file, c.text.c_str()), 0);
        const std::string line = contents();
        ASSERT_GT(line.size(), 22u);
        EXPECT_EQ(line.substr(22), c.in_file + "\r\n");
    }
}

// The JSON line: texts from CP932 to UTF-8, escaped; what the record holds cut is marked.
TEST_F(Recorders, JsonLines)
{
    const Bytes name = oid({6, 1, 9});
    Bytes twelve;
    for (std::uint32_t i = 1; i <= 12; ++i) twelve = cat({twelve, binding(oid({6, 1, 9, i}), integer(1))});
    std::string a_cut;
    for (int i = 0; i < 127; ++i) a_cut += "\xE3\x81\x82";  // あ: 127 two-octet characters fit 255 octets
    struct Case {
        const char* what;
        Bytes bindings;
        const char* community;  // in place of "public" when given
        std::string expected;   // a part of the line
    } cases[] = {
        {"layout", binding(name, integer(-5)), nullptr,
         "{\"time\":\"2005-06-07T08:09:10Z\",\"sender\":\"192.0.2.7\",\"agent\":\"10.0.0.1\",\"version\":1,"
         "\"community\":\"public\",\"enterprise\":\"1.3.6.1.4.1.311\",\"generic\":6,\"specific\":1,\"uptime\":100,"
         "\"bindings\":[{\"oid\":\"1.3.6.1.9\",\"type\":\"INTEGER\",\"value\":-5}]}\n"},
        {"quotes and backslash", binding(name, tlv(0x04, octets("say \"hi\" \\ ok"))), nullptr,
         "\"value\":\"say \\\"hi\\\" \\\\ ok\"}"},
        {"TAB, CR and LF in a text", binding(name, tlv(0x04, octets("a\tb\r\nc"))), nullptr, "\"value\":\"a\\tb\\r\\nc\"}"},
        {"control octets of a community", {}, "c\x01\x1F\x7F", "\"community\":\"c\\u0001\\u001F\x7F\""},
        {"CP932 text, katakana, 5C trail", binding(name, tlv(0x04, octets("\x83\x65\x83X\x83g\xB1\x83\x5C"))), nullptr,
         "\"value\":\"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88\xEF\xBD\xB1\xE3\x82\xBD\"}"},
        {"a lead octet cut from its trail", {}, "x\x82", "\"community\":\"x\xEF\xBF\xBD\""},
        {"a cut text", binding(name, tlv(0x04, octets(repeat("\x82\xA0", 200)))), nullptr,
         "\"value\":\"" + a_cut + "\",\"cut\":true}"},
        {"a number shown in hex", binding(name, tlv(0x02, from_hex("0100000000"))), nullptr,
         "\"value\":\"01 00 00 00 00\"}"},
        {"omitted bindings", twelve, nullptr, "\"value\":1}],\"omitted\":2}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrapRecord trap = record_of(make_trap(6, 1, c.bindings));
        if (c.community != nullptr) std::strcpy(trap.community, c.community);
        std::filesystem::remove(path);
        ASSERT_EQ(write_json_file(file, trap, make_frame({}, 1118131750u), "192.0.2.7"), 0);
        EXPECT_NE(contents().find(c.expected), std::string::npos) << contents();
    }
}

TEST_F(Recorders, SwitchedOffOrUnopenableFiles)
{
    const TrapRecord trap = record_of(example_trap());
    const TrapFrame frame = make_frame(example_trap());
    file.enabled = 2;  // only exactly 1 is on
    EXPECT_EQ(write_bin_file(file, frame), 0);
    EXPECT_EQ(write_csv_file(file, trap), 0);
    EXPECT_EQ(write_log_file(file, trap), 0);
    EXPECT_EQ(write_error_log(file, frame), 0);
    EXPECT_EQ(write_log_line(file, "x"), 0);
    EXPECT_FALSE(std::filesystem::exists(path));

    const std::string folder_missing = (path / "no-folder" / "file").string();
    const char* paths[] = {"", folder_missing.c_str()};
    file.enabled = 1;
    for (const char* p : paths) {
        SCOPED_TRACE(p);
        std::strcpy(file.path, p);
        EXPECT_EQ(write_bin_file(file, frame), -1);
        EXPECT_EQ(write_csv_file(file, trap), -1);
        EXPECT_EQ(write_log_file(file, trap), -1);
        EXPECT_EQ(write_error_log(file, frame), -1);
        EXPECT_EQ(write_log_line(file, "x"), -1);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(Recorders, WorkerLinesNeverLandInsideAReport)
{
    const TrapRecord trap = record_of(example_trap());
    std::thread worker([this] {
        for (int i = 0; i < 300; ++i) write_log_line(file, "worker line");
    });
    for (int i = 0; i < 300; ++i) write_log_file(file, trap);
    worker.join();

    std::string one_report;
    {
        FileSetting other = file;
        std::strcat(other.path, ".one");
        std::filesystem::remove(other.path);
        write_log_file(other, trap);
        {
            std::ifstream in(other.path, std::ios::binary);
            std::stringstream s;
            s << in.rdbuf();
            one_report = s.str();
        }
        std::filesystem::remove(other.path);
    }
    std::string text = contents();
    int reports = 0;
    for (std::size_t at = text.find(one_report); at != std::string::npos; at = text.find(one_report)) {
        text.erase(at, one_report.size());
        ++reports;
    }
    EXPECT_EQ(reports, 300);
    // What is left is exactly the worker's 300 lines.
    EXPECT_EQ(text.size(), 300u * std::string("[2005/06/07 17:09:10] worker line\r\n").size());
}

// Held by a batch, the entries reach each file exactly as the operations
// write them one by one, in order, also past the room the batch holds, with
// the path changing and with several kinds set to one path; a worker
// thread's line is never held.
TEST_F(Recorders, ABatchWritesWhatTheOperationsWouldWrite)
{
    TrapRecord trap = record_of(example_trap());
    for (TrapVarBind& v : trap.varbinds) {  // ten bindings of 255 characters: a report of about 3 kB
        std::snprintf(v.name, sizeof v.name, "1.3.6.1.9");
        std::memset(v.value, 'v', sizeof v.value - 1);
    }
    const TrapFrame frame = make_frame(example_trap());
    const TrapFrame garbage = make_frame(octets("garbage"));
    FileSetting other = file;
    std::strcat(other.path, ".other");
    struct Case {
        const char* what;
        std::function<void(const FileSetting& a, const FileSetting& b)> write;
    } cases[] = {
        {"every kind of entry", [&](const FileSetting& a, const FileSetting&) {
             write_bin_file(a, frame);
             write_csv_file(a, trap);
             write_log_file(a, trap);
             write_error_log(a, garbage);
         }},
        {"more than the batch holds", [&](const FileSetting& a, const FileSetting&) {
             for (int i = 0; i < 300; ++i) {
                 std::snprintf(trap.community, sizeof trap.community, "%d", i);
                 write_log_file(a, trap);
             }
         }},
        {"two paths in turn", [&](const FileSetting& a, const FileSetting& b) {
             for (int i = 0; i < 3; ++i) {
                 std::snprintf(trap.community, sizeof trap.community, "%d", i);
                 write_csv_file(a, trap);
                 write_csv_file(b, trap);
                 write_error_log(b, garbage);
             }
         }},
    };
    auto read = [](const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    FileSetting worker = file;
    std::strcat(worker.path, ".worker");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* p : {file.path, other.path, worker.path}) std::filesystem::remove(p);
        c.write(file, other);
        const std::string one_by_one[2] = {read(file.path), read(other.path)};
        std::filesystem::remove(path);
        std::filesystem::remove(other.path);
        {
            FileBatch batch;
            c.write(file, other);
            EXPECT_LT(read(file.path).size() + read(other.path).size(), one_by_one[0].size() + one_by_one[1].size())
                << "entries held";
            std::thread([&] { write_log_line(worker, "worker"); }).join();
            EXPECT_TRUE(std::filesystem::exists(worker.path)) << "a worker's line is not held";
            write_held_file_entries();
            EXPECT_EQ(read(file.path), one_by_one[0]);
            EXPECT_EQ(read(other.path), one_by_one[1]);
            c.write(file, other);  // held again, written when the batch ends
        }
        EXPECT_EQ(read(file.path), one_by_one[0] + one_by_one[0]);
        EXPECT_EQ(read(other.path), one_by_one[1] + one_by_one[1]);
    }
    for (const char* p : {other.path, worker.path}) std::filesystem::remove(p);
}

} // namespace
