// The event-log messages compiled into tarnow.exe, read back the way the
// event viewer reads them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

TEST(MessageTable, FourMessagesInCp932)
{
    const char* exe = std::getenv("TARNOW_EXE");
    ASSERT_NE(exe, nullptr);
    HMODULE module = LoadLibraryExA((std::string("Z:") + exe).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const char* expected[] = {
        "Orvel SNMP Trap Receiver \x82\xAA\x83" "C\x83\x93\x83X\x83g\x81[\x83\x8B\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD\x81" "B\r\n",
        "Orvel SNMP Trap Receiver \x82\xAA\x83" "A\x83\x93\x83" "C\x83\x93\x83X\x83g\x81[\x83\x8B\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD\x81" "B\r\n",
        "Orvel SNMP Trap Receiver \x83T\x81[\x83r\x83X\x82\xAA\x8AJ\x8En\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81" "B\r\n",
        "Orvel SNMP Trap Receiver \x83T\x81[\x83r\x83X\x82\xAA\x8F" "I\x97\xB9\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81" "B\r\n",
    };
    for (DWORD id = 1; id <= 4; ++id) {
        SCOPED_TRACE(id);
        char text[512] = "";
        const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, id,
                                       MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT), text, sizeof text, nullptr);
        EXPECT_EQ(std::string(text, n), expected[id - 1]);
    }
    FreeLibrary(module);
}

} // namespace
