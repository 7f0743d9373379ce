#include "platform/messenger.h"

#include <dlfcn.h>
#include <iconv.h>

#include <cstdint>
#include <cstring>

namespace {

using NetMessageBufferSendFn = std::uint32_t (*)(const char16_t*, const char16_t*, const char16_t*,
                                                  std::uint8_t*, std::uint32_t);

constexpr std::size_t kWideSize = 200;

// CP932 to UTF-16 (host order), NUL-terminated; the number of characters.
std::size_t widen(const char* text, char16_t (&out)[kWideSize])
{
    out[0] = 0;
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0;
    char* in = const_cast<char*>(text);
    std::size_t in_left = std::strlen(text);
    char* dst = reinterpret_cast<char*>(out);
    std::size_t dst_left = (kWideSize - 1) * sizeof(char16_t);
    iconv(cd, &in, &in_left, &dst, &dst_left);
    iconv_close(cd);
    const std::size_t n = ((kWideSize - 1) * sizeof(char16_t) - dst_left) / sizeof(char16_t);
    out[n] = 0;
    return n;
}

} // namespace

Messenger::Messenger()
{
    library_ = dlopen("libtarnow-messenger.so", RTLD_NOW | RTLD_LOCAL);
    if (library_ != nullptr) send_ = dlsym(library_, "NetMessageBufferSend");
}

Messenger::~Messenger()
{
    if (library_ != nullptr) dlclose(library_);
}

void Messenger::send(const char* host, const char* message)
{
    if (send_ == nullptr) return;
    char16_t wide_host[kWideSize];
    char16_t wide_message[kWideSize];
    widen(host, wide_host);
    const std::size_t n = widen(message, wide_message);
    reinterpret_cast<NetMessageBufferSendFn>(send_)(nullptr, wide_host, nullptr,
                                                    reinterpret_cast<std::uint8_t*>(wide_message),
                                                    static_cast<std::uint32_t>(n * sizeof(char16_t)));
}
