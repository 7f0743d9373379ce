// A stand-in WTSAPI32.DLL for tests. Every host has three sessions: 1 and 3
// active, 2 disconnected. WTSSendMessageW appends one line per call to the
// file named by TARNOW_WTS_LOG, in UTF-8:
// "<host>\t<session>\t<title>\t<message>\t<title bytes>\t<message bytes>\t<wait>\n".
#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string utf8(const wchar_t* text, int length)
{
    char out[1024];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, out, sizeof out, nullptr, nullptr);
    return std::string(out, n > 0 ? static_cast<std::size_t>(n) : 0);
}

struct Server {
    std::wstring host;
};

} // namespace

extern "C" __declspec(dllexport) HANDLE WINAPI WTSOpenServerW(LPWSTR name) { return new Server{name}; }

extern "C" __declspec(dllexport) void WINAPI WTSCloseServer(HANDLE server) { delete static_cast<Server*>(server); }

extern "C" __declspec(dllexport) BOOL WINAPI WTSEnumerateSessionsW(HANDLE, DWORD, DWORD version,
                                                                  PWTS_SESSION_INFOW* list, DWORD* count)
{
    if (version != 1) return FALSE;
    static wchar_t console[] = L"Console", rdp[] = L"RDP-Tcp#0", idle[] = L"";
    auto* sessions = static_cast<PWTS_SESSION_INFOW>(LocalAlloc(LPTR, 3 * sizeof(WTS_SESSION_INFOW)));
    sessions[0] = {1, console, WTSActive};
    sessions[1] = {2, idle, WTSDisconnected};
    sessions[2] = {3, rdp, WTSActive};
    *list = sessions;
    *count = 3;
    return TRUE;
}

extern "C" __declspec(dllexport) void WINAPI WTSFreeMemory(PVOID memory) { LocalFree(memory); }

extern "C" __declspec(dllexport) BOOL WINAPI WTSSendMessageW(HANDLE server, DWORD session, LPWSTR title,
                                                            DWORD title_bytes, LPWSTR message, DWORD message_bytes,
                                                            DWORD, DWORD, DWORD* response, BOOL wait)
{
    const char* path = std::getenv("TARNOW_WTS_LOG");
    if (path == nullptr) return FALSE;
    std::FILE* log = std::fopen(path, "ab");
    if (log == nullptr) return FALSE;
    const std::wstring& host = static_cast<Server*>(server)->host;
    const std::string line = utf8(host.c_str(), static_cast<int>(host.size())) + "\t" + std::to_string(session) +
                             "\t" + utf8(title, static_cast<int>(title_bytes / 2)) + "\t" +
                             utf8(message, static_cast<int>(message_bytes / 2)) + "\t" +
                             std::to_string(title_bytes) + "\t" + std::to_string(message_bytes) + "\t" +
                             (wait ? "wait" : "nowait") + "\n";
    std::fwrite(line.data(), 1, line.size(), log);
    std::fclose(log);
    *response = IDASYNC;
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
