// Prints the DACL of HKLM\<argv[1]> (32-bit view, as every build opens its settings) in SDDL; 1: unreadable.
#include <windows.h>
#include <sddl.h>
#include <cstdio>

int main(int argc, char** argv)
{
    HKEY key;
    alignas(8) BYTE sd[8192];
    DWORD size = sizeof sd;
    char* text = nullptr;
    if (argc != 2 || RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, READ_CONTROL | KEY_WOW64_32KEY, &key) != 0 ||
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, sd, &size) != 0 ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, 1, DACL_SECURITY_INFORMATION, &text, nullptr))
        return 1;
    return std::puts(text) < 0 ? 1 : 0;
}
