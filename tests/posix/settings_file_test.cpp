// The settings file that stands in for the registry on Linux.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/settings_store.h"
#include "tests/support/test_platform.h"

namespace {

std::string file_path() { return std::getenv("TARNOW_SETTINGS"); }

void put_file(const std::string& bytes) { std::ofstream(file_path(), std::ios::binary) << bytes; }

std::string file_bytes()
{
    std::ifstream in(file_path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string text(const char* name)
{
    char buffer[300];
    read_string_setting(name, buffer, sizeof buffer, "missing");
    return buffer;
}

// "C:\表\ソフト.log" in CP932: two of its trail bytes are 0x5C.
const std::string kJapanesePath = "C:\\\x95\x5C\\\x83\x5C\x83t\x83g.log";

const std::string kRegedit4 =
    "REGEDIT4\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n"
    "\"traplevel\"=dword:00000005\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]\r\n"
    "\"traplevel\"=dword:00000003\r\n"
    "\"logfile\"=\"C:\\\\\x95\x5C\\\\\x83\x5C\x83t\x83g.log\"\r\n"
    "\"mail_to\"=\"say \\\"hi\\\"\"\r\n"
    "\"program\"=hex(2):6e,6f,74,69,66,\\\r\n"
    "  79,00\r\n"
    "\"Sound_Freq\"=dword:00000370\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\Sub]\r\n"
    "\"binfile\"=\"not ours\"\r\n"
    "\r\n";

TEST(SettingsFile, ReadsARegedit4ExportInCp932WithCrLf)
{
    SettingsSandbox sandbox;
    put_file(kRegedit4);
    EXPECT_EQ(read_dword_setting("traplevel", 0), 3);
    EXPECT_EQ(read_dword_setting("sound_freq", 500), 0x370);  // names ignore case
    EXPECT_EQ(text("logfile"), kJapanesePath);
    EXPECT_EQ(text("mail_to"), "say \"hi\"");
    EXPECT_EQ(text("program"), "notify");
    EXPECT_EQ(text("binfile"), "missing");  // only in a subkey
}

// A "Version 5.00" export as regedit writes it: UTF-16LE after a BOM.
std::string utf16_file(const std::u16string& content)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : content) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

const std::u16string kVersion5Head =
    u"Windows Registry Editor Version 5.00\r\n\r\n"
    u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]\r\n";

TEST(SettingsFile, ReadsAVersion5ExportInUtf16)
{
    SettingsSandbox sandbox;
    put_file(utf16_file(kVersion5Head +
                        u"\"f_logfile\"=dword:00000001\r\n"
                        u"\"logfile\"=\"C:\\\\表\\\\ソフト.log\"\r\n"
                        u"\"pop_user\"=hex:6e,6f,63,00\r\n"));
    EXPECT_EQ(read_dword_setting("f_logfile", 0), 1);
    EXPECT_EQ(text("logfile"), kJapanesePath);
    EXPECT_EQ(text("pop_user"), "noc");

    ASSERT_EQ(write_string_setting("wavefile", "\x95\x5C.wav"), 1);
    const std::string after = file_bytes();
    EXPECT_EQ(after.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(text("wavefile"), "\x95\x5C.wav");
    EXPECT_EQ(text("logfile"), kJapanesePath);
}

TEST(SettingsFile, AWriteKeepsEveryOtherKeyAndValue)
{
    SettingsSandbox sandbox;
    put_file(kRegedit4);
    ASSERT_EQ(write_dword_setting("traplevel", 6), 1);
    ASSERT_EQ(write_string_setting("csvfile", "new.csv"), 1);
    std::string expected = kRegedit4;
    expected.replace(expected.find("dword:00000003"), 14, "dword:00000006");
    expected.insert(expected.find("\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\Sub]") + 2,
                    "\"csvfile\"=\"new.csv\"\r\n");
    // The continued hex value is written back on one line; everything else is as it was.
    expected.replace(expected.find("\\\r\n  79"), 7, "79");
    EXPECT_EQ(file_bytes(), expected);
}

TEST(SettingsFile, ANewFileIsARegedit4Export)
{
    SettingsSandbox sandbox;
    ASSERT_EQ(write_dword_setting("f_email", 1), 1);
    ASSERT_EQ(write_string_setting("mail_from", "a\\b\"c"), 1);
    EXPECT_EQ(file_bytes(),
              "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]\r\n"
              "\"f_email\"=dword:00000001\r\n\"mail_from\"=\"a\\\\b\\\"c\"\r\n\r\n");
    EXPECT_EQ(text("mail_from"), "a\\b\"c");
}

TEST(SettingsFile, TwoProcessesWritingAtOnceLoseNothing)
{
    SettingsSandbox sandbox;
    const int kValues = 60;
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            bool ok = true;
            for (int i = 0; i < kValues; ++i) {
                const std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
                ok = write_dword_setting(name.c_str(), c * 1000 + i) == 1 && ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kValues; ++i) {
            const std::string name = "p" + std::to_string(c) + "_" + std::to_string(i);
            EXPECT_EQ(read_dword_setting(name.c_str(), -1), c * 1000 + i) << name;
        }
}

// In a Version 5.00 export a text value's bytes are UTF-16LE, as the registry
// keeps REG_SZ and REG_EXPAND_SZ; readers get them in CP932.
TEST(SettingsFile, Version5HexTextsAreUtf16)
{
    struct Case {
        const char* what;
        std::u16string line;
        std::string text;
    } cases[] = {
        {"REG_SZ", u"hex(1):43,00,3a,00,5c,00,68,88,5c,00,bd,30,d5,30,c8,30,2e,00,6c,00,6f,00,67,00,00,00",
         kJapanesePath},
        {"REG_EXPAND_SZ, continued", u"hex(2):25,00,54,00,4d,00,\\\r\n  50,00,25,00,00,00", "%TMP%"},
        {"REG_BINARY stays raw", u"hex:6e,6f,63,00", "noc"},
        {"without its NUL the last character is lost", u"hex(1):41,00,42,00", "A"},
        {"odd length", u"hex(1):41,00,42", "missing"},
        {"no CP932 form", u"hex(1):e9,00,00,00", "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsSandbox sandbox;
        put_file(utf16_file(kVersion5Head + u"\"v\"=" + c.line + u"\r\n"));
        EXPECT_EQ(text("v"), c.text);
    }
}

// A text that a quoted line cannot hold goes as hex(1): CP932 bytes in a
// REGEDIT4 file, UTF-16LE in a Version 5.00 file, and raw bytes (hex:) when
// it has no UTF-16 form.
TEST(SettingsFile, TextsALineCannotHoldGoAsHexValues)
{
    struct Case {
        const char* what;
        bool version5;
        std::string text;
        std::u16string line;
    } cases[] = {
        {"REGEDIT4", false, "a\r\nb", u"\"v\"=hex(1):61,0d,0a,62,00\r\n"},
        {"Version 5.00", true, "a\r\n\x95\x5C", u"\"v\"=hex(1):61,00,0d,00,0a,00,68,88,00,00\r\n"},
        {"Version 5.00, no UTF-16 form", true, "\x85\x40\n", u"\"v\"=hex:85,40,0a,00\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsSandbox sandbox;
        if (c.version5) put_file(utf16_file(kVersion5Head));
        ASSERT_EQ(write_string_setting("v", c.text.c_str()), 1);
        EXPECT_EQ(text("v"), c.text);
        const std::string line = c.version5 ? utf16_file(c.line).substr(2) : std::string(c.line.begin(), c.line.end());
        EXPECT_NE(file_bytes().find(line), std::string::npos);
    }
}

// A REGEDIT4 file an administrator wrote in a UTF-8 editor reads as the CP932
// one does, and a write keeps it UTF-8; bytes that are no UTF-8 mean CP932.
// Every write leaves the file readable by its owner alone, or as it was.
TEST(SettingsFile, Utf8FilesAndPermissions)
{
    struct Case {
        const char* what;
        std::string mark, logfile, read;  // the file's first bytes, the logfile value's bytes in it, as read
        mode_t mode_before;         // 0: no file before the write
        bool utf8;
    } cases[] = {
        {"UTF-8", "", "C:\\\\\xE8\xA1\xA8\\\\\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.log", kJapanesePath, 0644, true},
        {"UTF-8 with its mark", "\xEF\xBB\xBF", "C:\\\\\xE8\xA1\xA8\\\\\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88.log", kJapanesePath, 0640, true},
        {"CP932", "", "C:\\\\\x95\x5C\\\\\x83\x5C\x83t\x83g.log", kJapanesePath, 0600, false},
        {"CP932 after a mark", "\xEF\xBB\xBF", "C:\\\\\x95\x5C\\\\\x83\x5C\x83t\x83g.log", kJapanesePath, 0600, false},
        {"CP932 that is UTF-8 too (\"\xC3\xBD\" is U+00FD)", "", "\xC3\xBD.log", "\xC3\xBD.log", 0600, false},
        {"no file", "", "", "", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsSandbox sandbox;
        if (c.mode_before != 0) {
            put_file(c.mark + "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]\n\"logfile\"=\"" + c.logfile +
                     "\"\n");
            chmod(file_path().c_str(), c.mode_before);
            EXPECT_EQ(text("logfile"), c.read);
        }
        ASSERT_EQ(write_string_setting("wavefile", "\x83\x5C.wav"), 1);  // "ソ.wav"
        EXPECT_EQ(text("wavefile"), "\x83\x5C.wav");
        const std::string bytes = file_bytes();
        EXPECT_EQ(bytes.find(c.utf8 ? "\"wavefile\"=\"\xE3\x82\xBD.wav\"" : "\"wavefile\"=\"\x83\x5C.wav\""), bytes.find("\"wavefile"));
        EXPECT_EQ(bytes.compare(0, 3, "\xEF\xBB\xBF") == 0, c.utf8 && !c.mark.empty());
        struct stat after {};
        ASSERT_EQ(stat(file_path().c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & 0777, c.mode_before != 0 ? c.mode_before : 0600);
    }
}

// A subkey is a section of its own, named in the file's encoding; a delete
// removes its section and those below it, and leaves every other line.
TEST(SettingsFile, SubkeysAreSectionsBelowTheKey)
{
    const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\";
    for (const std::string hyo : {"\x95\x5C", "\xE8\xA1\xA8"}) {  // "表" in CP932, in UTF-8
        SCOPED_TRACE(hyo);
        SettingsSandbox sandbox;
        const std::string bob = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\Users\\bob]\r\n\"auth\"=dword:00000001\r\n\r\n";
        const std::string rest = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow\\UsersX\\carol]\r\n\r\n";
        put_file(head + "users\\" + hyo + "\\deep]\r\n\"x\"=dword:00000002\r\n\r\n" + bob + rest);
        char names[4][256];
        ASSERT_EQ(list_setting_subkeys("Users", names, 4), 2);
        EXPECT_EQ(names[0] + std::string("/") + names[1], "\x95\x5C/bob");
        EXPECT_EQ(read_dword_setting_in("Users\\\x95\x5C\\Deep", "x", 0), 2);
        for (const char* bad : {"Users\\", "\\Users", "Users\\\\bob", "Users\\a\r\nb"})
            EXPECT_EQ(write_dword_setting_in(bad, "x", 1), 0) << bad;
        ASSERT_EQ(delete_setting_subkey("Users\\\x95\x5C"), 1);
        EXPECT_EQ(file_bytes(), "REGEDIT4\r\n\r\n" + bob + rest);
    }
}

TEST(SettingsFile, MissingOrForeignFileIsAMissingKey)
{
    SettingsSandbox sandbox;
    EXPECT_EQ(read_dword_setting("smtpport", 25), 25);
    put_file("not a registry file\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kandrel\\Tarnow]\n\"smtpport\"=dword:00000001\n");
    EXPECT_EQ(read_dword_setting("smtpport", 25), 25);
    setenv("TARNOW_SETTINGS", "/proc/no/such/dir/settings.reg", 1);
    EXPECT_EQ(write_dword_setting("smtpport", 1), 0);
}

} // namespace
