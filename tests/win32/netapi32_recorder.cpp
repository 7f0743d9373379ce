// A stand-in NETAPI32.DLL for tests: NetMessageBufferSend appends one line per
// call to the file named by TARNOW_POPUP_LOG, in UTF-8:
// "<msgname>\t<buf as text>\t<buflen>\t<servername or ->\t<fromname or ->\n".
// It returns the number in TARNOW_POPUP_RESULT (0, success, when unset).
// Built without the function (NO_SEND), it is a library that lacks it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifndef NO_SEND
namespace {

std::string utf8(const wchar_t* text, int length)
{
    if (text == nullptr) return "-";
    char out[1024];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, out, sizeof out, nullptr, nullptr);
    return std::string(out, n > 0 ? static_cast<std::size_t>(n) : 0);
}

} // namespace

extern "C" __declspec(dllexport) DWORD WINAPI NetMessageBufferSend(LPCWSTR servername, LPCWSTR msgname,
                                                                  LPCWSTR fromname, LPBYTE buf, DWORD buflen)
{
    const char* path = std::getenv("TARNOW_POPUP_LOG");
    if (path == nullptr) return 0;
    std::FILE* log = std::fopen(path, "ab");
    if (log == nullptr) return 0;
    const std::string line = utf8(msgname, -1).c_str() + std::string("\t") +
                             utf8(reinterpret_cast<const wchar_t*>(buf), static_cast<int>(buflen / 2)) + "\t" +
                             std::to_string(buflen) + "\t" + utf8(servername, -1).c_str() + "\t" +
                             utf8(fromname, -1).c_str() + "\n";
    std::fwrite(line.data(), 1, line.size(), log);
    std::fclose(log);
    const char* result = std::getenv("TARNOW_POPUP_RESULT");
    return result != nullptr ? static_cast<DWORD>(std::strtoul(result, nullptr, 10)) : 0;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
