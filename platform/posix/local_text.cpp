#include "platform/posix/local_text.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cstring>

namespace {

// The record, CSV and log files and the wave file: each converted once.
constexpr std::size_t kKeptPaths = 4;

bool convert(const char* to, const char* text, std::string& out)
{
    iconv_t cd = iconv_open(to, "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    const std::size_t size = std::strlen(text);
    out.assign(size * 3 + 4, '\0');  // a CP932 character takes at most 3 UTF-8 bytes per byte
    char* in = const_cast<char*>(text);
    std::size_t in_left = size;
    char* dst = &out[0];
    std::size_t out_left = out.size();
    const bool ok = iconv(cd, &in, &in_left, &dst, &out_left) != static_cast<std::size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &dst, &out_left) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    out.resize(ok ? out.size() - out_left : 0);
    return ok;
}

const char* file_system_charset()
{
    static const std::string charset = [] {
        std::string name = "UTF-8";
        if (locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
            const char* codeset = nl_langinfo_l(CODESET, locale);
            if (codeset != nullptr && *codeset != '\0' && std::strcmp(codeset, "ANSI_X3.4-1968") != 0) name = codeset;
            freelocale(locale);
        }
        return name;
    }();
    return charset.c_str();
}

bool is_ascii(const char* text)
{
    for (; *text != '\0'; ++text)
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    return true;
}

} // namespace

const std::string& local_path(const char* cp932)
{
    struct Entry {
        std::string in, out;
    };
    thread_local Entry cache[kKeptPaths];
    thread_local std::size_t next = 0;
    for (const Entry& e : cache)
        if (!e.in.empty() && e.in == cp932) return e.out;
    Entry& e = cache[next];
    next = (next + 1) % kKeptPaths;
    e.in = cp932;
    if (is_ascii(cp932) || !convert(file_system_charset(), cp932, e.out)) e.out = cp932;
    return e.out;
}

bool to_utf8(const char* cp932, std::string& out) { return convert("UTF-8", cp932, out); }
