// A stand-in browser for tests: writes its command line after the program name,
// in UTF-8, to the file named by OPEN_RECORDER_LOG, then exits.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int wmain(int, wchar_t**)
{
    const char* path = std::getenv("OPEN_RECORDER_LOG");
    if (path == nullptr) return 1;
    char line[4096];
    const int n = WideCharToMultiByte(CP_UTF8, 0, GetCommandLineW(), -1, line, sizeof line, nullptr, nullptr);
    if (n <= 0) return 1;
    std::FILE* log = std::fopen(path, "wb");
    if (log == nullptr) return 1;
    std::fputs(line, log);
    std::fclose(log);
    return 0;
}
