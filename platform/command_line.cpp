#include "platform/process.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The program name: up to the next quote when it starts with one, else up to a blank.
const char* program_name(const char* p, std::string& out)
{
    if (*p == '"') {
        for (++p; *p != '\0' && *p != '"'; ++p) out += *p;
        return *p == '"' ? p + 1 : p;
    }
    for (; *p != '\0' && !is_blank(*p); ++p) out += *p;
    return p;
}

const char* argument(const char* p, std::string& out)
{
    bool quoted = false;
    while (*p != '\0' && (quoted || !is_blank(*p))) {
        std::size_t backslashes = 0;
        while (*p == '\\') {
            ++backslashes;
            ++p;
        }
        if (*p == '"') {
            out.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                out += '"';
            } else if (quoted && p[1] == '"') {
                out += '"';  // "" inside quotes: a literal quote
                ++p;
            } else {
                quoted = !quoted;
            }
            ++p;
        } else {
            out.append(backslashes, '\\');
            if (*p != '\0' && (quoted || !is_blank(*p))) out += *p++;
        }
    }
    return p;
}

} // namespace

std::vector<std::string> split_command_line(const char* p)
{
    std::vector<std::string> args;
    while (is_blank(*p)) ++p;
    if (*p == '\0') return args;
    args.emplace_back();
    p = program_name(p, args.back());
    for (;;) {
        while (is_blank(*p)) ++p;
        if (*p == '\0') return args;
        args.emplace_back();
        p = argument(p, args.back());
    }
}
