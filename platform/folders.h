// Folders the receiver reads modules from.
//
// files_in_folder() lists the regular files directly in `folder` (a path in
// code page 932, as the settings hold it), each as a path that opens it, in
// name order; an empty list when the folder cannot be read.
// default_mib_folders() is the "mibdirs" value used when none is stored:
// the folder "mibs" beside the program on Windows,
// "/usr/share/tarnow/mibs;/etc/tarnow/mibs" on Linux.
// read_whole_file() reads a file of at most `most` bytes; false when it
// cannot be read or is larger.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

std::vector<std::string> files_in_folder(const char* folder);
std::string default_mib_folders();
bool read_whole_file(const std::string& path, std::size_t most, std::string& out);
