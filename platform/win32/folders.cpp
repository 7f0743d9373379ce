#include "platform/folders.h"

#include <windows.h>

#include <algorithm>

std::vector<std::string> files_in_folder(const char* folder)
{
    std::vector<std::string> files;
    const std::string base = std::string(folder) + "\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((base + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) files.push_back(base + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

std::string default_mib_folders()
{
    char program[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "mibs";
    // The last separator that is not the trail byte of a double-byte character.
    DWORD end = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(program[i])) && i + 1 < length) ++i;
        else if (program[i] == '\\' || program[i] == '/') end = i + 1;
    }
    return std::string(program, end) + "mibs";
}
