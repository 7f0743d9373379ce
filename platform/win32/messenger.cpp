#include "platform/messenger.h"

#include <windows.h>

#include <cwchar>

namespace {

using NetMessageBufferSendFn = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, LPBYTE, DWORD);

constexpr int kWideSize = 200;

void widen(const char* text, wchar_t (&out)[kWideSize])
{
    if (MultiByteToWideChar(GetACP(), MB_PRECOMPOSED, text, -1, out, kWideSize) == 0) out[0] = L'\0';
}

} // namespace

Messenger::Messenger()
{
    HMODULE module = LoadLibraryA("NETAPI32.DLL");
    if (module == nullptr) return;
    library_ = module;
    send_ = reinterpret_cast<void*>(GetProcAddress(module, "NetMessageBufferSend"));
}

Messenger::~Messenger()
{
    if (library_ != nullptr) FreeLibrary(static_cast<HMODULE>(library_));
}

void Messenger::send(const char* host, const char* message)
{
    if (send_ == nullptr) return;
    wchar_t wide_host[kWideSize];
    wchar_t wide_message[kWideSize];
    widen(host, wide_host);
    widen(message, wide_message);
    const DWORD bytes = static_cast<DWORD>(std::wcslen(wide_message) * sizeof(wchar_t));
    reinterpret_cast<NetMessageBufferSendFn>(send_)(nullptr, wide_host, nullptr,
                                                    reinterpret_cast<LPBYTE>(wide_message), bytes);
}
