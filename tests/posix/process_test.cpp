// Programs started for traps, through posix_spawn.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/process.h"

namespace {

std::string wait_for_file(const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (access(path.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// A started program holds the standard three descriptors only, also when the
// receiver holds some that a library opened without close-on-exec.
TEST(StartProgram, PassesOnlyTheStandardDescriptors)
{
    char dir[] = "/tmp/tarnow-process-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string script = std::string(dir) + "/list";
    const std::string listing = std::string(dir) + "/held";
    std::ofstream(script) << "#!/usr/bin/python3 -I\n"  // looks at its descriptors without opening one
                             "import os, sys\n"
                             "held = [fd for fd in range(4096) if os.path.lexists('/proc/self/fd/%d' % fd)]\n"
                             "open(sys.argv[1] + '.part', 'w').write(' '.join(map(str, held)))\n"
                             "os.rename(sys.argv[1] + '.part', sys.argv[1])\n";
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    const int inheritable = open("/dev/null", O_RDONLY);
    ASSERT_GE(inheritable, 0);

    ASSERT_TRUE(start_program((script + " " + listing).c_str()));
    const std::string held = wait_for_file(listing);
    close(inheritable);
    EXPECT_EQ(held, "0 1 2");
    unlink(listing.c_str());
    unlink(script.c_str());
    rmdir(dir);
}

} // namespace
