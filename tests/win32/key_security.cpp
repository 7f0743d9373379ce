// Prints the DACL of HKEY_LOCAL_MACHINE\<argv[1]> (32-bit view, where every
// build keeps its settings) in SDDL, "D:P(A;CI;KA;;;SY)..." for example; exits
// with 1 when the key or its security cannot be read.
#include <windows.h>
#include <sddl.h>

#include <cstdio>

int main(int argc, char** argv)
{
    HKEY key;
    if (argc != 2 || RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, READ_CONTROL | KEY_WOW64_32KEY, &key) != 0) return 1;
    alignas(8) BYTE sd[8192];
    DWORD size = sizeof sd;
    char* text = nullptr;
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, sd, &size) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                              nullptr))
        return 1;
    std::puts(text);
    return 0;
}
