#include "platform/folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "platform/posix/local_text.h"

std::vector<std::string> files_in_folder(const char* folder)
{
    std::vector<std::string> files;
    const std::string path = local_path(folder);
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
    if (!dir) return files;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string file = path + "/" + entry->d_name;
        struct stat st {};
        if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back(file);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string default_mib_folders() { return "/usr/share/tarnow/mibs;/etc/tarnow/mibs"; }
