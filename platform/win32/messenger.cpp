#include "platform/messenger.h"

#include <windows.h>
#include <wtsapi32.h>

#include <cwchar>

#include "platform/event_log.h"

namespace {

using NetMessageBufferSendFn = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, LPBYTE, DWORD);
using WTSOpenServerWFn = HANDLE(WINAPI*)(LPWSTR);
using WTSCloseServerFn = void(WINAPI*)(HANDLE);
using WTSEnumerateSessionsWFn = BOOL(WINAPI*)(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW*, DWORD*);
using WTSSendMessageWFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, DWORD, LPWSTR, DWORD, DWORD, DWORD, DWORD*, BOOL);
using WTSFreeMemoryFn = void(WINAPI*)(PVOID);

constexpr int kWideSize = 200;

// The texts are CP932 whatever the system's code page is.
void widen(const char* text, wchar_t (&out)[kWideSize])
{
    if (MultiByteToWideChar(932, MB_PRECOMPOSED, text, -1, out, kWideSize) == 0) out[0] = L'\0';
}

DWORD text_bytes(const wchar_t* text) { return static_cast<DWORD>(std::wcslen(text) * sizeof(wchar_t)); }

template <class Fn> Fn function(void* library, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)));
}

} // namespace

// The Terminal Services functions, all or none: a WTSAPI32.DLL that lacks one
// counts as missing.
struct Messenger::Sessions {
    WTSOpenServerWFn open;
    WTSCloseServerFn close;
    WTSEnumerateSessionsWFn enumerate;
    WTSSendMessageWFn send;
    WTSFreeMemoryFn free;
};

Messenger::Messenger()
{
    if (HMODULE netapi = LoadLibraryA("NETAPI32.DLL")) {
        library_ = netapi;
        send_ = reinterpret_cast<void*>(GetProcAddress(netapi, "NetMessageBufferSend"));
    }
    if (HMODULE wts = LoadLibraryA("WTSAPI32.DLL")) {
        wts_library_ = wts;
        Sessions s{function<WTSOpenServerWFn>(wts, "WTSOpenServerW"), function<WTSCloseServerFn>(wts, "WTSCloseServer"),
                   function<WTSEnumerateSessionsWFn>(wts, "WTSEnumerateSessionsW"),
                   function<WTSSendMessageWFn>(wts, "WTSSendMessageW"), function<WTSFreeMemoryFn>(wts, "WTSFreeMemory")};
        if (s.open && s.close && s.enumerate && s.send && s.free) sessions_ = new Sessions(s);
    }
}

Messenger::~Messenger()
{
    delete sessions_;
    if (library_ != nullptr) FreeLibrary(static_cast<HMODULE>(library_));
    if (wts_library_ != nullptr) FreeLibrary(static_cast<HMODULE>(wts_library_));
}

void Messenger::send(const char* host, const char* message)
{
    wchar_t wide_host[kWideSize];
    wchar_t wide_message[kWideSize];
    widen(host, wide_host);
    widen(message, wide_message);
    if (send_ != nullptr &&
        reinterpret_cast<NetMessageBufferSendFn>(send_)(nullptr, wide_host, nullptr,
                                                        reinterpret_cast<LPBYTE>(wide_message),
                                                        text_bytes(wide_message)) == 0)  // NERR_Success
        return;
    if (sessions_ != nullptr) send_to_sessions(wide_host, wide_message);
}

// What Windows' own msg command does: a message box on every active session
// of the host, not waited for.
void Messenger::send_to_sessions(wchar_t* host, wchar_t* message)
{
    HANDLE server = sessions_->open(host);
    if (server == nullptr) return;
    PWTS_SESSION_INFOW list = nullptr;
    DWORD count = 0;
    if (sessions_->enumerate(server, 0, 1, &list, &count)) {
        wchar_t title[kWideSize];
        widen(kServiceName, title);
        for (DWORD i = 0; i < count; ++i) {
            if (list[i].State != WTSActive) continue;
            DWORD response = 0;
            sessions_->send(server, list[i].SessionId, title, text_bytes(title), message, text_bytes(message),
                            MB_OK | MB_ICONINFORMATION, 0, &response, FALSE);
        }
        sessions_->free(list);
    }
    sessions_->close(server);
}
